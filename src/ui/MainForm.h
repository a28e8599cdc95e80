#pragma once

#include "controllers/ConnectionController.h"
#include "types/ConnectionState.h"
#include "types/LatencyResult.h"
#include "types/ServerData.h"

#include <QByteArray>
#include <QVector>
#include <QWidget>

class AccountWindow;
class ConnectionAnimation;
class LanguageManager;
class NetworkManager;
class PingManager;
class NavigablePage;
class QColor;
class QFrame;
class QGraphicsBlurEffect;
class QLabel;
class QPushButton;
class QTimer;
class RecomendedServerItem;
class ServerListModel;
class ServersWindow;
class SettingsWindow;
class VpnManager;

// The home page: the connect button, the state, time and traffic, the kill switch, three
// recommended locations. The connection controller decides; the page shows its state and hands it
// the member's actions.
class MainForm : public QWidget {
    Q_OBJECT

public:
    explicit MainForm(QWidget *parent = nullptr);

    void setNetworkManager(NetworkManager *manager);
    void setLanguageManager(LanguageManager *manager);
    void setServers(const QVector<ServerData> &servers);
    void setFavoriteServers(const QVector<int> &favoriteServersIds);
    void resetView();
    // The member quits on purpose: the tunnel goes, the service hears of it (waiting at most
    // noticeTimeoutMs for its answer) and the block is lifted.
    void shutDown(int noticeTimeoutMs);
    // The member signed out: no more latency sweeps, and no connection by itself, until the next
    // server list.
    void stopLatencyRefresh();
    // Every five minutes by default; settable so a test need not wait.
    void setLatencyRefreshInterval(int milliseconds);

    QVector<ServerData> servers() const { return connection->servers(); }
    QVector<int> favoriteServers() const;
    ServerData selectedServer() const { return connection->currentServer(); }
    ServerListModel *model() const { return serverModel; }
    VpnManager *tunnel() const { return vpnManager; }
    ConnectionController *connectionController() const { return connection; }
    int connectionState() const { return int(connection->state()); }
    ConnectionState::LinkCondition linkCondition() const { return connection->linkCondition(); }

    // Megabits per second of the bytes counted over intervalMs.
    static QString rateText(quint64 bytes, qint64 intervalMs);
    static QString connectionTimeText(int totalSeconds);

signals:
    // One sweep: server id and the host to probe, each.
    void requestPings(const QVector<QPair<int, QString>> &requests);
    void currentServerChoosed(ServerData serverData);
    void requestVpnConnect(QString serverIp);
    void requestVpnDisconnect();
    void vpnDisconnectNoticeAnswered();
    // Drives the tunnel with a configuration's bytes, read and checked there as any other; the
    // controller hands it configurations already read.
    void changeConnectionState(int state, QByteArray configData = QByteArray());
    void connectionStateChanged(int state);
    void requestUpdateServersFavoriteStates(QVector<int> favoriteServersIds);
    void changeTrayIconState(bool isEnabled);
    void pingDone();
    void logOutClicked();
    void linkConditionChanged(int condition);
    // The connection left a server that stopped answering for another.
    void serverAbandoned(QString from, QString to);
    // The kill switch is on and its block could not be put in force; why, in the member's words.
    void killSwitchNotInForce(QString reason);

public slots:
    void trayIconChangeConnectionStateCLicked();
    // Around each sign-in request, for a block that lets nothing through while it is in force.
    void beginServiceRequest();
    void endServiceRequest();

private slots:
    // Shows a state: the controller takes it, and the page follows.
    void setVpnConnectionState(int state);
    void increaseConnectionMaskOpacity();
    void decreaseConnectionMaskOpacity();
    void favoritesServersChanged();
    void onRecommendedFavoriteToggled(int id, bool isFavorite);
    void logOut();
    void on_pushButtonMenu_clicked();
    void on_pushButtonSettings_clicked();
    void on_pushButtonAccountNav_clicked();
    void on_pushButtonSettingsNav_clicked();
    void setServerPing(int id, int receivedPing);
    void setServerPings(const QVector<Platform::LatencyResult> &results);
    void setCurrentServer(int id);
    void setCurrentServerConfig(QByteArray configData);
    void on_pushButtonChangeConnectionState_clicked();
    void trayIconStateChanged(bool isEnabled);
    void on_pushButtonGoToStatus_clicked();
    void on_pushButtonTerms_clicked();
    void on_pushButtonPrivacy_clicked();
    void on_pushButtonSupport_clicked();
    void on_pushButtonLogOut_clicked();
    void on_pushButtonCloseMenu_clicked();
    void refreshPings();
    void on_pushButtonExploreLocations_clicked();
    void updateDownloadSpeed(quint64 bytesPerSec);
    void updateUploadSpeed(quint64 bytesPerSec);
    void updateConnectionTime(int totalSeconds);
    void on_pushButtonKillSwitch_clicked();
    void onVpnConfigFailed();
    void translate();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildForm();
    void buildStatusArea();
    void buildRateCards();
    void buildKillSwitchRow();
    void fitKillSwitchText();
    void nameConnectButton();
    void buildCards();
    void buildMenu();
    void buildNavigation();
    ServersWindow *serversPage();
    SettingsWindow *settingsPage();
    AccountWindow *accountPage();
    void switchWindow(QWidget *from, QWidget *to);
    void hideWindows();
    void createManagers();
    void openWindow(QWidget *window);
    void returnFocusWhenClosed(NavigablePage *page);
    void showMenu(bool open);
    void layoutPill();
    void setPill(const char *key, const QString &textStyle, const QString &pillStyle, int icon,
                 const QColor &iconColor);
    void createConnectionController();
    void showConnectionState(ConnectionController::State state);
    void chooseServer(int id, bool autoConnect);
    void updateRecommendedCards();
    void storeFavorites();
    void setKillSwitchIcon();
    // The card's caption says what the switch does, or why its block is not in force.
    void showKillSwitchFault();
    void tellKillSwitchFault();
    QString killSwitchFaultText() const;
    void showTunnelProblem();
    // The location label, the first card and the tray's status line name the server in use.
    void showCurrentServer(const ServerData &server);
    void markFavorites(const QVector<int> &ids);
    QString text(const char *key) const;
    // The pill and the tray's status line follow the link's condition.
    void presentLinkCondition(ConnectionState::LinkCondition condition);
    void showStatePill();
    void setWarningPill(const char *key, const QColor &foreground, const QColor &background);

    ServerListModel *serverModel = nullptr;
    int pingCount = 0;
    LanguageManager *languageManager = nullptr;
    PingManager *pingManager = nullptr;
    VpnManager *vpnManager = nullptr;
    ConnectionController *connection = nullptr;
    ServersWindow *serversWindow = nullptr;
    SettingsWindow *settingsWindow = nullptr;
    AccountWindow *accountWindow = nullptr;
    QGraphicsBlurEffect *menuBlur = nullptr;
    QTimer *increaseMaskTimer = nullptr;
    QTimer *decreaseMaskTimer = nullptr;
    int maskAlpha = 0;

    QFrame *frameBackgroundGradient = nullptr;
    QFrame *frameBackgroundGradientConnected = nullptr;
    QFrame *frameConnectionStatus = nullptr;
    ConnectionAnimation *widgetConnectionAnimation = nullptr;
    QPushButton *pushButtonChangeConnectionState = nullptr;
    QPushButton *pushButtonInfoState = nullptr;
    QLabel *labelStatusPill = nullptr;
    QLabel *labelStatusPillIcon = nullptr;
    QLabel *labelStatusPillText = nullptr;
    QLabel *labelConnectionTime = nullptr;
    QLabel *labelServerName = nullptr;
    // Why a connection could not even be tried: the system helper is missing or refused.
    QLabel *labelTunnelProblem = nullptr;
    QLabel *labelDownloadSpeed = nullptr;
    QLabel *labelUploadSpeed = nullptr;
    QLabel *labelDownloadIcon = nullptr;
    QLabel *labelUploadIcon = nullptr;
    QLabel *labelDownloadTitle = nullptr;
    QLabel *labelUploadTitle = nullptr;
    QLabel *labelSpeed = nullptr;
    QLabel *labelWhiteLogo = nullptr;
    QLabel *labelRecomendedLocaions = nullptr;
    RecomendedServerItem *cards[3] = {};
    QLabel *labelKillSwitchText = nullptr;
    QLabel *labelKillSwitchCaption = nullptr;
    QPushButton *pushButtonCloseMenu = nullptr;
    QPushButton *pushButtonKillSwitch = nullptr;
    QFrame *frameMenu = nullptr;
    QPushButton *pushButtonGoToStatus = nullptr;
    QPushButton *pushButtonSettings = nullptr;
    QPushButton *pushButtonTerms = nullptr;
    QPushButton *pushButtonPrivacy = nullptr;
    QPushButton *pushButtonSupport = nullptr;
    QPushButton *pushButtonLogOut = nullptr;
};
