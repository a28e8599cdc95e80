#include "widgets/IconPainter.h"
#include "widgets/ScreenPixmap.h"
#include "widgets/Theme.h"

#include <QFont>
#include <QPainter>
#include <QtMath>

namespace IconPainter {

namespace {

void drawIcon(QPainter &p, int kind, const QColor &color)
{
    switch (kind) {
    case BackChevron:
        p.drawLine(QPointF(15.5, 5.5), QPointF(8.5, 12.5));
        p.drawLine(QPointF(8.5, 12.5), QPointF(15.5, 19.5));
        break;
    case Home:
        p.drawPolyline(QPolygonF({QPointF(4.5, 12), QPointF(12.5, 5), QPointF(20.5, 12)}));
        p.drawRoundedRect(QRectF(7, 11, 11, 9), 2, 2);
        p.drawLine(QPointF(12.5, 20), QPointF(12.5, 15.5));
        break;
    case Servers:
        for (const qreal y : {6.0, 11.3, 16.6}) {
            p.drawRoundedRect(QRectF(5, y, 15, 3.8), 1.8, 1.8);
            p.fillRect(QRectF(16.2, y + 1.3, 1.8, 1.2), color);
        }
        break;
    case Account:
        p.drawEllipse(QRectF(8.4, 5, 8.2, 8.2));
        p.drawArc(QRectF(5, 13, 15, 10), 20 * 16, 140 * 16);
        break;
    case Settings:
        p.drawEllipse(QRectF(8, 8, 9, 9));
        for (int step = 0; step < 8; ++step) {
            const qreal angle = qDegreesToRadians(45.0 * step);
            const QPointF direction(qCos(angle), qSin(angle));
            p.drawLine(QPointF(12.5, 12.5) + direction * 6.2,
                       QPointF(12.5, 12.5) + direction * 8.4);
        }
        break;
    case Search:
        p.drawEllipse(QRectF(5.5, 5.5, 11, 11));
        p.drawLine(QPointF(15, 15), QPointF(20, 20));
        break;
    case Help: {
        p.drawEllipse(QRectF(4, 4, 17, 17));
        QFont font(QLatin1String(Theme::fontFamily));
        font.setPointSize(13);
        font.setWeight(57);
        p.setFont(font);
        p.drawText(QRectF(4, 3, 17, 17), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Message:
        p.drawRoundedRect(QRectF(4, 6, 15, 10), 3, 3);
        p.drawLine(QPointF(9, 16), QPointF(7, 19));
        break;
    case Document:
        p.drawRoundedRect(QRectF(6.5, 4.5, 12, 16), 2, 2);
        p.drawLine(QPointF(9, 9), QPointF(16, 9));
        p.drawLine(QPointF(9, 13), QPointF(16, 13));
        p.drawLine(QPointF(9, 17), QPointF(14, 17));
        break;
    case ForwardChevron:
        p.drawLine(QPointF(9.5, 6.5), QPointF(15.5, 12.5));
        p.drawLine(QPointF(15.5, 12.5), QPointF(9.5, 18.5));
        break;
    case Minimize:
        p.drawLine(QPointF(7, 12.5), QPointF(18, 12.5));
        break;
    case Close:
        p.drawLine(QPointF(7.5, 7.5), QPointF(17.5, 17.5));
        p.drawLine(QPointF(17.5, 7.5), QPointF(7.5, 17.5));
        break;
    default:
        break;
    }
}

} // namespace

QPixmap paint(int kind, const QColor &color, const QSize &size)
{
    QPixmap pixmap = ScreenPixmap::canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const qreal scale = qMin(size.width(), size.height()) / 25.0;
    p.translate((size.width() - 25 * scale) / 2, (size.height() - 25 * scale) / 2);
    p.scale(scale, scale);
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    drawIcon(p, kind, color);
    return pixmap;
}

} // namespace IconPainter
