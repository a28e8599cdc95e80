#include "app/MainWindow.h"

#include "platform/DesktopNotification.h"
#include "storage/AppSettings.h"
#include "types/ConnectionState.h"
#include "types/LogCategories.h"
#include "ui/MainForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QIcon>
#include <QMenu>
#include <QPushButton>

namespace {

const int notificationMs = 10000;

} // namespace

void MainWindow::createTray()
{
    trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/images/windowIcon.png")), this);
    closeAction = new QAction(QStringLiteral("Close application"), this);
    statusAction = new QAction(this);
    statusAction->setEnabled(false);
    connectAction = new QAction(this);
    showAction = new QAction(QStringLiteral("Show"), this);
    trayMenu = new QMenu(this);
    trayMenu->addAction(statusAction);
    trayMenu->addAction(connectAction);
    trayMenu->addSeparator();
    trayMenu->addAction(showAction);
    trayMenu->addAction(closeAction);
    trayIcon->setContextMenu(trayMenu);
    trayIcon->hide();

    connect(trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::trayIconDoubleClicked);
    connect(closeAction, &QAction::triggered, this, &MainWindow::closeFromTrayMenu);
    connect(connectAction, &QAction::triggered, widgetMain,
            &MainForm::trayIconChangeConnectionStateCLicked);
    connect(showAction, &QAction::triggered, this, &MainWindow::showWindow);
}

void MainWindow::trayIconDoubleClicked(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        showWindow();
}

void MainWindow::closeFromTrayMenu()
{
    trayIcon->hide();
    close();
}

void MainWindow::changeTrayIconState(bool isEnabled)
{
    trayIcon->setVisible(isEnabled);
}

void MainWindow::connectionStateChanged(int state)
{
    presentConnectionState(state, widgetMain->linkCondition(), true);
}

void MainWindow::translate()
{
    closeAction->setText(text("tray.exit", "Exit"));
    showAction->setText(text("tray.show", "Show"));
    minimizeButton->setToolTip(text("window.minimize", "Minimize"));
    minimizeButton->setAccessibleName(minimizeButton->toolTip());
    closeButton->setToolTip(text("window.close", "Close"));
    closeButton->setAccessibleName(closeButton->toolTip());
    // A new language re-labels the menu; it is no news for a notification.
    presentConnectionState(widgetMain->connectionState(), widgetMain->linkCondition(), false);
}

void MainWindow::presentConnectionState(int connectionState,
                                        ConnectionState::LinkCondition linkCondition, bool notify)
{
    struct Presentation {
        const char *notificationKey;
        const char *notificationEnglish;
        bool statusShowsNotification;
        bool connectEnabled;
        const char *connectKey;
        const char *connectEnglish;
    };
    static const Presentation presentations[] = {
        {"tray.connectedTo", "Connected to %1", true, true, "action.disconnect", "Disconnect"},
        {"tray.disconnectedFrom", "Disconnected from %1", false, true, "action.connect", "Connect"},
        {"tray.connectingTo", "Connecting to %1", false, false, "status.connecting",
         "Connecting..."},
        {"tray.disconnectingFrom", "Disconnecting from %1", false, false, "status.disconnecting",
         "Disconnecting..."},
        {"tray.cannotConnectTo", "Cannot connect to %1", false, true, "action.connect", "Connect"},
    };

    const QString name = currentServer.name;
    statusAction->setText(name);
    if (connectionState < ConnectionState::Connected || connectionState > ConnectionState::Error)
        return;
    const Presentation &presentation = presentations[connectionState];
    const QString notification =
        text(presentation.notificationKey, presentation.notificationEnglish).arg(name);
    if (presentation.statusShowsNotification)
        statusAction->setText(notification);
    if (linkCondition == ConnectionState::LinkCondition::NoNetwork)
        statusAction->setText(text("status.nonetwork", "No network"));
    else if (linkCondition == ConnectionState::LinkCondition::Unstable &&
             connectionState == ConnectionState::Connected)
        statusAction->setText(text("status.unstable", "Connection unstable"));
    if (notify && AppSettings::switchState(AppSettings::Notifications) && trayIcon->isVisible())
        Platform::showDesktopNotification(trayIcon, windowTitle(), notification, notificationMs);
    connectAction->setEnabled(presentation.connectEnabled);
    connectAction->setText(text(presentation.connectKey, presentation.connectEnglish));
}

void MainWindow::notifyServerAbandoned(const QString &from, const QString &to)
{
    if (AppSettings::switchState(AppSettings::Notifications) && trayIcon->isVisible())
        Platform::showDesktopNotification(
            trayIcon, windowTitle(),
            text("tray.serverAbandoned", "%1 stopped answering: connecting to %2").arg(from, to),
            notificationMs);
}

// Every way out comes here once: the window closed, the tray's quit, the application reset, a
// termination signal.
void MainWindow::shutDown()
{
    if (shutDownDone)
        return;
    shutDownDone = true;
    qCDebug(lcApp) << "Quitting";
    widgetMain->shutDown(quitNoticeTimeoutMs);
}

// Said whether or not the tray icon shows: the member believes traffic is blocked.
void MainWindow::notifyKillSwitchNotInForce(const QString &reason)
{
    if (AppSettings::switchState(AppSettings::Notifications))
        Platform::showDesktopNotification(trayIcon, windowTitle(), reason, notificationMs);
}

// The catalogues' texts have no placeholder today; one that does gets the window title, and one
// that does not is shown as it is, without Qt's warning about a missing argument.
QString MainWindow::withWindowTitle(const QString &text) const
{
    return text.contains(QLatin1String("%1")) ? text.arg(windowTitle()) : text;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!trayIcon->isVisible()) {
        shutDown();
        event->accept();
        return;
    }
    event->ignore();
    hide();
    if (AppSettings::switchState(AppSettings::Notifications))
        Platform::showDesktopNotification(
            trayIcon, windowTitle(),
            withWindowTitle(text("tray.stillrunning", "Application is still running")),
            notificationMs);
}
