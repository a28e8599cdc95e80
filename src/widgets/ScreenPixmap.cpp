#include "widgets/ScreenPixmap.h"

#include <QGuiApplication>

namespace ScreenPixmap {

qreal ratio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QPixmap canvas(const QSize &logicalSize)
{
    QPixmap pixmap(logicalSize * ratio());
    pixmap.setDevicePixelRatio(ratio());
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap scaled(const QPixmap &source, const QSize &logicalSize, Qt::AspectRatioMode mode)
{
    if (source.isNull())
        return source;
    QPixmap pixmap = source.scaled(logicalSize * ratio(), mode, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(ratio());
    return pixmap;
}

QPixmap fromResource(const QString &path, const QSize &logicalSize, Qt::AspectRatioMode mode)
{
    return scaled(QPixmap(path), logicalSize, mode);
}

} // namespace ScreenPixmap
