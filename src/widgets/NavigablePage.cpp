#include "widgets/NavigablePage.h"

#include "widgets/FocusScope.h"
#include "widgets/NavigationBar.h"

#include <QHideEvent>
#include <QMouseEvent>
#include <QPushButton>

void NavigablePage::setNavigationZones(const QVector<Zone> &zones)
{
    navigationZones = zones;
    for (const Zone &zone : zones)
        connect(NavigationBar::addKey(this, zone.item), &QPushButton::clicked, this, zone.action);
    FocusScope::orderByPosition(this);
}

bool NavigablePage::focusNextPrevChild(bool next)
{
    // A page being hidden hands the focus on as any widget does.
    if (!isVisible())
        return QDialog::focusNextPrevChild(next);
    return FocusScope::move(this, next);
}

void NavigablePage::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        emit hidden();
}

void NavigablePage::mousePressEvent(QMouseEvent *event)
{
    const QPoint position = event->localPos().toPoint();
    for (const Zone &zone : qAsConst(navigationZones)) {
        if (NavigationBar::itemArea(zone.item).contains(position)) {
            zone.action();
            return;
        }
    }
    // The window the page lies in goes along, or the page itself where it stands alone.
    drag.start(parentWidget() ? parentWidget()->window() : this, event->globalPos());
    QDialog::mousePressEvent(event);
}

void NavigablePage::mouseMoveEvent(QMouseEvent *event)
{
    if (drag.follow(event->globalPos(), event->buttons()))
        event->accept();
    else
        QDialog::mouseMoveEvent(event);
}

void NavigablePage::mouseReleaseEvent(QMouseEvent *event)
{
    drag.stop();
    QDialog::mouseReleaseEvent(event);
}
