// Draws the product's logo, a butterfly on a transparent ground, and writes it
// as a PNG: draw_logo <output.png> [size]. Built and run at build time, so the
// image is the project's own drawing, regenerated from this file.

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const QColor kDeep = QColor::fromRgbF(0.10f, 0.18f, 0.52f);
const QColor kBlue = QColor::fromRgbF(0.13f, 0.51f, 0.98f);
const QColor kSky = QColor::fromRgbF(0.45f, 0.80f, 1.00f);
const QColor kEdge = QColor::fromRgbF(0.05f, 0.08f, 0.22f);
const QColor kBody = QColor::fromRgbF(0.05f, 0.07f, 0.16f);
const QColor kSpot = QColor::fromRgbF(0.93f, 0.97f, 1.00f);

QColor mix(const QColor& x, const QColor& y, double t) {
  t = std::clamp(t, 0.0, 1.0);
  const auto blend = [t](float a, float b) { return float(a + (b - a) * t); };
  return QColor::fromRgbF(blend(x.redF(), y.redF()), blend(x.greenF(), y.greenF()), blend(x.blueF(), y.blueF()));
}

// The wing's colour at d, its distance from the centre (1 at the rim): sky
// in the middle, blue, then deep blue, with a dark rim.
QColor wingColor(double d) {
  if (d > 0.9) return kEdge;
  return mix(mix(kSky, kBlue, d * 1.1), kDeep, (d - 0.55) * 2.5);
}

struct Wing {
  double cx, cy, rx, ry, degrees, spotSide;
};

// One wing, in the butterfly's units (origin at the body's centre, y up).
void drawWing(QPainter& painter, const Wing& wing) {
  painter.save();
  painter.translate(wing.cx, wing.cy);
  painter.rotate(wing.degrees);
  painter.scale(wing.rx, wing.ry);
  QRadialGradient fill(QPointF(0, 0), 1);
  for (const double d : {0.0, 0.2, 0.4, 0.55, 0.65, 0.75, 0.85, 0.8999}) fill.setColorAt(d, wingColor(d));
  fill.setColorAt(0.9, kEdge);
  fill.setColorAt(1.0, kEdge);
  painter.setBrush(fill);
  painter.drawEllipse(QPointF(0, 0), 1.0, 1.0);
  painter.restore();
  // The pale spot, upright whatever the wing's tilt.
  painter.setBrush(kSpot);
  painter.drawEllipse(QPointF(wing.cx + wing.rx * 0.25, wing.cy + wing.ry * 0.1 * wing.spotSide), wing.rx * 0.16,
                      wing.ry * 0.16);
}

// The right half; the left is its mirror image.
void drawHalf(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  drawWing(painter, {0.24, -0.20, 0.20, 0.15, -0.55 * 180 / 3.14159265358979, -1});
  drawWing(painter, {0.25, 0.13, 0.27, 0.21, 0.45 * 180 / 3.14159265358979, 1});
  QPainterPath antenna(QPointF(0.015, 0.24));
  antenna.quadTo(QPointF(0.05, 0.38), QPointF(0.13, 0.43));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kBody, 0.022, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(antenna);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kBody);
  painter.drawEllipse(QPointF(0.13, 0.43), 0.026, 0.026);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: draw_logo <output.png> [size]\n");
    return 2;
  }
  const int size = argc > 2 ? std::max(64, std::atoi(argv[2])) : 1024;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // The butterfly's units: the image spans 1.08 of them, y up, centred a
  // little below the middle.
  painter.translate(size / 2.0, size / 2.0);
  painter.scale(size / 1.08, -size / 1.08);
  painter.translate(0, -0.02);
  drawHalf(painter);
  painter.scale(-1, 1);
  drawHalf(painter);
  painter.setBrush(kBody);
  painter.drawEllipse(QPointF(0, -0.04), 0.036, 0.27);
  painter.drawEllipse(QPointF(0, 0.25), 0.052, 0.052);
  painter.end();
  return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
