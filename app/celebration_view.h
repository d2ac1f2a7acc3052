#pragma once

// The butterflies that fly up over the completion screen: a pure model of
// time. Each butterfly's position, opacity, rotation and flutter are functions
// of the seconds since start(); the backend draws them as an animation's
// sprites at the current time, and tests inspect them at any time.

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class CelebrationView : public Animation {
 public:
  static constexpr int kButterflies = 46;
  static constexpr double kStagger = 0.035;
  static constexpr double kLifetime = 7.5;

  struct Butterfly {
    double size = 0;                   // points, [18, 44]
    Point start, control1, control2, end;  // one cubic curve, bottom to top
    double duration = 0;               // seconds, [3.6, 5.6]
    double delay = 0;                  // i x 0.035 seconds
    double flutter = 0;                // seconds per half beat, [0.12, 0.2]
    std::vector<double> arcLength;     // cumulative, for even speed along the curve
  };

  // Where a butterfly is at one moment; invisible outside its flight.
  struct Pose {
    Point position;
    double opacity = 0;
    double rotation = 0;  // radians, counter-clockwise
    double scaleX = 1;
    bool visible() const { return opacity > 0; }
  };

  CelebrationView();

  // Launches the flight: nothing when the desktop asks for reduced motion or
  // the logo is missing; otherwise 46 butterflies and the view's removal
  // 7.5 seconds later.
  void start(Toolkit& toolkit, std::uint64_t seed = std::random_device{}());

  const std::vector<Butterfly>& butterflies() const { return butterflies_; }
  Pose poseAt(std::size_t index, double secondsSinceStart) const;
  std::vector<Sprite> spritesAt(double secondsSinceStart) const override;

 private:
  std::vector<Butterfly> butterflies_;
};

}  // namespace nimbra::ui
