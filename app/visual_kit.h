#pragma once

// The kit every screen is built from: the six colours, labels, placing, the
// logo tile, the one button style, the left-panel artwork and the inset of
// the option cards' titles.

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/toolkit/theme.h"
#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

namespace palette {
inline constexpr Color forest{0.13, 0.51, 0.98, 1.0};  // a blue, despite its name
inline constexpr Color ink{0.94, 0.96, 1.0, 1.0};
inline constexpr Color muted{0.61, 0.67, 0.77, 1.0};
inline constexpr Color paper{0.055, 0.075, 0.12, 1.0};
inline constexpr Color surface{0.09, 0.12, 0.18, 1.0};
inline constexpr Color outline{0.17, 0.22, 0.31, 1.0};
inline constexpr Color white{1, 1, 1, 1};
inline constexpr Color logoTile{0.77, 0.88, 1.0, 1.0};
}  // namespace palette

// What the backend paints its own parts in.
inline constexpr Theme kTheme{palette::paper, palette::surface, palette::outline,
                              palette::ink,   palette::muted,   palette::forest};

// Resources/Nimbra.png when it is there and is a PNG image; looked up anew on
// every call.
std::optional<std::string> nimbraImage(Toolkit& toolkit);

// A wrapping, unselectable label in the system font, no line limit.
std::shared_ptr<Label> label(const std::string& text, double size, Weight weight = Weight::regular,
                             const Color& color = palette::ink);

// Sets the frame, then adds the view as the parent's topmost subview.
void place(const std::shared_ptr<View>& view, View& parent, const Rect& frame);

// The light tile with the logo inset in it, added to parent.
void logo(Toolkit& toolkit, View& parent, const Rect& frame);

// A push button in the one button look: primary (forest) or secondary
// (surface, outline).
std::shared_ptr<Button> pushButton(const std::string& title, bool primary, std::function<void()> action);

// The left panel's drawing: a gradient and 18 Bezier strokes.
class Artwork : public Drawing {
 public:
  Artwork();
};

}  // namespace nimbra::ui
