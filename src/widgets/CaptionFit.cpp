#include "widgets/CaptionFit.h"

#include <QLabel>

namespace CaptionFit {

void fitTextSize(QLabel *label, const QString &style, const QStringList &fontSizes)
{
    // A polished label takes a new style sheet's font at once and measures in it; an unpolished
    // one (on a page not shown yet) would keep its old font until shown.
    label->ensurePolished();
    for (const QString &size : fontSizes) {
        label->setStyleSheet(style + QStringLiteral(" font-size: %1;").arg(size));
        if (label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width())
            return;
    }
}

} // namespace CaptionFit
