#include "widgets/WindowDrag.h"

void WindowDrag::start(QWidget *dragged, const QPoint &globalPos, QWidget *alongWith)
{
    window = dragged;
    companion = alongWith;
    pressPosition = globalPos;
    windowStart = dragged ? dragged->pos() : QPoint();
    companionStart = alongWith ? alongWith->pos() : QPoint();
}

bool WindowDrag::follow(const QPoint &globalPos, Qt::MouseButtons buttons)
{
    if (!window || !(buttons & Qt::LeftButton))
        return false;
    const QPoint offset = globalPos - pressPosition;
    window->move(windowStart + offset);
    if (companion)
        companion->move(companionStart + offset);
    return true;
}

void WindowDrag::stop()
{
    window = nullptr;
    companion = nullptr;
}
