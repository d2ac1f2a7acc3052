#pragma once

// One QWidget class for each kind of view. Each paints from its view and
// nothing else; clicks go back to the view's own press().

#include <QElapsedTimer>
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
};

class MirrorWidget : public QWidget, public ViewHolder {
 public:
  MirrorWidget(std::shared_ptr<View> view, QWidget* parent);
  std::shared_ptr<View> view() const override { return view_.lock(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  virtual void paintContent(QPainter&) {}

 private:
  std::weak_ptr<View> view_;
};

class LabelWidget : public MirrorWidget {
 public:
  using MirrorWidget::MirrorWidget;

 protected:
  void paintContent(QPainter& painter) override;
};

// Tab reaches it (a click does not, as on the Mac); Space presses it; the
// arrow keys move between the option cards of one group.
class ButtonWidget : public MirrorWidget {
 public:
  ButtonWidget(std::shared_ptr<View> view, QWidget* parent);

 protected:
  void paintContent(QPainter& painter) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void paintCheckbox(QPainter& painter, const Button& button);
  void paintCard(QPainter& painter, const Button& button);
  void paintFocusRing(QPainter& painter, const Button& button);
  void moveAmongCards(int step);
  bool pressed_ = false;
};

class ProgressWidget : public MirrorWidget {
 public:
  ProgressWidget(std::shared_ptr<View> view, QWidget* parent);

 protected:
  void paintContent(QPainter& painter) override;

 private:
  QTimer frames_;
  QElapsedTimer clock_;
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
