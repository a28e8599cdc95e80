#include "widgets/CaptionFit.h"

#include <QLabel>

namespace CaptionFit {

void fitTextSize(QLabel *label, const QString &style, const QStringList &fontSizes)
{
    for (const QString &size : fontSizes) {
        // The style sheet sets the font as it is applied, so the label measures in it at once.
        label->setStyleSheet(style + QStringLiteral(" font-size: %1;").arg(size));
        if (label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width())
            return;
    }
}

} // namespace CaptionFit
