#include "servers/NavigablePage.h"

#include "servers/NavigationBar.h"

#include <QMouseEvent>

void NavigablePage::mousePressEvent(QMouseEvent *event)
{
    const QPoint position = event->localPos().toPoint();
    for (const Zone &zone : qAsConst(navigationZones)) {
        if (NavigationBar::itemArea(zone.item).contains(position)) {
            zone.action();
            return;
        }
    }
    dragger.press(this, event);
    QDialog::mousePressEvent(event);
}

void NavigablePage::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragger.move(this, event))
        QDialog::mouseMoveEvent(event);
}

void NavigablePage::mouseReleaseEvent(QMouseEvent *event)
{
    dragger.release();
    QDialog::mouseReleaseEvent(event);
}
