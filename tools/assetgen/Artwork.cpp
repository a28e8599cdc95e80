#include "Artwork.h"

#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QtMath>

#include <functional>
#include <map>

namespace {

const QColor accent("#14A85A");
const QColor ink("#1C2733");
const QColor muted("#8A96A3");
const QColor white(Qt::white);

// Button and brand artwork is painted in its layout units onto twice the pixels, so that it
// stays sharp on a screen at a scale of 2; the saved file holds the doubled pixels.
constexpr int artworkScale = 2;

QImage canvas(int width, int height, int scale = artworkScale)
{
    QImage image(width * scale, height * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

QPen roundPen(const QColor &color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QImage toggle(bool on)
{
    QImage image = canvas(104, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(on ? accent : QColor("#C9D2DC"));
    p.drawRoundedRect(QRectF(2, 6, 100, 52), 26, 26);
    p.setBrush(white);
    p.drawEllipse(QRectF(on ? 54 : 8, 12, 40, 40));
    return image;
}

QPainterPath starPath(const QRectF &box)
{
    QPainterPath path;
    const QPointF centre = box.center();
    const qreal outer = box.width() / 2;
    const qreal inner = outer * 0.45;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = (i % 2 == 0) ? outer : inner;
        const qreal angle = qDegreesToRadians(-90.0 + i * 36.0);
        const QPointF point(centre.x() + radius * qCos(angle), centre.y() + radius * qSin(angle));
        i == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QImage star(bool filled)
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(filled ? accent : muted, 3));
    p.setBrush(filled ? QBrush(accent) : Qt::NoBrush);
    p.drawPath(starPath(QRectF(4, 5, 40, 40)));
    return image;
}

QImage emailIcon()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(muted, 3));
    p.drawRoundedRect(QRectF(6, 11, 36, 26), 4, 4);
    p.drawPolyline(QPolygonF({QPointF(8, 14), QPointF(24, 26), QPointF(40, 14)}));
    return image;
}

QImage lockIcon()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(muted, 3));
    p.drawRoundedRect(QRectF(10, 21, 28, 21), 4, 4);
    p.drawArc(QRectF(15, 8, 18, 22), 0, 180 * 16);
    p.drawLine(QPointF(15, 19), QPointF(15, 21));
    p.drawLine(QPointF(33, 19), QPointF(33, 21));
    p.drawLine(QPointF(24, 29), QPointF(24, 34));
    return image;
}

QImage eyeIcon()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(muted, 3));
    QPainterPath lid;
    lid.moveTo(5, 24);
    lid.quadTo(24, 4, 43, 24);
    lid.quadTo(24, 44, 5, 24);
    p.drawPath(lid);
    p.drawEllipse(QPointF(24, 24), 6, 6);
    return image;
}

QImage connectedState()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QRectF(4, 4, 40, 40));
    p.setPen(roundPen(white, 4));
    p.drawPolyline(QPolygonF({QPointF(15, 24), QPointF(21, 30), QPointF(33, 18)}));
    return image;
}

QImage chevron(bool up)
{
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(roundPen(ink, 3));
    const qreal tip = up ? 11 : 21;
    const qreal ends = up ? 21 : 11;
    p.drawPolyline(QPolygonF({QPointF(8, ends), QPointF(16, tip), QPointF(24, ends)}));
    return image;
}

void drawPerson(QPainter &p, const QRectF &box, const QColor &color, qreal width)
{
    p.setPen(roundPen(color, width));
    p.setBrush(Qt::NoBrush);
    const qreal u = box.width() / 24;
    p.drawEllipse(QRectF(box.x() + 8 * u, box.y() + 3 * u, 8 * u, 8 * u));
    p.drawArc(QRectF(box.x() + 4 * u, box.y() + 13 * u, 16 * u, 16 * u), 20 * 16, 140 * 16);
}

QImage profile()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawPerson(p, QRectF(0, 0, 48, 48), accent, 3);
    return image;
}

QImage fastestServer()
{
    QImage image = canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    p.drawPolygon(QPolygonF({QPointF(27, 4), QPointF(10, 27), QPointF(22, 27), QPointF(19, 44),
                             QPointF(38, 19), QPointF(25, 19)}));
    return image;
}

QImage powerButton(const QColor &disc, const QColor &glyph)
{
    QImage image = canvas(152, 152);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(2, 2, 148, 148));
    p.setPen(roundPen(glyph, 7));
    p.drawArc(QRectF(48, 48, 56, 56), 120 * 16, -240 * 16);
    p.drawLine(QPointF(76, 38), QPointF(76, 72));
    return image;
}

QPainterPath shieldPath(const QRectF &box)
{
    QPainterPath path;
    const qreal w = box.width();
    const qreal h = box.height();
    path.moveTo(box.x() + w / 2, box.y());
    path.lineTo(box.right(), box.y() + h * 0.18);
    path.cubicTo(box.right(), box.y() + h * 0.62, box.x() + w * 0.78, box.y() + h * 0.86,
                 box.x() + w / 2, box.bottom());
    path.cubicTo(box.x() + w * 0.22, box.y() + h * 0.86, box.x(), box.y() + h * 0.62, box.x(),
                 box.y() + h * 0.18);
    path.closeSubpath();
    return path;
}

void drawMark(QPainter &p, const QRectF &box, const QColor &shield, const QColor &check)
{
    p.setPen(Qt::NoPen);
    p.setBrush(shield);
    p.drawPath(shieldPath(box));
    p.setPen(roundPen(check, box.width() * 0.09));
    const qreal x = box.x();
    const qreal y = box.y();
    const qreal w = box.width();
    const qreal h = box.height();
    p.drawPolyline(
        QPolygonF({QPointF(x + w * 0.28, y + h * 0.48), QPointF(x + w * 0.44, y + h * 0.63),
                   QPointF(x + w * 0.73, y + h * 0.34)}));
}

// The application icon on a 256-unit square, whatever the painter's device.
void paintSquareIcon(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, 256);
    gradient.setColorAt(0, QColor("#22C275"));
    gradient.setColorAt(1, accent);
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 56, 56);
    drawMark(p, QRectF(60, 44, 136, 168), white, accent);
}

QImage squareIcon()
{
    return Artwork::applicationIcon(256);
}

QImage wordmark(const QColor &markColor, const QColor &checkColor, const QColor &textColor)
{
    QImage image = canvas(600, 128);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawMark(p, QRectF(8, 8, 96, 112), markColor, checkColor);
    QFont font(QStringLiteral("Roboto Condensed"));
    font.setPixelSize(92);
    font.setBold(true);
    p.setFont(font);
    p.setPen(textColor);
    p.drawText(QRectF(128, 0, 472, 128), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Corvane"));
    return image;
}

using Painter = std::function<QImage()>;

const std::map<QString, Painter> &buttonPainters()
{
    static const std::map<QString, Painter> painters = {
        {"toggleOn", [] { return toggle(true); }},
        {"toggleOff", [] { return toggle(false); }},
        {"favoriteState", [] { return star(true); }},
        {"unfavoriteState", [] { return star(false); }},
        {"emailIcon", emailIcon},
        {"lockIcon", lockIcon},
        {"eyeIcon", eyeIcon},
        {"connectedState", connectedState},
        {"downarrow", [] { return chevron(false); }},
        {"uparrow", [] { return chevron(true); }},
        {"profile", profile},
        {"fastestServer", fastestServer},
        {"connectionButton", [] { return powerButton(QColor("#36BC73"), white); }},
        {"connectedButton", [] { return powerButton(accent, white); }},
        {"disconnectedButton", [] { return powerButton(white, QColor("#2A8A58")); }},
        {"errorButton", [] { return powerButton(QColor("#D64545"), white); }},
    };
    return painters;
}

const std::map<QString, Painter> &brandPainters()
{
    static const std::map<QString, Painter> painters = {
        {"windowIcon", squareIcon},
        {"brandIcon", squareIcon},
        {"appIcon", [] { return wordmark(accent, white, ink); }},
        {"whiteLogo", [] { return wordmark(white, accent, white); }},
    };
    return painters;
}

QStringList namesOf(const std::map<QString, Painter> &painters)
{
    QStringList names;
    for (const auto &entry : painters)
        names << entry.first;
    return names;
}

} // namespace

namespace Artwork {

QStringList buttonNames()
{
    return namesOf(buttonPainters());
}

QStringList brandNames()
{
    return namesOf(brandPainters());
}

QImage draw(const QString &name)
{
    for (const auto *painters : {&buttonPainters(), &brandPainters()}) {
        const auto it = painters->find(name);
        if (it != painters->end())
            return it->second();
    }
    return {};
}

QImage applicationIcon(int pixels)
{
    QImage image = canvas(pixels, pixels, 1);
    QPainter p(&image);
    p.scale(pixels / 256.0, pixels / 256.0);
    paintSquareIcon(p);
    return image;
}

bool writeApplicationIconSvg(const QString &path)
{
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(256, 256));
    svg.setViewBox(QRect(0, 0, 256, 256));
    svg.setTitle(QStringLiteral("Corvane"));
    QPainter p;
    if (!p.begin(&svg))
        return false;
    paintSquareIcon(p);
    return p.end();
}

QImage unknownFlag(const QSize &size)
{
    QImage image = canvas(size.width(), size.height(), 1);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(image.rect(), QColor("#E4EAF0"));
    const qreal radius = size.height() * 0.32;
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    p.setPen(roundPen(muted, size.height() / 28.0));
    p.drawEllipse(centre, radius, radius);
    p.drawEllipse(centre, radius * 0.45, radius);
    p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
    p.drawLine(QPointF(centre.x(), centre.y() - radius), QPointF(centre.x(), centre.y() + radius));
    return image;
}

} // namespace Artwork
