#include "app/MainWindow.h"

#include "platform/WindowMove.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QWindow>

namespace {

// The bottom navigation bar, where presses belong to the bar's own zones.
const QRect bottomBarArea(QPoint(16, 806), QPoint(394, 880));

bool isInteractive(const QWidget *widget)
{
    return qobject_cast<const QPushButton *>(widget) || qobject_cast<const QLineEdit *>(widget) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractItemView *>(widget) ||
           qobject_cast<const QScrollBar *>(widget) || qobject_cast<const QMenu *>(widget);
}

} // namespace

// The window being dragged for a press on widget: this window, or a window it owns.
QWidget *MainWindow::dragTargetFor(QWidget *widget) const
{
    if (!widget)
        return nullptr;
    QWidget *window = widget->window();
    for (const QWidget *owner = window; owner; owner = owner->parentWidget()) {
        if (owner == this)
            return window;
    }
    return nullptr;
}

bool MainWindow::startDrag(QWidget *watched, const QPoint &globalPos)
{
    QWidget *target = dragTargetFor(watched);
    if (!target)
        return false;
    if (bottomBarArea.contains(target->mapFromGlobal(globalPos)))
        return false;
    if (isInteractive(watched))
        return false;
    for (const QWidget *widget = watched->parentWidget(); widget && widget != target;
         widget = widget->parentWidget()) {
        if (isInteractive(widget))
            return false;
    }
    // The main window alone can be handed to the window system; a page window that drags the
    // main window along is moved here.
    if (target == this && Platform::startSystemWindowMove(windowHandle()))
        return true;
    drag.start(target, globalPos, target != this ? this : nullptr);
    return true;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton)
            startDrag(qobject_cast<QWidget *>(watched), mouse->globalPos());
        break;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (drag.follow(mouse->globalPos(), mouse->buttons()))
            return true;
        break;
    }
    case QEvent::MouseButtonRelease:
        drag.stop();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
