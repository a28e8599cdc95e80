#pragma once

#include <QImage>
#include <QString>

// Corvane's own pictures, drawn in code so that anyone can change and regenerate them.
namespace Artwork {

QImage draw(const QString &name);
QStringList buttonNames();
QStringList brandNames();
QImage unknownFlag(const QSize &size);
// The application icon, square, for the desktop's icon theme and the window.
QImage applicationIcon(int pixels);
bool writeApplicationIconSvg(const QString &path);

} // namespace Artwork
