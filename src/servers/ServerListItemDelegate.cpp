#include "servers/ServerListItemDelegate.h"

#include "servers/ServerListItem.h"
#include "types/ServerData.h"
#include "widgets/FocusRing.h"

#include <QPainter>

namespace {

const QSize hiddenRow(340, 0);

bool holdsServer(const QModelIndex &index)
{
    return index.data().canConvert<ServerData>();
}

} // namespace

ServerListItemDelegate::ServerListItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{}

bool ServerListItemDelegate::showsRow(const ServerData &) const
{
    return true;
}

bool FavoriteServerListItemDelegate::showsRow(const ServerData &server) const
{
    return server.isFavorite;
}

void ServerListItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    if (!holdsServer(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const ServerData server = index.data().value<ServerData>();
    if (!showsRow(server))
        return;
    painter->save();
    painter->translate(option.rect.topLeft());
    ServerListItem item(server, languageManager);
    item.render(painter, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
    painter->restore();
    // The row the arrow keys reached is the one Enter acts on: marked as the focus is elsewhere.
    if (option.state & QStyle::State_HasFocus)
        FocusRing::paint(painter, option.rect);
}

// Every row has the same size, so no row widget is built just to measure it.
QSize ServerListItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    if (!holdsServer(index))
        return hiddenRow;
    return showsRow(index.data().value<ServerData>()) ? ServerListItem::rowSize() : hiddenRow;
}

QWidget *ServerListItemDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                              const QModelIndex &index) const
{
    if (!holdsServer(index))
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *editor = new ServerListItemEditor(index.data().value<ServerData>(), parent);
    connect(editor, &ServerListItemEditor::setCurrent, this,
            &ServerListItemDelegate::setCurrentClicked);
    connect(editor, &ServerListItemEditor::setFavoriteState, this,
            &ServerListItemDelegate::setFavoriteStateClicked);
    return editor;
}

void ServerListItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *rowEditor = qobject_cast<ServerListItemEditor *>(editor);
    if (!rowEditor || !holdsServer(index)) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    rowEditor->setServerId(index.data().value<ServerData>().id);
}

void ServerListItemDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                          const QModelIndex &index) const
{
    if (!holdsServer(index)) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    ServerData server = index.data().value<ServerData>();
    server.isFavorite = !server.isFavorite;
    model->setData(index, QVariant::fromValue(server), Qt::EditRole);
    emit serverFavoriteStateChanged();
}

void ServerListItemDelegate::updateEditorGeometry(QWidget *editor,
                                                  const QStyleOptionViewItem &option,
                                                  const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

void ServerListItemDelegate::setCurrentClicked(int id)
{
    emit currentServerChoosed(id);
}

void ServerListItemDelegate::setFavoriteStateClicked()
{
    if (auto *editor = qobject_cast<QWidget *>(sender()))
        emit commitData(editor);
}
