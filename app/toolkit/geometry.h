#pragma once

#include <string>

namespace nimbra::ui {

// A point in a view's own points, y upwards.
struct Point {
  double x = 0, y = 0;
};

// A frame in points: origin at the parent's bottom-left corner, y upwards.
struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// An sRGB colour with alpha, components 0 to 1.
struct Color {
  double red = 0, green = 0, blue = 0, alpha = 1;
  bool operator==(const Color&) const = default;
  Color withAlpha(double a) const { return {red, green, blue, a}; }
};

enum class Weight { light, regular, medium, semibold };

// The system font at a size and weight.
struct Font {
  double size = 13;
  Weight weight = Weight::regular;
  bool operator==(const Font&) const = default;
};

enum class Alignment { left, center };

// One run of styled text, as in an attributed title.
struct TextRun {
  std::string text;
  Font font;
  Color color;
  bool operator==(const TextRun&) const = default;
};

}  // namespace nimbra::ui
