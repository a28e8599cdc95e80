#include "servers/ServerListAccessible.h"

#include "servers/ServerListView.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QWindow>

#include <iterator>

namespace {

using RowAction = ServerListView::RowAction;

const RowAction rowActions[] = {RowAction::Choose, RowAction::Connect, RowAction::ToggleFavorite};
const char *const rowActionIds[] = {"choose", "connect", "toggleFavorite"};

// One row. Rows have no widget of their own: the view paints them, so the row answers for
// itself from the model and the view's geometry.
class ServerRow final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ServerRow(ServerListView *view, const QModelIndex &index)
        : view(view)
        , index(index)
    {}

    bool isValid() const override { return view && index.isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return view ? view->window()->windowHandle() : nullptr; }
    QVector<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation) const override
    {
        return {};
    }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(view.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return QString();
        return index.data(Qt::AccessibleTextRole).toString();
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect area = view->visualRect(index);
        return QRect(view->viewport()->mapToGlobal(area.topLeft()), area.size());
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const QRect area = view->visualRect(index);
        state.invisible = area.isEmpty() || !view->isVisible();
        state.offscreen = !area.intersects(view->viewport()->rect());
        state.focusable = true;
        state.selectable = true;
        state.selected = view->selectionModel() && view->selectionModel()->isSelected(index);
        state.focused = view->hasFocus() && view->currentIndex() == index;
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }

    // AT-SPI hands screen readers the names themselves: they are in the member's language, the
    // identifiers standing in only while no catalogue has named them.
    QStringList actionNames() const override
    {
        QStringList names;
        for (int position = 0; position < int(std::size(rowActions)); ++position) {
            const QString spoken = view ? view->actionText(rowActions[position]) : QString();
            names << (spoken.isEmpty() ? QLatin1String(rowActionIds[position]) : spoken);
        }
        return names;
    }

    QString localizedActionName(const QString &name) const override { return name; }

    QStringList keyBindingsForAction(const QString &name) const override
    {
        switch (actionNames().indexOf(name)) {
        case int(RowAction::Connect):
            return {QStringLiteral("Return")};
        case int(RowAction::ToggleFavorite):
            return {QStringLiteral("Ctrl+D")};
        default:
            return {};
        }
    }

    void doAction(const QString &name) override
    {
        const int position = actionNames().indexOf(name);
        if (isValid() && position >= 0)
            view->act(index, rowActions[position]);
    }

    int row() const { return index.row(); }

private:
    QPointer<ServerListView> view;
    QPersistentModelIndex index;
};

// The list: its children are the model's rows, in the view's order, as the view's own focus
// events count them. Each row's interface lives until its row moves away or the list goes.
class ServerList final : public QAccessibleWidget {
public:
    explicit ServerList(ServerListView *view)
        : QAccessibleWidget(view, QAccessible::List)
    {}

    ~ServerList() override
    {
        for (QAccessible::Id id : qAsConst(rowIds))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return view()->model() ? view()->model()->rowCount() : 0; }

    QAccessibleInterface *child(int row) const override
    {
        if (row < 0 || row >= childCount())
            return nullptr;
        if (QAccessibleInterface *known = QAccessible::accessibleInterface(rowIds.value(row))) {
            auto *server = static_cast<ServerRow *>(known);
            if (server->isValid() && server->row() == row)
                return known;
            QAccessible::deleteAccessibleInterface(rowIds.take(row));
        }
        auto *server = new ServerRow(view(), view()->model()->index(row, 0));
        rowIds.insert(row, QAccessible::registerAccessibleInterface(server));
        return server;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || child->role() != QAccessible::ListItem || child->parent() != this)
            return -1;
        return static_cast<const ServerRow *>(child)->row();
    }

    QAccessibleInterface *focusChild() const override
    {
        if (!view()->hasFocus() || !view()->currentIndex().isValid())
            return nullptr;
        return child(view()->currentIndex().row());
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? child(index.row()) : nullptr;
    }

private:
    ServerListView *view() const { return static_cast<ServerListView *>(widget()); }

    mutable QHash<int, QAccessible::Id> rowIds;
};

QAccessibleInterface *serverListFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<ServerListView *>(object))
        return new ServerList(view);
    return nullptr;
}

} // namespace

namespace ServerListAccessible {

void install()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(serverListFactory);
    installed = true;
}

} // namespace ServerListAccessible
