#include "app/visual_kit.h"

#include <fstream>

namespace nimbra::ui {

std::optional<std::string> nimbraImage(Toolkit& toolkit) {
  const std::filesystem::path file = toolkit.resourcesFolder() / "Nimbra.png";
  std::ifstream in(file, std::ios::binary);
  char signature[8] = {};
  if (!in.read(signature, sizeof signature) || std::string(signature, 8) != "\x89PNG\r\n\x1a\n") return std::nullopt;
  return file.string();
}

std::shared_ptr<Label> label(const std::string& text, double size, Weight weight, const Color& color) {
  auto field = make<Label>(text);
  field->setFont({size, weight});
  field->setColor(color);
  field->setLineBreak(LineBreak::wrap, 0);
  return field;
}

void place(const std::shared_ptr<View>& view, View& parent, const Rect& frame) {
  view->setFrame(frame);
  parent.addSubview(view);
}

void logo(Toolkit& toolkit, View& parent, const Rect& frame) {
  auto tile = make<View>();
  tile->setFrame(frame);
  tile->setLayer({.background = palette::logoTile, .cornerRadius = 0.25 * frame.width});
  const double dx = 0.09 * frame.width;
  const double dy = 0.09 * frame.height;
  auto image = make<ImageView>();
  image->setFrame({dx, dy, frame.width - 2 * dx, frame.height - 2 * dy});
  image->setImage(nimbraImage(toolkit));
  image->setAccessibilityLabel("Nimbra butterfly");
  tile->addSubview(image);
  parent.addSubview(tile);
}

std::shared_ptr<Button> pushButton(const std::string& title, bool primary, std::function<void()> action) {
  auto button = make<Button>(Button::Style::push, title);
  kTheme.stylePushButton(*button, title, primary);
  button->setAction(std::move(action));
  return button;
}

Artwork::Artwork() {
  std::vector<Stroke> strokes;
  for (int i = 0; i < 18; ++i) {
    const double s = 11.0 * i;
    strokes.push_back(
        {{0.18, 0.54, 0.95, 0.09 + 0.004 * i}, 0.8, {s - 100, 40}, {330 - s, s + 100}, {s - 130, 320}, {285, 490 + 0.3 * s}});
  }
  setDrawing({{0.025, 0.055, 0.12, 1.0}, {0.025, 0.15, 0.29, 1.0}, -65}, std::move(strokes));
}


}  // namespace nimbra::ui
