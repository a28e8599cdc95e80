#pragma once

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QVector>

class QWidget;

// Draws a hidden page once, a few of its widgets each turn of the event loop, into a picture
// nobody sees. A page's first paint loads the fonts, glyphs, style rules and pictures it uses and
// takes several frames; drawn beforehand, while the member is on another page, its first showing
// takes one. It stops once the page is shown or gone.
class PageWarmer final : public QObject {
    Q_OBJECT

public:
    // sliceMs bounds each turn's drawing.
    static void warm(QWidget *page, int sliceMs = 2);

private:
    PageWarmer(QWidget *page, int sliceMs);
    void drawSome();

    // The warmer's parent: it goes with the page.
    QWidget *const page;
    QVector<QPointer<QWidget>> undrawn;
    QPixmap canvas;
    int sliceMs;
};
