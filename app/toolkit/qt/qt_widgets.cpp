#include "app/toolkit/qt/qt_widgets.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "app/toolkit/qt/qt_painting.h"

namespace nimbra::ui {

namespace {

QString qtText(const std::string& utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

// Draws the runs of an attributed title one after another, a run ending in a
// line feed closing its line; spacing is added between paragraphs.
void drawRuns(QPainter& painter, const std::vector<TextRun>& runs, const QRectF& box, Qt::Alignment align,
              double paragraphSpacing, double alpha) {
  double y = box.top();
  if (align & Qt::AlignVCenter) {
    double height = 0;
    for (const TextRun& run : runs) height += QFontMetricsF(toQt(run.font)).height();
    y = box.center().y() - height / 2;
  }
  for (const TextRun& run : runs) {
    const QFont font = toQt(run.font);
    painter.setFont(font);
    painter.setPen(toQt(run.color.withAlpha(run.color.alpha * alpha)));
    const QFontMetricsF metrics(font);
    QString line = qtText(run.text);
    line.remove(QLatin1Char('\n'));
    const QRectF lineBox(box.left(), y, box.width(), metrics.height());
    painter.drawText(lineBox, int((align & Qt::AlignHorizontal_Mask) | Qt::AlignTop) | Qt::TextSingleLine, line);
    y += metrics.height() + paragraphSpacing;
  }
}

}  // namespace

void MirrorWidget::paintEvent(QPaintEvent*) {
  const auto model = view();
  if (!model) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  paintLayer(painter, model->layer(), QRectF(rect()));
  paintContent(painter);
}

LabelWidget::LabelWidget(std::shared_ptr<View> view, QWidget* parent) : Holding(std::move(view), parent) {
  // A wrapping label keeps a small margin at its sides, as the platform's does.
  setContentsMargins(2, 0, 2, 0);
  setTextFormat(Qt::PlainText);
}

void LabelWidget::refresh() {
  const auto model = std::static_pointer_cast<Label>(view());
  if (!model) return;
  const QFont font = toQt(model->font());
  setFont(font);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, toQt(model->color()));
  setPalette(colours);
  const int across = model->alignment() == Alignment::center ? Qt::AlignHCenter : Qt::AlignLeft;
  setAlignment(Qt::Alignment(across) | Qt::AlignTop);
  const bool oneLine = model->lineBreak() == LineBreak::truncateMiddle;
  setWordWrap(!oneLine);
  // The middle gives way: the start and the end of a path say the most.
  setText(oneLine ? QFontMetricsF(font).elidedText(qtText(model->text()), Qt::ElideMiddle, contentsRect().width())
                  : qtText(model->text()));
  update();
}

void LabelWidget::paintEvent(QPaintEvent* event) {
  if (const auto model = view()) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintLayer(painter, model->layer(), QRectF(rect()));
  }
  QLabel::paintEvent(event);
}

namespace {

void paintCheckbox(QPainter& painter, const Button& button, const QRectF& bounds) {
  painter.setOpacity(button.enabled() ? 1.0 : 0.55);
  const double side = 16;
  const QRectF box(2, (bounds.height() - side) / 2, side, side);
  QPainterPath path;
  path.addRoundedRect(box, 4, 4);
  if (button.on()) {
    painter.fillPath(path, toQt(theme().accent));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(box.left() + 4, box.center().y()), QPointF(box.left() + 7, box.bottom() - 4.5),
                                    QPointF(box.right() - 3.5, box.top() + 4.5)}));
  } else {
    painter.fillPath(path, toQt(theme().surface));
    painter.setPen(QPen(toQt(theme().muted), 1));
    painter.drawPath(path);
  }
  if (!button.title().empty()) {
    drawRuns(painter, {TextRun{button.title(), button.font(), theme().ink}},
             QRectF(box.right() + 8, 0, bounds.width() - box.right() - 8, bounds.height()),
             Qt::AlignLeft | Qt::AlignVCenter, 0, 1);
  }
}

void paintFocusRing(QPainter& painter, const Button& button, const QRectF& bounds) {
  // The kit's ring: two points of ink at the control's edge, following its
  // corners, with two points of paper inside it. Ink stands out at least 3:1
  // against the paper around and inside it, and against forest; a selected
  // card's thin forest border looks nothing like it.
  painter.save();
  QRectF ring = bounds.adjusted(1, 1, -1, -1);
  double radius = std::max(button.layer().cornerRadius, 4.0);
  // Around a check box and its title: there is no room beside the box alone.
  if (button.style() == Button::Style::checkbox) radius = 6;
  if (button.style() == Button::Style::inline_) ring = bounds.adjusted(1, 3, -1, -3), radius = 12;
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(toQt(theme().paper), 2));
  painter.drawRoundedRect(ring.adjusted(2, 2, -2, -2), std::max(radius - 2, 2.0), std::max(radius - 2, 2.0));
  painter.setPen(QPen(toQt(theme().ink), 2));
  painter.drawRoundedRect(ring, radius, radius);
  painter.restore();
}

// The button's look; focused: whether the keyboard has put it in focus.
void paintButton(QPainter& painter, const Button& button, const QRectF& bounds, bool down, bool focused) {
  const double alpha = button.enabled() ? 1.0 : 0.5;
  if (down) painter.fillRect(bounds, QColor(255, 255, 255, 18));
  if (focused) paintFocusRing(painter, button, bounds);
  switch (button.style()) {
    case Button::Style::checkbox:
      return paintCheckbox(painter, button, bounds);
    case Button::Style::card:
      return drawRuns(painter, button.attributedTitle(), flipped(Button::cardTitleRect(bounds.width()), bounds.height()),
                      Qt::AlignLeft, 7, alpha);
    case Button::Style::inline_: {
      QPainterPath path;
      path.addRoundedRect(bounds.adjusted(0.5, 4.5, -0.5, -4.5), 10, 10);
      painter.fillPath(path, toQt(theme().surface));
      painter.setPen(QPen(toQt(theme().outline), 1));
      painter.drawPath(path);
      return drawRuns(painter, {TextRun{button.title(), {12, Weight::medium}, theme().ink}}, bounds,
                      Qt::AlignHCenter | Qt::AlignVCenter, 0, alpha);
    }
    case Button::Style::push: {
      std::vector<TextRun> runs = button.attributedTitle();
      if (runs.empty()) runs = {TextRun{button.title(), button.font(), theme().ink}};
      return drawRuns(painter, runs, bounds, Qt::AlignHCenter | Qt::AlignVCenter, 0, alpha);
    }
  }
}

}  // namespace

template <class Base>
ButtonWidget<Base>::ButtonWidget(std::shared_ptr<View> view, QWidget* parent) : Holding<Base>(std::move(view), parent) {
  this->setFocusPolicy(Qt::TabFocus);
  // The view decides what a click means (a check box flips there too); Qt's
  // own state follows it at the next refresh.
  QObject::connect(this, &QAbstractButton::clicked, this, [this] {
    if (const auto button = std::static_pointer_cast<Button>(this->view())) button->press();
  });
}

template <class Base>
void ButtonWidget<Base>::refresh() {
  const auto button = std::static_pointer_cast<Button>(this->view());
  if (!button) return;
  if constexpr (std::is_same_v<Base, QPushButton>) {
    this->setDefault(button->isDefault());  // for a screen reader, and Return while it has the focus
  } else {
    const QSignalBlocker quiet(this);
    this->setChecked(button->on());
  }
  this->update();
}

template <class Base>
void ButtonWidget<Base>::paintEvent(QPaintEvent*) {
  const auto button = std::static_pointer_cast<Button>(this->view());
  if (!button) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF bounds(this->rect());
  paintLayer(painter, button->layer(), bounds);
  // The ring shows once the keyboard is in use, not for the focus a window
  // gives its first control when it opens.
  const bool keyboard = this->hasFocus() && this->window()->testAttribute(Qt::WA_KeyboardFocusChange);
  paintButton(painter, *button, bounds, this->isDown(), keyboard);
}

template class ButtonWidget<QPushButton>;
template class ButtonWidget<QCheckBox>;
template class ButtonWidget<QRadioButton>;

ProgressWidget::ProgressWidget(std::shared_ptr<View> view, QWidget* parent) : Holding(std::move(view), parent) {
  setRange(0, 0);  // no measure of how far until the view gives one
  setTextVisible(false);
  clock_.start();
  frames_.setInterval(16);
  QObject::connect(&frames_, &QTimer::timeout, this, [this] {
    phase_ = std::fmod(clock_.elapsed() / 1400.0, 1.0);
    update();
  });
}

void ProgressWidget::refresh() {
  // Only for a screen reader (Qt's own progress bar interface reads them and
  // tells it of each change); the painting shows that work goes on.
  if (const auto model = std::static_pointer_cast<ProgressBar>(view())) {
    setRange(0, model->total());
    setValue(model->done());
  }
  runFramesWhileBusy();
  update();
}

void ProgressWidget::showEvent(QShowEvent* event) {
  Holding::showEvent(event);
  runFramesWhileBusy();
}

void ProgressWidget::hideEvent(QHideEvent* event) {
  Holding::hideEvent(event);
  runFramesWhileBusy();
}

void ProgressWidget::runFramesWhileBusy() {
  const auto model = std::static_pointer_cast<ProgressBar>(view());
  const bool busy = model && model->animating() && isVisible();
  if (busy && !frames_.isActive()) frames_.start();
  if (!busy) frames_.stop();
}

void ProgressWidget::paintEvent(QPaintEvent*) {
  const auto model = std::static_pointer_cast<ProgressBar>(view());
  if (!model) return;
  QPainter painter(this);
  const QRectF track(rect());
  painter.fillRect(track, toQt(theme().outline));
  if (!model->animating()) return;
  const double span = track.width() * 0.3;
  const double x = -span + phase_ * (track.width() + span);
  painter.fillRect(QRectF(x, 0, span, track.height()).intersected(track), toQt(theme().accent));
}

}  // namespace nimbra::ui
