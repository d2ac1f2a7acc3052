#pragma once

// The toolkit's widgets as plain objects that hold everything the screens set:
// frames, texts, fonts, colours, layer looks, enabled and hidden states. The
// headless backend is these objects themselves; the Qt backend mirrors them
// on screen whenever one changes. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/toolkit/geometry.h"

namespace nimbra::ui {

// What a view's layer shows behind its content.
struct LayerLook {
  std::optional<Color> background = std::nullopt;
  std::optional<Color> border = std::nullopt;
  double borderWidth = 0;
  double cornerRadius = 0;
  bool clips = false;
  bool operator==(const LayerLook&) const = default;
};

// What a view is to keyboard and screen-reader users.
enum class Role { none, label, heading, pushButton, checkBox, radioButton, progressBar, image, alert };

class View : public std::enable_shared_from_this<View> {
 public:
  enum class Kind { plain, label, button, progress, image, drawing, animation };

  explicit View(Kind kind = Kind::plain) : kind_(kind) {}
  virtual ~View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  Kind kind() const { return kind_; }
  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame) { frame_ = frame, changed(); }
  Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }
  bool hidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden, changed(); }
  // Hidden itself or inside a hidden view.
  bool hiddenOrInHidden() const;
  LayerLook& layer() { return layer_; }
  const LayerLook& layer() const { return layer_; }
  void setLayer(const LayerLook& look) { layer_ = look, changed(); }
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(std::string text) { toolTip_ = std::move(text), changed(); }
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(std::string text) { accessibilityLabel_ = std::move(text), changed(); }
  // Whether mouse clicks reach this view and its subviews.
  bool takesClicks() const { return takesClicks_; }
  void setTakesClicks(bool takes) { takesClicks_ = takes, changed(); }

  // ---- For keyboard and screen-reader users.
  // What the kind of view makes it, unless set (a panel that is an alert).
  virtual Role role() const { return role_; }
  void setRole(Role role) { role_ = role, changed(); }
  // The accessibility label, else the visible text; never a decorative arrow.
  std::string accessibleName() const;
  // A longer text read after the name (an alert's message); none by default.
  const std::string& accessibleDescription() const { return accessibleDescription_; }
  void setAccessibleDescription(std::string text) { accessibleDescription_ = std::move(text), changed(); }
  // A label that names a control: a screen reader reads them as one, the
  // control by the label's words.
  void setLabelFor(const std::shared_ptr<View>& control);
  std::shared_ptr<View> labelFor() const { return labelFor_.lock(); }
  std::shared_ptr<View> labelledBy() const { return labelledBy_.lock(); }
  // Whether Tab stops here: an enabled control that is shown.
  virtual bool takesFocus() const { return false; }

  // Adds view as the topmost subview.
  void addSubview(std::shared_ptr<View> view);
  void removeFromSuperview();
  void removeAllSubviews();
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  View* superview() const { return superview_; }

  // Called after every change of any view, or of the window's focus or
  // announcements (notifyChange); the Qt backend redraws.
  static void setChangeObserver(std::function<void()> observer);
  static void notifyChange();

 protected:
  void changed();

 private:
  Kind kind_;
  Rect frame_;
  bool hidden_ = false;
  LayerLook layer_;
  std::string toolTip_;
  std::string accessibilityLabel_;
  std::string accessibleDescription_;
  Role role_ = Role::none;
  std::weak_ptr<View> labelFor_, labelledBy_;
  bool takesClicks_ = true;
  std::vector<std::shared_ptr<View>> subviews_;
  View* superview_ = nullptr;
};

enum class LineBreak { wrap, truncateMiddle };

class Label : public View {
 public:
  explicit Label(std::string text) : View(Kind::label), text_(std::move(text)) {}
  const std::string& text() const { return text_; }
  void setText(std::string text) { text_ = std::move(text), changed(); }
  const Font& font() const { return font_; }
  void setFont(const Font& font) { font_ = font, changed(); }
  const Color& color() const { return color_; }
  void setColor(const Color& color) { color_ = color, changed(); }
  Alignment alignment() const { return alignment_; }
  void setAlignment(Alignment alignment) { alignment_ = alignment, changed(); }
  LineBreak lineBreak() const { return lineBreak_; }
  int maximumLines() const { return maximumLines_; }  // 0: no limit
  void setLineBreak(LineBreak mode, int maximumLines) { lineBreak_ = mode, maximumLines_ = maximumLines, changed(); }
  // A label unless set (a heading).
  Role role() const override { return View::role() == Role::none ? Role::label : View::role(); }

 private:
  std::string text_;
  Font font_;
  Color color_;
  Alignment alignment_ = Alignment::left;
  LineBreak lineBreak_ = LineBreak::wrap;
  int maximumLines_ = 0;
};

class Button : public View {
 public:
  enum class Style { push, checkbox, card, inline_ };

  Button(Style style, std::string title) : View(Kind::button), style_(style), title_(std::move(title)) {}
  Style style() const { return style_; }
  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title), changed(); }
  // The styled title; when present it is what is drawn.
  const std::vector<TextRun>& attributedTitle() const { return runs_; }
  void setAttributedTitle(std::vector<TextRun> runs) { runs_ = std::move(runs), changed(); }
  const Font& font() const { return font_; }
  void setFont(const Font& font) { font_ = font, changed(); }
  bool bordered() const { return bordered_; }
  void setBordered(bool bordered) { bordered_ = bordered, changed(); }
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled, changed(); }
  bool on() const { return on_; }
  void setOn(bool on) { on_ = on, changed(); }
  const std::string& keyEquivalent() const { return keyEquivalent_; }
  void setKeyEquivalent(std::string key) { keyEquivalent_ = std::move(key), changed(); }
  // Cards draw their title at a fixed inset (cardTitleRect).
  bool insetTitle() const { return insetTitle_; }
  // Where a card draws its title, in its own points, whatever its layout
  // would propose.
  static Rect cardTitleRect(double width) { return {18, 21, width - 36, 44}; }
  void setInsetTitle(bool inset) { insetTitle_ = inset, changed(); }
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  const std::function<void()>& action() const { return action_; }

  // A click by the user: ignored while disabled or hidden. A checkbox flips
  // its state before its action runs.
  bool press();

  Role role() const override;
  bool takesFocus() const override { return enabled_ && !hiddenOrInHidden(); }
  // The button Return presses.
  bool isDefault() const { return keyEquivalent_ == "\r"; }

 private:
  Style style_;
  std::string title_;
  std::vector<TextRun> runs_;
  Font font_;
  bool bordered_ = true;
  bool enabled_ = true;
  bool on_ = false;
  std::string keyEquivalent_;
  bool insetTitle_ = false;
  std::function<void()> action_;
};

class ProgressBar : public View {
 public:
  ProgressBar() : View(Kind::progress) {}
  Role role() const override { return Role::progressBar; }
  bool animating() const { return animating_; }
  void setAnimating(bool animating) { animating_ = animating, changed(); }
  // How far the work is, in steps, for a screen reader; the bar itself
  // shows only that work goes on. A total of 0: no measure.
  int done() const { return done_; }
  int total() const { return total_; }
  void setSteps(int done, int total) { done_ = done, total_ = total, changed(); }

 private:
  bool animating_ = false;
  int done_ = 0, total_ = 0;
};

class ImageView : public View {
 public:
  ImageView() : View(Kind::image) {}
  Role role() const override { return Role::image; }
  // The image file shown, scaled proportionally to fit; none for empty.
  const std::optional<std::string>& image() const { return image_; }
  void setImage(std::optional<std::string> file) { image_ = std::move(file), changed(); }

 private:
  std::optional<std::string> image_;
};

// A picture the backend replays: a linear gradient over the whole view, then
// cubic Bezier strokes, in the view's own points, y upwards.
class Drawing : public View {
 public:
  struct Gradient {
    Color from, to;
    double angle = 0;  // degrees, counter-clockwise from +x
  };
  struct Stroke {
    Color color;
    double lineWidth = 1;
    Point start, control1, control2, end;
  };
  Drawing() : View(Kind::drawing) {}
  const Gradient& gradient() const { return gradient_; }
  const std::vector<Stroke>& strokes() const { return strokes_; }

 protected:
  void setDrawing(Gradient gradient, std::vector<Stroke> strokes) {
    gradient_ = gradient, strokes_ = std::move(strokes), changed();
  }

 private:
  Gradient gradient_;
  std::vector<Stroke> strokes_;
};

// Copies of one image that move over time, each with a soft shadow of one
// colour: the backend draws them at every frame from what spritesAt says of
// that moment. Never takes a click.
class Animation : public View {
 public:
  struct Sprite {
    Point position;     // its centre
    double size = 0;    // points, square
    double opacity = 0;
    double rotation = 0;  // radians, counter-clockwise
    double scaleX = 1;
  };
  Animation() : View(Kind::animation) { setTakesClicks(false); }
  const std::optional<std::string>& image() const { return image_; }
  const Color& shadow() const { return shadow_; }
  // When it began, on the toolkit's clock; nothing is drawn before.
  std::optional<double> startTime() const { return startTime_; }
  // The sprites shown at a moment; those with no opacity are not drawn.
  virtual std::vector<Sprite> spritesAt(double secondsSinceStart) const = 0;

 protected:
  void setImage(std::optional<std::string> image, const Color& shadow) {
    image_ = std::move(image), shadow_ = shadow, changed();
  }
  void setStartTime(double time) { startTime_ = time, changed(); }

 private:
  std::optional<std::string> image_;
  Color shadow_;
  std::optional<double> startTime_;
};

template <typename T, typename... Args>
std::shared_ptr<T> make(Args&&... args) {
  return std::make_shared<T>(std::forward<Args>(args)...);
}

}  // namespace nimbra::ui
