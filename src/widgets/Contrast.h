#pragma once

#include <QColor>

// Text members can read (WCAG 2.1 AA): 4.5:1 against its background, 3:1 for large text.
namespace Contrast {

double ratio(const QColor &first, const QColor &second);

// The nearest darker shade of colour (same hue and saturation) that reaches the ratio against
// background; colour itself when it already does.
QColor readableOn(const QColor &colour, const QColor &background, double needed = 4.5);

} // namespace Contrast
