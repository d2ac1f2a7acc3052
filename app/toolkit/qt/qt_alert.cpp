#include "app/toolkit/qt/qt_alert.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>
#include <QKeyEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <cmath>

#include "app/toolkit/qt/qt_painting.h"

namespace nimbra::ui {

namespace {

constexpr double kWidth = 420;
constexpr double kInset = 24;
constexpr Font kTitleFont{13, Weight::semibold};
constexpr Font kMessageFont{12, Weight::regular};

// A wrapping text in the theme's ink, placed in parent.
void placeText(View& parent, const std::string& text, const Font& font, const Rect& frame) {
  auto label = make<Label>(text);
  label->setFont(font);
  label->setColor(theme().ink);
  label->setLineBreak(LineBreak::wrap, 0);
  label->setFrame(frame);
  parent.addSubview(label);
}

// The height the message takes when wrapped to the sheet's width.
double wrappedHeight(const std::string& text) {
  const QFontMetricsF metrics(toQt(kMessageFont));
  const QRectF box = metrics.boundingRect(QRectF(0, 0, kWidth - 2 * kInset - 4, 1e6),
                                          Qt::TextWordWrap, QString::fromStdString(text));
  return std::ceil(box.height()) + 2;
}

}  // namespace

AlertSheet::AlertSheet(const std::string& message, const std::string& informative, QWidget* window, Toolkit& toolkit)
    : QDialog(window, Qt::Dialog | Qt::FramelessWindowHint), previousFocus_(QApplication::focusWidget()) {
  setWindowTitle(QString::fromStdString(message));
  setWindowModality(window != nullptr ? Qt::WindowModal : Qt::ApplicationModal);

  const double textHeight = wrappedHeight(informative);
  const double height = kInset + 20 + 10 + textHeight + 22 + 32 + kInset;
  content_ = make<View>();
  content_->setFrame({0, 0, kWidth, height});
  panel_ = make<View>();
  panel_->setLayer({.background = theme().surface, .border = theme().outline, .borderWidth = 1, .cornerRadius = 14});
  panel_->setRole(Role::alert);
  panel_->setAccessibilityLabel(message);
  panel_->setAccessibleDescription(informative);
  panel_->setFrame(content_->bounds());
  content_->addSubview(panel_);
  placeText(*panel_, message, kTitleFont, {kInset, height - kInset - 20, kWidth - 2 * kInset, 20});
  placeText(*panel_, informative, kMessageFont, {kInset, kInset + 32 + 22, kWidth - 2 * kInset, textHeight});
  ok_ = make<Button>(Button::Style::push, "OK");
  theme().stylePushButton(*ok_, "OK", true);
  ok_->setKeyEquivalent("\r");
  ok_->setAction([this] { accept(); });
  ok_->setFrame({kWidth - kInset - 96, kInset, 96, 32});
  panel_->addSubview(ok_);

  setFixedSize(int(kWidth), int(height));
  QPainterPath rounded;
  rounded.addRoundedRect(QRectF(rect()), 14, 14);
  setMask(QRegion(rounded.toFillPolygon().toPolygon()));
  QPalette colours = palette();
  colours.setColor(QPalette::Window, toQt(theme().surface));
  setPalette(colours);
  setAutoFillBackground(true);
  mirror_ = std::make_unique<QtMirror>(this, content_, toolkit);
  mirror_->sync([] {});
  // A click on the window behind activates it, though the sheet blocks it:
  // the keyboard would then reach neither.
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focused) {
    if (isVisible() && focused != windowHandle()) takeKeyboard();
  });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (isVisible() && now != nullptr && !isAncestorOf(now)) takeKeyboard();
  });
}

void AlertSheet::takeKeyboard() {
  raise();
  activateWindow();
  if (QWidget* ok = mirror_->widgetOf(ok_.get())) ok->setFocus(Qt::OtherFocusReason);
}

void AlertSheet::done(int result) {
  QDialog::done(result);
  // Once the window is active again, the control that had the keyboard.
  if (previousFocus_) {
    QTimer::singleShot(0, previousFocus_, [focus = previousFocus_] {
      focus->activateWindow();
      focus->setFocus(Qt::OtherFocusReason);
    });
  }
}

void AlertSheet::showEvent(QShowEvent* event) {
  // Over the window, below its top edge, as a sheet hangs; else mid-screen.
  const QRect area = parentWidget() != nullptr ? parentWidget()->window()->geometry()
                                               : screen()->availableGeometry();
  const int top = parentWidget() != nullptr ? area.top() + 72 : area.center().y() - height() / 2;
  move(area.center().x() - width() / 2, top);
  QDialog::showEvent(event);
  if (QWidget* ok = mirror_->widgetOf(ok_.get())) ok->setFocus(Qt::OtherFocusReason);
}

void AlertSheet::keyPressEvent(QKeyEvent* event) {
  // Return and Escape both dismiss: OK is the only answer.
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) return accept();
  QDialog::keyPressEvent(event);
}

}  // namespace nimbra::ui
