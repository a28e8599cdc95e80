#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// Pixmaps made for the screen they are shown on: in device pixels, with the screen's device
// pixel ratio, so that nothing is blurry at a scale of 2. Painting on a canvas and every size
// given here are in logical pixels, as widgets are laid out.
namespace ScreenPixmap {

qreal ratio();
QPixmap canvas(const QSize &logicalSize);
QPixmap scaled(const QPixmap &source, const QSize &logicalSize,
               Qt::AspectRatioMode mode = Qt::KeepAspectRatio);
QPixmap fromResource(const QString &path, const QSize &logicalSize,
                     Qt::AspectRatioMode mode = Qt::KeepAspectRatio);

} // namespace ScreenPixmap
