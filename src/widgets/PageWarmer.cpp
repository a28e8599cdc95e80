#include "widgets/PageWarmer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

void PageWarmer::warm(QWidget *page, int sliceMs)
{
    new PageWarmer(page, sliceMs);
}

PageWarmer::PageWarmer(QWidget *page, int sliceMs)
    : QObject(page)
    , page(page)
    , canvas(page->size())
    , sliceMs(sliceMs)
{
    for (QWidget *widget : page->findChildren<QWidget *>()) {
        // Windows of their own and widgets hidden on purpose are not part of the page's showing.
        if (!widget->isWindow() && !widget->isHidden())
            undrawn.append(widget);
    }
    QTimer::singleShot(0, this, &PageWarmer::drawSome);
}

void PageWarmer::drawSome()
{
    if (page->isVisible() || undrawn.isEmpty()) {
        deleteLater();
        return;
    }
    QElapsedTimer slice;
    slice.start();
    // At least one a turn, however short the slice.
    do {
        const QPointer<QWidget> widget = undrawn.takeLast();
        if (widget && !widget->size().isEmpty())
            widget->render(&canvas, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    } while (!undrawn.isEmpty() && slice.elapsed() < sliceMs);
    QTimer::singleShot(0, this, &PageWarmer::drawSome);
}
