#pragma once

#include "controllers/SignInController.h"
#include "types/AppStyleUtil.h"
#include "types/ConnectionState.h"
#include "types/ReplyError.h"
#include "types/ServerData.h"
#include "widgets/WindowDrag.h"

#include <QMainWindow>
#include <QPoint>
#include <QSystemTrayIcon>

class LanguageManager;
class LoadingForm;
class LoginForm;
class MainForm;
class MessageForm;
class NetworkManager;
class QAction;
class QMenu;
class QPushButton;
class QStackedWidget;

// The program's only top-level window: it hosts the loading, message, login and home pages,
// shows what the sign-in controller decides and hands it the member's and the service's words,
// keeps the tray icon and lets the member drag the frameless window.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr int windowWidth = 411;
    static constexpr int windowHeight = 914;
    static constexpr int cornerRadius = 18;

    // The token renewal interval; settable so a test need not wait sixty hours.
    void setJwtRefreshInterval(int milliseconds);

    // Shows the window, or with hidden and the tray icon switched on, only the tray icon; a
    // page that needs the member (login, message) then shows the window after all.
    void start(bool hidden);
    // A second launch asked for the window: shown, restored, raised and activated.
    void bringToFront();
    // Shown, restored from minimised, raised and activated: what every "show the window" means.
    void showWindow();

    // How long quitting waits for the VPN API to hear that the member's tunnel is gone.
    void setQuitNoticeTimeout(int milliseconds) { quitNoticeTimeoutMs = milliseconds; }

    static bool isValidEmail(const QString &email);

signals:
    void requestBrandId(QString domain);
    void requestLoginData(QString email, QString password, QString brandId);
    void requestSubscriptionStatus();
    void requestAllServersData();
    void requestFavoriteServersData();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void translate();
    void showForm(AppStyleUtil::ApplicationForm::Form form);
    void processLogOut();
    // The message page's button: a start-up that could not reach the service tries again.
    void returnFromMessage(AppStyleUtil::ApplicationForm::Form form);
    void loginRequest(QString email, QString password);
    void subscriptionRequest();
    void brandIdResolved(QString resolvedBrandId);
    void allServersRequest();
    void favoriteServersRequest();
    void processLogin();
    void processSubscriptionStatus();
    void processServerData(QVector<ServerData> serversData);
    void processFavoriteServersData(QVector<int> favoriteServersIds);
    void
    replyErrorOccurred(ReplyError::Type errorType,
                       QString message = QStringLiteral("Service unaviable. Try again later."));
    void updateJwt();
    void connectionStateChanged(int state);
    void closeFromTrayMenu();
    void trayIconDoubleClicked(QSystemTrayIcon::ActivationReason reason);
    void changeTrayIconState(bool isEnabled);
    void setCurrentServer(ServerData serverData);
    void pingDone();

private:
    void buildInterface();
    void applyWindowShape();
    void addWindowControls();
    void connectForms();
    void createTray();
    void createServiceClient();
    void createSignIn();
    void showSignInFailure(SignInController::Failure failure, const QString &message);
    // The tray's status line and connect entry; notify also tells the desktop of a new state.
    void presentConnectionState(int connectionState, ConnectionState::LinkCondition linkCondition,
                                bool notify);
    void notifyServerAbandoned(const QString &from, const QString &to);
    void notifyKillSwitchNotInForce(const QString &reason);
    void shutDown();
    QString text(const char *key, const char *english) const;
    QString withWindowTitle(const QString &text) const;
    // The stored language, English where it is not one of the three offered.
    void applyStoredLanguage();

    bool startDrag(QWidget *watched, const QPoint &globalPos);
    QWidget *dragTargetFor(QWidget *widget) const;

    QStackedWidget *stackedWidget = nullptr;
    LoadingForm *widgetLoading = nullptr;
    MessageForm *widgetMessage = nullptr;
    LoginForm *widgetLogin = nullptr;
    MainForm *widgetMain = nullptr;

    NetworkManager *networkManager = nullptr;
    SignInController *signIn = nullptr;
    LanguageManager *languageManager = nullptr;
    int quitNoticeTimeoutMs = 2000;
    bool startedInTray = false;
    bool shutDownDone = false;
    ServerData currentServer;

    QSystemTrayIcon *trayIcon = nullptr;
    QAction *closeAction = nullptr;
    QAction *statusAction = nullptr;
    QAction *connectAction = nullptr;
    QAction *showAction = nullptr;
    QMenu *trayMenu = nullptr;
    QPushButton *minimizeButton = nullptr;
    QPushButton *closeButton = nullptr;

    WindowDrag drag;
};
