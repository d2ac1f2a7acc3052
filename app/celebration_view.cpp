#include "app/celebration_view.h"

#include <algorithm>
#include <cmath>

#include "app/visual_kit.h"

namespace nimbra::ui {

namespace {

constexpr int kArcSamples = 96;

Point bezier(const CelebrationView::Butterfly& b, double t) {
  const double u = 1 - t;
  const double a = u * u * u, c1 = 3 * u * u * t, c2 = 3 * u * t * t, d = t * t * t;
  return {a * b.start.x + c1 * b.control1.x + c2 * b.control2.x + d * b.end.x,
          a * b.start.y + c1 * b.control1.y + c2 * b.control2.y + d * b.end.y};
}

// Linear interpolation through key frames at the given key times.
double keyframes(const std::vector<double>& values, const std::vector<double>& times, double t) {
  if (t <= times.front()) return values.front();
  for (std::size_t i = 1; i < times.size(); ++i) {
    if (t <= times[i]) {
      const double f = (t - times[i - 1]) / (times[i] - times[i - 1]);
      return values[i - 1] + (values[i] - values[i - 1]) * f;
    }
  }
  return values.back();
}

// The curve parameter at which a given fraction of the length is reached.
double pacedParameter(const CelebrationView::Butterfly& b, double fraction) {
  const double target = fraction * b.arcLength.back();
  const auto it = std::lower_bound(b.arcLength.begin(), b.arcLength.end(), target);
  const std::size_t i = static_cast<std::size_t>(std::max<std::ptrdiff_t>(1, it - b.arcLength.begin()));
  if (i >= b.arcLength.size()) return 1;
  const double span = b.arcLength[i] - b.arcLength[i - 1];
  const double f = span > 0 ? (target - b.arcLength[i - 1]) / span : 0;
  return (static_cast<double>(i - 1) + f) / kArcSamples;
}

}  // namespace

CelebrationView::CelebrationView() = default;

void CelebrationView::start(Toolkit& toolkit, std::uint64_t seed) {
  if (toolkit.reduceMotion()) return;
  const std::optional<std::string> image = nimbraImage(toolkit);
  if (!image) return;
  setImage(image, palette::forest);
  setLayer({.clips = true});
  setAccessibilityLabel("");
  std::mt19937_64 random(seed);
  const auto uniform = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
  for (int i = 0; i < kButterflies; ++i) {
    const double width = frame().width, height = frame().height;
    Butterfly b;
    b.size = uniform(18, 44);
    b.start = {uniform(0, width), -50};
    b.end = {uniform(0, width), height + 60};
    b.control1 = {b.start.x + uniform(-180, 180), 0.35 * height};
    b.control2 = {uniform(0, width), 0.75 * height};
    b.duration = uniform(3.6, 5.6);
    b.delay = i * kStagger;
    b.flutter = uniform(0.12, 0.2);
    b.arcLength.push_back(0);
    Point previous = b.start;
    for (int s = 1; s <= kArcSamples; ++s) {
      const Point p = bezier(b, static_cast<double>(s) / kArcSamples);
      b.arcLength.push_back(b.arcLength.back() + std::hypot(p.x - previous.x, p.y - previous.y));
      previous = p;
    }
    butterflies_.push_back(std::move(b));
  }
  setStartTime(toolkit.now());
  std::weak_ptr<View> self = weak_from_this();
  toolkit.runAfter(kLifetime, [self] {
    if (auto view = self.lock()) view->removeFromSuperview();
  });
}

CelebrationView::Pose CelebrationView::poseAt(std::size_t index, double t) const {
  const Butterfly& b = butterflies_.at(index);
  Pose pose;
  // Flutter runs from the start, 25 beats out and back.
  const double beats = t / b.flutter;
  if (t >= 0 && beats < 50) {
    const double phase = std::fmod(beats, 2.0);
    pose.scaleX = 1 - 0.65 * (phase <= 1 ? phase : 2 - phase);
  }
  const double local = (t - b.delay) / b.duration;
  if (local < 0 || local > 1) return pose;  // opacity stays 0 outside the flight
  pose.position = bezier(b, pacedParameter(b, local));
  pose.opacity = keyframes({0, 0.95, 0.9, 0}, {0, 0.12, 0.78, 1}, local);
  pose.rotation = keyframes({-0.3, 0.25, -0.2, 0.15}, {0, 1.0 / 3, 2.0 / 3, 1}, local);
  return pose;
}

std::vector<Animation::Sprite> CelebrationView::spritesAt(double t) const {
  std::vector<Sprite> sprites;
  for (std::size_t i = 0; i < butterflies_.size(); ++i) {
    const Pose pose = poseAt(i, t);
    sprites.push_back({pose.position, butterflies_[i].size, pose.opacity, pose.rotation, pose.scaleX});
  }
  return sprites;
}

}  // namespace nimbra::ui
