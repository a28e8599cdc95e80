#include "servers/ServerListView.h"

#include "servers/ServerListAccessible.h"

#include <QKeyEvent>

ServerListView::ServerListView(QWidget *parent)
    : QListView(parent)
{
    ServerListAccessible::install();
    connect(this, &QListView::activated, this,
            [this](const QModelIndex &index) { act(index, RowAction::Connect); });
}

QString ServerListView::actionText(RowAction action) const
{
    return actionTexts.value(int(action));
}

void ServerListView::act(const QModelIndex &index, RowAction action)
{
    if (index.isValid() && index.model() == model())
        emit rowActionRequested(index, action);
}

void ServerListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_D && event->modifiers() == Qt::ControlModifier) {
        act(currentIndex(), RowAction::ToggleFavorite);
        return;
    }
    QListView::keyPressEvent(event);
}
