#pragma once

#include <QStyledItemDelegate>

class LanguageManager;
struct ServerData;

// Draws each location row as a ServerListItem and opens a ServerListItemEditor on it.
class ServerListItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit ServerListItemDelegate(QObject *parent = nullptr);

    void setLanguageManager(LanguageManager *manager) { languageManager = manager; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    // A row's server can change under an open editor (a sweep re-sorts the rows in place): the
    // editor then acts for the server now drawn on its row.
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

signals:
    void serverFavoriteStateChanged() const;
    void currentServerChoosed(int id);

public slots:
    void setCurrentClicked(int id);
    void setFavoriteStateClicked();

protected:
    // Whether this delegate shows the row at all; the favourites view shows only favourites.
    virtual bool showsRow(const ServerData &server) const;

private:
    LanguageManager *languageManager = nullptr;
};

// The same rows in the favourites view: only favourites take room and are painted.
class FavoriteServerListItemDelegate : public ServerListItemDelegate {
    Q_OBJECT

public:
    using ServerListItemDelegate::ServerListItemDelegate;

protected:
    bool showsRow(const ServerData &server) const override;
};
