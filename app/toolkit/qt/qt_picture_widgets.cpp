// The pictures among the widgets: the logo image, the left panel's artwork
// and the celebration, painted from what their views describe.

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/celebration_view.h"
#include "app/toolkit/qt/qt_painting.h"
#include "app/toolkit/qt/qt_widgets.h"
#include "app/visual_kit.h"

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

void ArtworkWidget::paintContent(QPainter& painter) {
  const double h = height();
  // The gradient runs along -65 degrees (y up) and covers the whole panel.
  const double angle = Artwork::kGradientAngle * std::numbers::pi / 180;
  const QPointF direction(std::cos(angle), -std::sin(angle));
  double low = 1e9, high = -1e9;
  for (const QPointF corner : {QPointF(0, 0), QPointF(width(), 0), QPointF(0, h), QPointF(width(), h)}) {
    const double along = corner.x() * direction.x() + corner.y() * direction.y();
    low = std::min(low, along), high = std::max(high, along);
  }
  QLinearGradient gradient(direction * low, direction * high);
  gradient.setColorAt(0, toQt(Artwork::kGradientFrom));
  gradient.setColorAt(1, toQt(Artwork::kGradientTo));
  painter.fillRect(rect(), gradient);
  for (const Artwork::Stroke& stroke : Artwork::strokes()) {
    QPainterPath path(QPointF(stroke.start[0], h - stroke.start[1]));
    path.cubicTo(QPointF(stroke.control1[0], h - stroke.control1[1]), QPointF(stroke.control2[0], h - stroke.control2[1]),
                 QPointF(stroke.end[0], h - stroke.end[1]));
    painter.setPen(QPen(toQt(stroke.color), stroke.lineWidth));
    painter.drawPath(path);
  }
}

CelebrationWidget::CelebrationWidget(std::shared_ptr<View> view, QWidget* parent, Toolkit& toolkit)
    : MirrorWidget(std::move(view), parent), toolkit_(toolkit) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  frames_.setInterval(16);
  QObject::connect(&frames_, &QTimer::timeout, this, [this] { update(); });
  frames_.start();
}

void CelebrationWidget::paintContent(QPainter& painter) {
  const auto model = std::static_pointer_cast<CelebrationView>(view());
  if (!model->startTime() || !model->image()) return;
  if (logo_.isNull()) {
    logo_ = loadImage(*model->image()).scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // The forest-coloured shadow: the logo's silhouette, softened.
    QImage silhouette = logo_.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter tint(&silhouette);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(silhouette.rect(), toQt(palette::forest));
    tint.end();
    for (int pass = 0; pass < 3; ++pass) {
      silhouette = silhouette.scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .scaled(128, 128, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    glow_ = QPixmap::fromImage(silhouette);
  }
  const double t = toolkit_.now() - *model->startTime();
  const double h = height();
  for (std::size_t i = 0; i < model->butterflies().size(); ++i) {
    const CelebrationView::Pose pose = model->poseAt(i, t);
    if (!pose.visible()) continue;
    const double s = model->butterflies()[i].size;
    painter.save();
    painter.translate(pose.position.x, h - pose.position.y);
    painter.rotate(-pose.rotation * 180 / std::numbers::pi);
    painter.scale(pose.scaleX, 1);
    painter.setOpacity(0.75 * pose.opacity);
    painter.drawPixmap(QRectF(-s / 2 - 7, -s / 2 - 7, s + 14, s + 14), glow_, QRectF(glow_.rect()));
    painter.setOpacity(pose.opacity);
    painter.drawPixmap(QRectF(-s / 2, -s / 2, s, s), logo_, QRectF(logo_.rect()));
    painter.restore();
  }
}

}  // namespace nimbra::ui
