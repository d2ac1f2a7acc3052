#pragma once

// One QWidget class for each kind of view. Each paints from its view and
// nothing else; clicks go back to the view's own press().

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class MirrorWidget : public QWidget {
 public:
  MirrorWidget(std::shared_ptr<View> view, QWidget* parent);
  std::shared_ptr<View> view() const { return view_.lock(); }

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

class ButtonWidget : public MirrorWidget {
 public:
  using MirrorWidget::MirrorWidget;

 protected:
  void paintContent(QPainter& painter) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void paintCheckbox(QPainter& painter, const Button& button);
  void paintCard(QPainter& painter, const Button& button);
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
};

class ArtworkWidget : public MirrorWidget {
 public:
  using MirrorWidget::MirrorWidget;

 protected:
  void paintContent(QPainter& painter) override;
};

class CelebrationWidget : public MirrorWidget {
 public:
  CelebrationWidget(std::shared_ptr<View> view, QWidget* parent, Toolkit& toolkit);

 protected:
  void paintContent(QPainter& painter) override;

 private:
  Toolkit& toolkit_;
  QTimer frames_;
  QPixmap logo_;
  QPixmap glow_;
};

}  // namespace nimbra::ui
