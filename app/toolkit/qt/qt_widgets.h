#pragma once

// One QWidget class for each kind of view. Controls are Qt's own (push
// button, check box, radio button, label, progress bar), so focus, keys and
// mouse are Qt's; each paints from its view, in the kit's look. Plain views
// and pictures are plain widgets that paint their view.

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

// A widget that shows a view: what accessibility asks of it comes from there.
class ViewHolder {
 public:
  virtual ~ViewHolder() = default;
  virtual std::shared_ptr<View> view() const = 0;
  // Takes what the view says now (text, state); repaints.
  virtual void refresh() = 0;
};

// A Qt widget of class Base that shows view.
template <class Base>
class Holding : public Base, public ViewHolder {
 public:
  Holding(std::shared_ptr<View> view, QWidget* parent) : Base(parent), view_(view) {
    Base::setAttribute(Qt::WA_TransparentForMouseEvents, !view->takesClicks());
  }
  std::shared_ptr<View> view() const override { return view_.lock(); }
  void refresh() override { Base::update(); }

 private:
  std::weak_ptr<View> view_;
};

class MirrorWidget : public Holding<QWidget> {
 public:
  using Holding::Holding;

 protected:
  void paintEvent(QPaintEvent* event) override;
  virtual void paintContent(QPainter&) {}
};

class LabelWidget : public Holding<QLabel> {
 public:
  LabelWidget(std::shared_ptr<View> view, QWidget* parent);
  void refresh() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The push, check box and card buttons share their painting: the view's
// layer, its title, the pressed shade and the kit's focus ring. Qt's own
// buttons give Tab (a click does not focus, as on the Mac), Space, and the
// arrow keys among the cards, which are radio buttons of one group.
template <class Base>
class ButtonWidget : public Holding<Base> {
 public:
  ButtonWidget(std::shared_ptr<View> view, QWidget* parent);
  void refresh() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The whole control answers a click, as the kit draws it: Qt's radio
  // button and check box answer only over their own indicator and label,
  // which the kit does not draw.
  bool hitButton(const QPoint& position) const override { return this->rect().contains(position); }
  // A click leaves Qt's checked state alone: it follows the view's at the
  // refresh, and a screen reader then hears the state the view decided. Were
  // Qt to flip it first, its notice would read the view's state of before.
  void nextCheckState() override {}
};

using PushButtonWidget = ButtonWidget<QPushButton>;
using CheckBoxWidget = ButtonWidget<QCheckBox>;
using CardWidget = ButtonWidget<QRadioButton>;

// The busy bar: its frames tick only while it is shown and busy, so an idle
// window never wakes for it; each tick moves the phase that paint reads.
class ProgressWidget : public Holding<QProgressBar> {
 public:
  ProgressWidget(std::shared_ptr<View> view, QWidget* parent);
  void refresh() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void runFramesWhileBusy();

  QTimer frames_;
  QElapsedTimer clock_;
  double phase_ = 0;  // 0 to 1: where the moving stripe is
};

class ImageWidget : public MirrorWidget {
 public:
  using MirrorWidget::MirrorWidget;

 protected:
  void paintContent(QPainter& painter) override;

 private:
  // The image scaled once for this size and pixel ratio, with an averaging
  // filter: drawing a large image small in one step leaves its edges stepped.
  QPixmap scaled_;
  QString scaledFrom_;
};

class DrawingWidget : public MirrorWidget {
 public:
  using MirrorWidget::MirrorWidget;

 protected:
  void paintContent(QPainter& painter) override;
};

class AnimationWidget : public MirrorWidget {
 public:
  AnimationWidget(std::shared_ptr<View> view, QWidget* parent, Toolkit& toolkit);

 protected:
  void paintContent(QPainter& painter) override;

 private:
  Toolkit& toolkit_;
  QTimer frames_;
  QPixmap logo_;
  QPixmap glow_;
};

}  // namespace nimbra::ui
