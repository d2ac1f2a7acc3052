#pragma once

// Conversions from the toolkit's values to Qt's, and the painting shared by
// the mirrored widgets.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>

#include "app/toolkit/theme.h"
#include "app/toolkit/view.h"

namespace nimbra::ui {

// The colours the application gave the toolkit (QtToolkit sets them once).
const Theme& theme();
void useTheme(const Theme& theme);

QColor toQt(const Color& color);
QFont toQt(const Font& font);
// A rectangle given y-up inside a box of height boxHeight, in Qt's y-down.
QRectF flipped(const Rect& rect, double boxHeight);
// Background, border and corner radius of a view's layer.
void paintLayer(QPainter& painter, const LayerLook& look, const QRectF& bounds);

}  // namespace nimbra::ui
