#pragma once

#include "types/ServerData.h"

#include <QWidget>

class LanguageManager;

// One location row as the servers window draws it: flag, name, location count, signal bars,
// latency and the connect pill.
class ServerListItem : public QWidget {
    Q_OBJECT

public:
    ServerListItem(const ServerData &server, LanguageManager *languageManager,
                   QWidget *parent = nullptr);

    QSize sizeHint() const override { return rowSize(); }
    static QSize rowSize() { return QSize(363, 88); }

private:
    ServerData server;
    LanguageManager *languageManager;
};

// The transparent editor over the row under the mouse: both of its buttons choose the server.
class ServerListItemEditor : public QWidget {
    Q_OBJECT

public:
    explicit ServerListItemEditor(const ServerData &server, QWidget *parent = nullptr);

    QSize sizeHint() const override { return ServerListItem::rowSize(); }
    int serverId() const { return id; }
    void setServerId(int serverId) { id = serverId; }

signals:
    void setFavoriteState();
    void setCurrent(int id);

private slots:
    void on_pushButtonSetCurrent_clicked();
    void on_pushButtonSetFavorite_clicked();

private:
    int id;
};
