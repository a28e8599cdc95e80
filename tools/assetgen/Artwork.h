#pragma once

#include <QImage>
#include <QString>

// Corvane's own pictures, drawn in code so that anyone can change and regenerate them.
namespace Artwork {

QImage draw(const QString &name);
QStringList buttonNames();
QStringList brandNames();
QImage unknownFlag(const QSize &size);

} // namespace Artwork
