#include "widgets/Contrast.h"

#include <QtMath>

#include <algorithm>

namespace {

double relativeLuminance(const QColor &colour)
{
    const auto linear = [](qreal channel) {
        return channel <= 0.03928 ? channel / 12.92 : qPow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

} // namespace

namespace Contrast {

double ratio(const QColor &first, const QColor &second)
{
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor readableOn(const QColor &colour, const QColor &background, double needed)
{
    const QColor shade = colour.toHsl();
    for (int lightness = shade.lightness(); lightness >= 0; --lightness) {
        // As it will be painted: eight bits a channel.
        QColor candidate(QColor::fromHsl(shade.hslHue(), shade.hslSaturation(), lightness).name());
        candidate.setAlpha(colour.alpha());
        if (ratio(candidate, background) >= needed)
            return candidate;
    }
    return QColor(Qt::black);
}

} // namespace Contrast
