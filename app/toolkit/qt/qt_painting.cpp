#include "app/toolkit/qt/qt_painting.h"

#include <QPainterPath>
#include <cmath>

namespace nimbra::ui {

namespace {
Theme given;
}  // namespace

const Theme& theme() { return given; }

void useTheme(const Theme& theme) { given = theme; }

QColor toQt(const Color& color) { return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha)); }

QFont toQt(const Font& font) {
  QFont qfont(QStringLiteral("Inter"));
  qfont.setPixelSize(std::max(1, int(std::lround(font.size))));
  switch (font.weight) {
    case Weight::light: qfont.setWeight(QFont::Light); break;
    case Weight::regular: qfont.setWeight(QFont::Normal); break;
    case Weight::medium: qfont.setWeight(QFont::Medium); break;
    case Weight::semibold: qfont.setWeight(QFont::DemiBold); break;
  }
  qfont.setHintingPreference(QFont::PreferNoHinting);
  return qfont;
}

QRectF flipped(const Rect& rect, double boxHeight) {
  return QRectF(rect.x, boxHeight - rect.y - rect.height, rect.width, rect.height);
}

void paintLayer(QPainter& painter, const LayerLook& look, const QRectF& bounds) {
  if (!look.background && !(look.border && look.borderWidth > 0)) return;
  const double inset = look.border ? look.borderWidth / 2 : 0;
  const QRectF box = bounds.adjusted(inset, inset, -inset, -inset);
  QPainterPath path;
  path.addRoundedRect(box, look.cornerRadius, look.cornerRadius);
  if (look.background) painter.fillPath(path, toQt(*look.background));
  if (look.border && look.borderWidth > 0) {
    painter.setPen(QPen(toQt(*look.border), look.borderWidth));
    painter.drawPath(path);
  }
}

}  // namespace nimbra::ui
