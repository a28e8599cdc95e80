#pragma once

#include <QString>
#include <QStringList>

class QLabel;

// Captions whose translations are longer than the room a page gives them.
namespace CaptionFit {

// Styles the label with style plus the first of fontSizes (style sheet sizes, "14px" or "10pt",
// largest first) at which its text fits on one line; the last when none does.
void fitTextSize(QLabel *label, const QString &style, const QStringList &fontSizes);

} // namespace CaptionFit
