#pragma once

#include "network/ServerData.h"

#include <QByteArray>
#include <QVector>
#include <QWidget>

class LanguageManager;
class NetworkManager;
class QLabel;
class QPushButton;

// The home page the member sees after signing in. At this stage it holds the server list and
// favourites it is handed and offers the log-out; the connection controls come with the home
// screen itself.
class MainForm : public QWidget {
    Q_OBJECT

public:
    explicit MainForm(QWidget *parent = nullptr);

    void setNetworkManager(NetworkManager *manager);
    void setLanguageManager(LanguageManager *manager);
    void setServers(const QVector<ServerData> &servers);
    void setFavoriteServers(const QVector<int> &favoriteServersIds);
    void resetView();

    QVector<ServerData> servers() const { return serverList; }
    QVector<int> favoriteServers() const { return favoriteIds; }

signals:
    void requestPing(int id, QString hostname);
    void currentServerChoosed(ServerData serverData);
    void requestVpnConnect(QString serverIp);
    void requestVpnDisconnect();
    void changeConnectionState(int state, QByteArray configData = QByteArray());
    void connectionStateChanged(int state);
    void requestUpdateServersFavoriteStates(QVector<int> favoriteServersIds);
    void changeTrayIconState(bool isEnabled);
    void pingDone();
    void logOutClicked();

public slots:
    void trayIconChangeConnectionStateCLicked();

private:
    NetworkManager *networkManager = nullptr;
    LanguageManager *languageManager = nullptr;
    QVector<ServerData> serverList;
    QVector<int> favoriteIds;
    QLabel *labelServerCount;
    QPushButton *pushButtonLogOut;
};
