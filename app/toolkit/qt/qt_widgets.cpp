#include "app/toolkit/qt/qt_widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "app/toolkit/qt/qt_painting.h"

namespace nimbra::ui {

namespace {

QString text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

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
    QString line = text(run.text);
    line.remove(QLatin1Char('\n'));
    const QRectF lineBox(box.left(), y, box.width(), metrics.height());
    painter.drawText(lineBox, int((align & Qt::AlignHorizontal_Mask) | Qt::AlignTop) | Qt::TextSingleLine, line);
    y += metrics.height() + paragraphSpacing;
  }
}

}  // namespace

MirrorWidget::MirrorWidget(std::shared_ptr<View> view, QWidget* parent) : QWidget(parent), view_(view) {
  setAttribute(Qt::WA_TransparentForMouseEvents, !view->takesClicks());
}

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

void LabelWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<Label>(view());
  const QFont font = toQt(model->font());
  painter.setFont(font);
  painter.setPen(toQt(model->color()));
  // A wrapping label keeps a small margin at its sides, as the platform's does.
  const QRectF box = QRectF(rect()).adjusted(2, 0, -2, 0);
  const int align = model->alignment() == Alignment::center ? Qt::AlignHCenter : Qt::AlignLeft;
  if (model->lineBreak() == LineBreak::truncateMiddle) {
    const QString elided = QFontMetricsF(font).elidedText(text(model->text()), Qt::ElideMiddle, box.width());
    painter.drawText(box, align | Qt::AlignTop | Qt::TextSingleLine, elided);
  } else {
    painter.drawText(box, align | Qt::AlignTop | Qt::TextWordWrap, text(model->text()));
  }
}

ButtonWidget::ButtonWidget(std::shared_ptr<View> view, QWidget* parent) : MirrorWidget(std::move(view), parent) {
  setFocusPolicy(Qt::TabFocus);
}

void ButtonWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<Button>(view());
  const double alpha = model->enabled() ? 1.0 : 0.5;
  if (pressed_) painter.fillRect(rect(), QColor(255, 255, 255, 18));
  // The ring shows once the keyboard is in use, not for the focus a window
  // gives its first control when it opens.
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) paintFocusRing(painter, *model);
  switch (model->style()) {
    case Button::Style::checkbox:
      return paintCheckbox(painter, *model);
    case Button::Style::card:
      return paintCard(painter, *model);
    case Button::Style::inline_: {
      QPainterPath path;
      path.addRoundedRect(QRectF(rect()).adjusted(0.5, 4.5, -0.5, -4.5), 10, 10);
      painter.fillPath(path, toQt(theme().surface));
      painter.setPen(QPen(toQt(theme().outline), 1));
      painter.drawPath(path);
      drawRuns(painter, {TextRun{model->title(), {12, Weight::medium}, theme().ink}}, QRectF(rect()),
               Qt::AlignHCenter | Qt::AlignVCenter, 0, alpha);
      return;
    }
    case Button::Style::push: {
      std::vector<TextRun> runs = model->attributedTitle();
      if (runs.empty()) runs = {TextRun{model->title(), model->font(), theme().ink}};
      drawRuns(painter, runs, QRectF(rect()), Qt::AlignHCenter | Qt::AlignVCenter, 0, alpha);
      return;
    }
  }
}

void ButtonWidget::paintCheckbox(QPainter& painter, const Button& button) {
  painter.setOpacity(button.enabled() ? 1.0 : 0.55);
  const double side = 16;
  const QRectF box(2, (height() - side) / 2, side, side);
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
             QRectF(box.right() + 8, 0, width() - box.right() - 8, height()), Qt::AlignLeft | Qt::AlignVCenter, 0, 1);
  }
}

void ButtonWidget::paintCard(QPainter& painter, const Button& button) {
  const QRectF box = flipped(Button::cardTitleRect(width()), height());
  drawRuns(painter, button.attributedTitle(), box, Qt::AlignLeft, 7, button.enabled() ? 1.0 : 0.5);
}

void ButtonWidget::paintFocusRing(QPainter& painter, const Button& button) {
  // The kit's ring: two points of ink at the control's edge, following its
  // corners, with two points of paper inside it. Ink stands out at least 3:1
  // against the paper around and inside it, and against forest; a selected
  // card's thin forest border looks nothing like it.
  painter.save();
  QRectF ring = QRectF(rect()).adjusted(1, 1, -1, -1);
  double radius = std::max(button.layer().cornerRadius, 4.0);
  // Around a check box and its title: there is no room beside the box alone.
  if (button.style() == Button::Style::checkbox) radius = 6;
  if (button.style() == Button::Style::inline_) ring = QRectF(rect()).adjusted(1, 3, -1, -3), radius = 12;
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(toQt(theme().paper), 2));
  painter.drawRoundedRect(ring.adjusted(2, 2, -2, -2), std::max(radius - 2, 2.0), std::max(radius - 2, 2.0));
  painter.setPen(QPen(toQt(theme().ink), 2));
  painter.drawRoundedRect(ring, radius, radius);
  painter.restore();
}

void ButtonWidget::keyPressEvent(QKeyEvent* event) {
  const auto model = std::static_pointer_cast<Button>(view());
  if (!model) return QWidget::keyPressEvent(event);
  const bool card = model->style() == Button::Style::card;
  switch (event->key()) {
    case Qt::Key_Space:
      if (!event->isAutoRepeat()) model->press();
      return;
    case Qt::Key_Left:
    case Qt::Key_Up:
      if (card) return moveAmongCards(-1);
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      if (card) return moveAmongCards(1);
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);  // Return, Escape and the rest go to the window
}

void ButtonWidget::moveAmongCards(int step) {
  // The cards beside this one, in their order: a radio group, as the arrow
  // keys treat it. Moving selects, as it does in a radio group.
  std::vector<ButtonWidget*> cards;
  for (QObject* sibling : parentWidget()->children()) {
    auto* widget = dynamic_cast<ButtonWidget*>(sibling);
    const auto button = widget ? std::static_pointer_cast<Button>(widget->view()) : nullptr;
    if (button && button->style() == Button::Style::card && button->takesFocus()) cards.push_back(widget);
  }
  const auto self = std::find(cards.begin(), cards.end(), this);
  if (self == cards.end() || cards.size() < 2) return;
  const auto count = static_cast<std::ptrdiff_t>(cards.size());
  ButtonWidget* next = cards[static_cast<std::size_t>(((self - cards.begin()) + step + count) % count)];
  next->setFocus(Qt::TabFocusReason);
  if (const auto button = std::static_pointer_cast<Button>(next->view())) button->press();
}

void ButtonWidget::mousePressEvent(QMouseEvent* event) {
  const auto model = std::static_pointer_cast<Button>(view());
  pressed_ = model && model->enabled() && event->button() == Qt::LeftButton;
  update();
}

void ButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
  const bool wasPressed = pressed_;
  pressed_ = false;
  update();
  const auto model = std::static_pointer_cast<Button>(view());
  // The action may change the views; it runs on a copy of the model's
  // ownership so nothing here is touched afterwards.
  if (wasPressed && model && rect().contains(event->position().toPoint())) model->press();
}

ProgressWidget::ProgressWidget(std::shared_ptr<View> view, QWidget* parent) : MirrorWidget(std::move(view), parent) {
  clock_.start();
  frames_.setInterval(16);
  QObject::connect(&frames_, &QTimer::timeout, this, [this] {
    const auto model = std::static_pointer_cast<ProgressBar>(this->view());
    if (model && model->animating() && isVisible()) update();
  });
  frames_.start();
}

void ProgressWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<ProgressBar>(view());
  const QRectF track(rect());
  painter.fillRect(track, toQt(theme().outline));
  if (!model->animating()) return;
  const double phase = std::fmod(clock_.elapsed() / 1400.0, 1.0);
  const double span = track.width() * 0.3;
  const double x = -span + phase * (track.width() + span);
  painter.fillRect(QRectF(x, 0, span, track.height()).intersected(track), toQt(theme().accent));
}

}  // namespace nimbra::ui
