#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>

// The small line icons every page shares, drawn in code in a 25 x 25 unit box.
namespace IconPainter {

enum Kind {
    BackChevron = 0,
    Home = 1,
    Servers = 2,
    Account = 3,
    Settings = 4,
    Search = 5,
    Help = 6,
    Message = 7,
    Document = 8,
    ForwardChevron = 9,
    Minimize = 10,
    Close = 11,
};

QPixmap paint(int kind, const QColor &color, const QSize &size);

} // namespace IconPainter
