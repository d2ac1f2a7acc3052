// The pictures among the widgets: images, drawings and animations, painted
// from what their views describe.

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/toolkit/qt/qt_painting.h"
#include "app/toolkit/qt/qt_widgets.h"

namespace nimbra::ui {

namespace {

QString text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

QPixmap loadImage(const std::string& file) {
  QPixmap pixmap;
  if (!QPixmapCache::find(text(file), &pixmap)) {
    pixmap.load(text(file));
    QPixmapCache::insert(text(file), pixmap);
  }
  return pixmap;
}

}  // namespace

void ImageWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<ImageView>(view());
  if (!model->image()) return;
  const double ratio = devicePixelRatioF();
  const QSize pixels = (QSizeF(size()) * ratio).toSize();
  const QString source = text(*model->image());
  if (scaledFrom_ != source || scaled_.isNull() || scaled_.devicePixelRatio() != ratio ||
      (scaled_.width() != pixels.width() && scaled_.height() != pixels.height())) {
    const QImage image(source);
    if (image.isNull()) return;
    // Qt's smooth scaling averages every source pixel when it shrinks.
    scaled_ = QPixmap::fromImage(image.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    scaled_.setDevicePixelRatio(ratio);
    scaledFrom_ = source;
  }
  const QSizeF fitted = QSizeF(scaled_.size()) / ratio;
  painter.drawPixmap(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), scaled_);
}

void DrawingWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<Drawing>(view());
  const double h = height();
  // The gradient runs along its angle (y up) and covers the whole view.
  const double angle = model->gradient().angle * std::numbers::pi / 180;
  const QPointF direction(std::cos(angle), -std::sin(angle));
  double low = 1e9, high = -1e9;
  for (const QPointF corner : {QPointF(0, 0), QPointF(width(), 0), QPointF(0, h), QPointF(width(), h)}) {
    const double along = corner.x() * direction.x() + corner.y() * direction.y();
    low = std::min(low, along), high = std::max(high, along);
  }
  QLinearGradient gradient(direction * low, direction * high);
  gradient.setColorAt(0, toQt(model->gradient().from));
  gradient.setColorAt(1, toQt(model->gradient().to));
  painter.fillRect(rect(), gradient);
  for (const Drawing::Stroke& stroke : model->strokes()) {
    QPainterPath path(QPointF(stroke.start.x, h - stroke.start.y));
    path.cubicTo(QPointF(stroke.control1.x, h - stroke.control1.y), QPointF(stroke.control2.x, h - stroke.control2.y),
                 QPointF(stroke.end.x, h - stroke.end.y));
    painter.setPen(QPen(toQt(stroke.color), stroke.lineWidth));
    painter.drawPath(path);
  }
}

AnimationWidget::AnimationWidget(std::shared_ptr<View> view, QWidget* parent, Toolkit& toolkit)
    : MirrorWidget(std::move(view), parent), toolkit_(toolkit) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  frames_.setInterval(16);
  QObject::connect(&frames_, &QTimer::timeout, this, [this] { update(); });
  frames_.start();
}

void AnimationWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<Animation>(view());
  if (!model->startTime() || !model->image()) return;
  if (logo_.isNull()) {
    logo_ = loadImage(*model->image()).scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // The shadow: the image's silhouette in the view's colour, softened.
    QImage silhouette = logo_.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter tint(&silhouette);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(silhouette.rect(), toQt(model->shadow()));
    tint.end();
    for (int pass = 0; pass < 3; ++pass) {
      silhouette = silhouette.scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .scaled(128, 128, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    glow_ = QPixmap::fromImage(silhouette);
  }
  const double t = toolkit_.now() - *model->startTime();
  const double h = height();
  for (const Animation::Sprite& sprite : model->spritesAt(t)) {
    if (sprite.opacity <= 0) continue;
    const double s = sprite.size;
    painter.save();
    painter.translate(sprite.position.x, h - sprite.position.y);
    painter.rotate(-sprite.rotation * 180 / std::numbers::pi);
    painter.scale(sprite.scaleX, 1);
    painter.setOpacity(0.75 * sprite.opacity);
    painter.drawPixmap(QRectF(-s / 2 - 7, -s / 2 - 7, s + 14, s + 14), glow_, QRectF(glow_.rect()));
    painter.setOpacity(sprite.opacity);
    painter.drawPixmap(QRectF(-s / 2, -s / 2, s, s), logo_, QRectF(logo_.rect()));
    painter.restore();
  }
}

}  // namespace nimbra::ui
