#include "ui/MainForm.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"
#include "network/NetworkManager.h"
#include "ping/PingManager.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "ui/AccountWindow.h"
#include "ui/ConnectionAnimation.h"
#include "ui/SettingsWindow.h"
#include "vpn/VpnManager.h"
#include "widgets/Accessibility.h"
#include "widgets/CaptionFit.h"
#include "widgets/FocusScope.h"
#include "widgets/NavigationBar.h"
#include "widgets/ScreenPixmap.h"
#include "widgets/Theme.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QFrame>
#include <QGraphicsBlurEffect>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

namespace {

using State = ConnectionController::State;

const QColor accent = QColor(QStringLiteral("#199b56")).isValid()
                          ? QColor(QStringLiteral("#199b56"))
                          : QColor(QLatin1String(Theme::accent));
const char pillStyleTemplate[] =
    "background-color: %1; color: white; border-radius: 15px; padding: 5px 14px; "
    "font-weight: 500; font-size: 12px;";
const char whiteText[] = "background: transparent; border: 0; color: white;";
const char transparentButton[] = "border: 0; background: transparent;";

enum HomeIcon { ShieldIcon = 4, WarningIcon = 5, DownloadIcon = 6, UploadIcon = 7 };

// The home screen's own small icons: a shield with a check, a warning sign and two arrows.
QPixmap homeIcon(int kind, const QColor &color, int size)
{
    QPixmap pixmap = ScreenPixmap::canvas(QSize(size, size));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (kind) {
    case ShieldIcon:
        p.drawPolygon(QPolygonF({{12, 2}, {20, 5}, {20, 11}, {12, 22}, {4, 11}, {4, 5}}));
        p.drawPolyline(QPolygonF({{8, 12}, {11, 15}, {16, 9}}));
        break;
    case WarningIcon:
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.drawLine(QPointF(12, 7.5), QPointF(12, 13));
        p.drawPoint(QPointF(12, 16.5));
        break;
    case DownloadIcon:
    case UploadIcon: {
        const bool down = kind == DownloadIcon;
        p.drawLine(QPointF(12, 4), QPointF(12, 20));
        p.drawPolyline(down ? QPolygonF({{6, 14}, {12, 20}, {18, 14}})
                            : QPolygonF({{6, 10}, {12, 4}, {18, 10}}));
        break;
    }
    default:
        break;
    }
    return pixmap;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QRect &rect,
                  const QString &style = QString())
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    label->setStyleSheet(style.isEmpty() ? QStringLiteral("background: transparent; border: 0;")
                                         : style);
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QRect &rect, const QString &style)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(style);
    return button;
}

// Setting a style sheet re-polishes the widget and everything in it and repaints the window,
// even when the text is the one it already has; a state change that keeps a style skips that.
void restyleIfChanged(QWidget *widget, const QString &sheet)
{
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

} // namespace

MainForm::MainForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    resize(411, 914);
    buildForm();
    createManagers();
    vpnManager->setFiguresShown(false);
    createConnectionController();
    connect(vpnManager, &VpnManager::killSwitchFaultChanged, this, [this] {
        showKillSwitchFault();
        tellKillSwitchFault();
    });
    connection->setKillSwitchEnabled(AppSettings::switchState(AppSettings::KillSwitch));
    setKillSwitchIcon();
    menuBlur = new QGraphicsBlurEffect(this);
    menuBlur->setBlurRadius(5);
    menuBlur->setEnabled(false);
    frameBackgroundGradient->setGraphicsEffect(menuBlur);
    increaseMaskTimer = new QTimer(this);
    decreaseMaskTimer = new QTimer(this);
    connect(increaseMaskTimer, &QTimer::timeout, this, &MainForm::increaseConnectionMaskOpacity);
    connect(decreaseMaskTimer, &QTimer::timeout, this, &MainForm::decreaseConnectionMaskOpacity);
    showConnectionState(connection->state());
}

void MainForm::buildForm()
{
    frameBackgroundGradient = new QFrame(this);
    frameBackgroundGradient->setObjectName(QStringLiteral("frameBackgroundGradient"));
    frameBackgroundGradient->setGeometry(0, 0, 411, 914);
    frameBackgroundGradientConnected = new QFrame(this);
    frameBackgroundGradientConnected->setObjectName(
        QStringLiteral("frameBackgroundGradientConnected"));
    frameBackgroundGradientConnected->setGeometry(0, 0, 411, 914);
    frameBackgroundGradientConnected->setAttribute(Qt::WA_TransparentForMouseEvents);
    frameConnectionStatus = new QFrame(this);
    frameConnectionStatus->setObjectName(QStringLiteral("frameConnectionStatus"));
    frameConnectionStatus->setGeometry(0, 0, 411, 806);
    frameConnectionStatus->setStyleSheet(
        QStringLiteral("#frameConnectionStatus { background: transparent; border: 0; }"));

    auto *menuButton = makeButton(frameConnectionStatus, "pushButtonMenu", QRect(20, 36, 40, 40),
                                  transparentButton);
    menuButton->setIcon(QIcon(QStringLiteral(":/images/buttons/profile.png")));
    menuButton->setIconSize(QSize(26, 26));
    connect(menuButton, &QPushButton::clicked, this, &MainForm::on_pushButtonMenu_clicked);
    auto *logo = makeLabel(frameConnectionStatus, "labelAppLogo", QRect(130, 36, 151, 40));
    logo->setPixmap(
        ScreenPixmap::fromResource(QStringLiteral(":/images/appIcon.png"), logo->size()));
    logo->setAlignment(Qt::AlignCenter);
    Accessibility::hide(logo);

    buildStatusArea();
    buildRateCards();
    buildKillSwitchRow();
    buildCards();
    buildMenu();
    buildNavigation();
}

void MainForm::buildStatusArea()
{
    labelStatusPill = makeLabel(frameConnectionStatus, "labelStatusPill", QRect(160, 88, 92, 30));
    labelStatusPillIcon =
        makeLabel(frameConnectionStatus, "labelStatusPillIcon", QRect(0, 96, 13, 13));
    labelStatusPillText =
        makeLabel(frameConnectionStatus, "labelStatusPillText", QRect(0, 88, 60, 30));
    labelStatusPillText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont pillFont = labelStatusPillText->font();
    pillFont.setPixelSize(12);
    pillFont.setWeight(QFont::Medium);
    labelStatusPillText->setFont(pillFont);
    labelStatusPillText->setText(QStringLiteral("Connection not secure"));

    widgetConnectionAnimation = new ConnectionAnimation(frameConnectionStatus);
    widgetConnectionAnimation->setObjectName(QStringLiteral("widgetConnectionAnimation"));
    widgetConnectionAnimation->setGeometry(82, 124, 246, 246);
    pushButtonChangeConnectionState =
        makeButton(frameConnectionStatus, "pushButtonChangeConnectionState",
                   QRect(82, 124, 246, 246), transparentButton);
    connect(pushButtonChangeConnectionState, &QPushButton::clicked, this,
            &MainForm::on_pushButtonChangeConnectionState_clicked);
    // The connect button answers Ctrl+Return from anywhere on the home page.
    auto *connectShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    connect(connectShortcut, &QShortcut::activated, this,
            [this] { pushButtonChangeConnectionState->animateClick(); });
    // Ctrl+F opens the servers page at its search box.
    auto *findShortcut = new QShortcut(QKeySequence::Find, this);
    connect(findShortcut, &QShortcut::activated, this, [this] {
        on_pushButtonExploreLocations_clicked();
        serversPage()->focusSearch();
    });
    Accessibility::hide(widgetConnectionAnimation);
    Accessibility::hide(labelStatusPillIcon);

    pushButtonInfoState = makeButton(frameConnectionStatus, "pushButtonInfoState",
                                     QRect(80, 372, 251, 22), transparentButton);
    // The state in words: read, never pressed.
    pushButtonInfoState->setFocusPolicy(Qt::NoFocus);
    labelConnectionTime =
        makeLabel(frameConnectionStatus, "labelConnectionTime", QRect(80, 394, 251, 24),
                  QStringLiteral("background: transparent; border: 0; color: %1; font-size: 18px;")
                      .arg(QLatin1String(Theme::primaryText)));
    labelConnectionTime->setAlignment(Qt::AlignCenter);
    labelServerName =
        makeLabel(frameConnectionStatus, "labelServerName", QRect(24, 418, 363, 22),
                  QStringLiteral("background: transparent; border: 0; color: %1; font-size: 14px;")
                      .arg(QLatin1String(Theme::secondaryText)));
    labelServerName->setAlignment(Qt::AlignCenter);
    // In the place of the connection time, which only a connected tunnel shows.
    labelTunnelProblem = makeLabel(
        frameConnectionStatus, "labelTunnelProblem", QRect(24, 394, 363, 24),
        QStringLiteral("background: transparent; border: 0; color: #B71C1C; font-size: 11px;"));
    labelTunnelProblem->setAlignment(Qt::AlignCenter);
    labelTunnelProblem->setWordWrap(true);
    labelTunnelProblem->hide();
}

void MainForm::buildRateCards()
{
    const QString cardStyle =
        QStringLiteral("background: white; border: 1px solid rgba(0,0,0,34); border-radius: 18px;");
    struct Card {
        int x;
        const char *icon;
        const char *title;
        const char *value;
        int kind;
    };
    const Card rateCards[] = {
        {24, "labelDownloadIcon", "labelDownloadTitle", "labelDownloadSpeed", DownloadIcon},
        {213, "labelUploadIcon", "labelUploadTitle", "labelUploadSpeed", UploadIcon}};
    for (const Card &card : rateCards) {
        auto *frame = new QFrame(frameConnectionStatus);
        frame->setGeometry(card.x, 446, 174, 54);
        frame->setStyleSheet(cardStyle);
        QLabel *icon = makeLabel(frame, card.icon, QRect(14, 20, 14, 14));
        icon->setPixmap(homeIcon(card.kind, accent, 14));
        QLabel *title = makeLabel(
            frame, card.title, QRect(36, 8, 130, 16),
            QStringLiteral("background: transparent; border: 0; color: %1; font-size: 10px;")
                .arg(QLatin1String(Theme::secondaryText)));
        QLabel *value = makeLabel(
            frame, card.value, QRect(36, 24, 130, 22),
            QStringLiteral("background: transparent; border: 0; color: %1; font-size: 15px;")
                .arg(QLatin1String(Theme::primaryText)));
        if (card.kind == DownloadIcon) {
            labelDownloadIcon = icon;
            labelDownloadTitle = title;
            labelDownloadSpeed = value;
        } else {
            labelUploadIcon = icon;
            labelUploadTitle = title;
            labelUploadSpeed = value;
        }
    }
    labelSpeed = makeLabel(frameConnectionStatus, "labelSpeed", QRect(24, 446, 363, 54));
    labelWhiteLogo = makeLabel(frameConnectionStatus, "labelWhiteLogo", QRect(24, 446, 363, 54));
    labelWhiteLogo->setPixmap(
        ScreenPixmap::fromResource(QStringLiteral(":/images/whiteLogo.png"), QSize(363, 40)));
}

void MainForm::buildKillSwitchRow()
{
    auto *frame = new QFrame(frameConnectionStatus);
    frame->setObjectName(QStringLiteral("frameKillSwitch"));
    frame->setGeometry(24, 506, 363, 48);
    frame->setStyleSheet(QStringLiteral("#frameKillSwitch { background: white; border: 1px solid "
                                        "rgba(0,0,0,34); border-radius: 24px; }"));
    QLabel *icon = makeLabel(frame, "labelKillSwitchIcon", QRect(14, 12, 24, 24));
    icon->setPixmap(homeIcon(ShieldIcon, accent, 24));
    labelKillSwitchText = makeLabel(frame, "labelKillSwitchText", QRect(48, 6, 240, 20));
    labelKillSwitchText->setText(QStringLiteral("Internet Kill Switch"));
    fitKillSwitchText();
    labelKillSwitchCaption =
        makeLabel(frame, "labelKillSwitchCaption", QRect(48, 26, 240, 16),
                  QStringLiteral("background: transparent; border: 0; color: %1; font-size: 10px;")
                      .arg(QLatin1String(Theme::secondaryText)));
    pushButtonKillSwitch =
        makeButton(frame, "pushButtonKillSwitch", QRect(303, 12, 44, 24), transparentButton);
    pushButtonKillSwitch->setIconSize(QSize(40, 23));
    Accessibility::makeSwitch(pushButtonKillSwitch);
    Accessibility::hide(icon);
    connect(pushButtonKillSwitch, &QPushButton::clicked, this,
            &MainForm::on_pushButtonKillSwitch_clicked);
}

void MainForm::fitKillSwitchText()
{
    CaptionFit::fitTextSize(labelKillSwitchText,
                            QStringLiteral("background: transparent; border: 0; color: %1;")
                                .arg(QLatin1String(Theme::primaryText)),
                            {"14px", "13px", "12px"});
}

void MainForm::buildCards()
{
    labelRecomendedLocaions =
        makeLabel(frameConnectionStatus, "labelRecomendedLocaions", QRect(28, 558, 355, 16),
                  QStringLiteral("background: transparent; border: 0; color: %1; font-size: 11px;")
                      .arg(QLatin1String(Theme::accentText)));
    for (int index = 0; index < 3; ++index) {
        cards[index] = new RecomendedServerItem(frameConnectionStatus);
        cards[index]->setObjectName(QStringLiteral("widgetRecomendedLocation_%1").arg(index + 1));
        cards[index]->move(24, 578 + 75 * index);
        cards[index]->hide();
        connect(cards[index], &RecomendedServerItem::setCurrent, this,
                [this](int id, bool) { setCurrentServer(id); });
        connect(cards[index], &RecomendedServerItem::favoriteToggled, this,
                &MainForm::onRecommendedFavoriteToggled);
    }
}

void MainForm::buildMenu()
{
    pushButtonGoToStatus =
        makeButton(this, "pushButtonGoToStatus", QRect(411, 0, 411, 914), transparentButton);
    connect(pushButtonGoToStatus, &QPushButton::clicked, this,
            &MainForm::on_pushButtonGoToStatus_clicked);
    Accessibility::hide(pushButtonGoToStatus);
    frameMenu = new QFrame(this);
    frameMenu->setObjectName(QStringLiteral("frameMenu"));
    frameMenu->setGeometry(411, 0, 371, 914);
    frameMenu->setStyleSheet(QStringLiteral("#frameMenu { background: white; border: 0; }"));
    const QString entry =
        QStringLiteral(
            "text-align: left; border: 0; background: transparent; color: %1; font-size: 15px;")
            .arg(QLatin1String(Theme::primaryText));
    auto *close = makeButton(frameMenu, "pushButtonCloseMenu", QRect(315, 30, 40, 40), entry);
    pushButtonCloseMenu = close;
    close->setText(QStringLiteral("✕"));
    connect(close, &QPushButton::clicked, this, &MainForm::on_pushButtonCloseMenu_clicked);
    makeLabel(frameMenu, "labelAppName", QRect(24, 110, 300, 30))
        ->setText(QStringLiteral("Corvane"));
    makeLabel(frameMenu, "labelAppTitle", QRect(24, 140, 300, 20))->hide();
    makeLabel(frameMenu, "labelAppVersion", QRect(24, 860, 300, 20))
        ->setText(QStringLiteral("Version 1.0.0"));
    pushButtonSettings =
        makeButton(frameMenu, "pushButtonSettings", QRect(24, 200, 300, 44), entry);
    pushButtonTerms = makeButton(frameMenu, "pushButtonTerms", QRect(24, 250, 300, 44), entry);
    pushButtonPrivacy = makeButton(frameMenu, "pushButtonPrivacy", QRect(24, 300, 300, 44), entry);
    pushButtonSupport = makeButton(frameMenu, "pushButtonSupport", QRect(24, 350, 300, 44), entry);
    pushButtonLogOut = makeButton(frameMenu, "pushButtonLogOut", QRect(24, 400, 300, 44), entry);
    connect(pushButtonSettings, &QPushButton::clicked, this,
            &MainForm::on_pushButtonSettings_clicked);
    connect(pushButtonTerms, &QPushButton::clicked, this, &MainForm::on_pushButtonTerms_clicked);
    connect(pushButtonPrivacy, &QPushButton::clicked, this,
            &MainForm::on_pushButtonPrivacy_clicked);
    connect(pushButtonSupport, &QPushButton::clicked, this,
            &MainForm::on_pushButtonSupport_clicked);
    connect(pushButtonLogOut, &QPushButton::clicked, this, &MainForm::on_pushButtonLogOut_clicked);
    // Closed until opened (showMenu).
    pushButtonGoToStatus->hide();
    frameMenu->hide();
}

void MainForm::buildNavigation()
{
    NavigationBar::build(this, NavigationBar::Home);
    auto *servers = makeButton(this, "pushButtonExploreLocations",
                               NavigationBar::itemArea(NavigationBar::Servers), transparentButton);
    auto *account = makeButton(this, "pushButtonAccountNav",
                               NavigationBar::itemArea(NavigationBar::Account), transparentButton);
    auto *settings =
        makeButton(this, "pushButtonSettingsNav", NavigationBar::itemArea(NavigationBar::Settings),
                   transparentButton);
    connect(servers, &QPushButton::clicked, this, &MainForm::on_pushButtonExploreLocations_clicked);
    connect(account, &QPushButton::clicked, this, &MainForm::on_pushButtonAccountNav_clicked);
    connect(settings, &QPushButton::clicked, this, &MainForm::on_pushButtonSettingsNav_clicked);
}

// The servers, settings and account pages are built when first opened, not at start-up.
ServersWindow *MainForm::serversPage()
{
    if (serversWindow)
        return serversWindow;
    serversWindow = new ServersWindow(this);
    serversWindow->hide();
    returnFocusWhenClosed(serversWindow);
    if (languageManager)
        serversWindow->setLanguageManager(languageManager);
    if (serverModel)
        serversWindow->setModel(serverModel);
    connect(serversWindow, &ServersWindow::currentServerChosed, this, &MainForm::chooseServer);
    connect(serversWindow, &ServersWindow::requestUpdateFavoriteServers, this,
            &MainForm::favoritesServersChanged);
    connect(serversWindow, &ServersWindow::requestOpenAccount, this,
            [this] { switchWindow(serversWindow, accountPage()); });
    connect(serversWindow, &ServersWindow::requestOpenSettings, this,
            [this] { switchWindow(serversWindow, settingsPage()); });
    return serversWindow;
}

SettingsWindow *MainForm::settingsPage()
{
    if (settingsWindow)
        return settingsWindow;
    settingsWindow = new SettingsWindow(this);
    settingsWindow->hide();
    returnFocusWhenClosed(settingsWindow);
    settingsWindow->loadSettings();
    if (languageManager)
        settingsWindow->setLanguageManager(languageManager);
    connect(settingsWindow, &SettingsWindow::requestOpenServers, this,
            [this] { switchWindow(settingsWindow, serversPage()); });
    connect(settingsWindow, &SettingsWindow::requestOpenAccount, this,
            [this] { switchWindow(settingsWindow, accountPage()); });
    connect(settingsWindow, &SettingsWindow::changeTrayIconState, this,
            &MainForm::changeTrayIconState);
    connect(settingsWindow, &SettingsWindow::logOut, this, &MainForm::logOut);
    connect(settingsWindow, &SettingsWindow::killSwitchChanged, this, [this](bool enabled) {
        connection->setKillSwitchEnabled(enabled);
        setKillSwitchIcon();
    });
    return settingsWindow;
}

AccountWindow *MainForm::accountPage()
{
    if (accountWindow)
        return accountWindow;
    accountWindow = new AccountWindow(this);
    accountWindow->hide();
    returnFocusWhenClosed(accountWindow);
    if (languageManager)
        accountWindow->setLanguageManager(languageManager);
    connect(accountWindow, &AccountWindow::requestOpenServers, this,
            [this] { switchWindow(accountWindow, serversPage()); });
    connect(accountWindow, &AccountWindow::requestOpenSettings, this,
            [this] { switchWindow(accountWindow, settingsPage()); });
    return accountWindow;
}

void MainForm::switchWindow(QWidget *from, QWidget *to)
{
    from->hide();
    openWindow(to);
}

void MainForm::hideWindows()
{
    for (QWidget *window :
         {static_cast<QWidget *>(serversWindow), static_cast<QWidget *>(settingsWindow),
          static_cast<QWidget *>(accountWindow)}) {
        if (window)
            window->hide();
    }
}

void MainForm::createManagers()
{
    pingManager = new PingManager(this);
    vpnManager = new VpnManager(this);
    vpnManager->setServiceUrls({Deployment::accountApiUrl(), Deployment::vpnApiUrl()});
    connect(this, &MainForm::requestPings, pingManager, &PingManager::requestPings);
    connect(pingManager, &PingManager::pingsReceived, this, &MainForm::setServerPings);
    connect(this, &MainForm::changeConnectionState, vpnManager, &VpnManager::changeConnectionState);
    connect(vpnManager, &VpnManager::updateDownloadSpeed, this, &MainForm::updateDownloadSpeed);
    connect(vpnManager, &VpnManager::updateUploadSpeed, this, &MainForm::updateUploadSpeed);
    connect(vpnManager, &VpnManager::connectionTimeUpdated, this, &MainForm::updateConnectionTime);
}

// The clock ticks only while the page shows it.
void MainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    vpnManager->setFiguresShown(true);
}

void MainForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    vpnManager->setFiguresShown(false);
}

void MainForm::setNetworkManager(NetworkManager *manager)
{
    connect(this, &MainForm::requestVpnConnect, manager, &NetworkManager::requestVpnConnect);
    connect(this, &MainForm::requestVpnDisconnect, manager, &NetworkManager::requestVpnDisconnect);
    connect(this, &MainForm::requestUpdateServersFavoriteStates, manager,
            &NetworkManager::requestUpdateServersFavoriteStates);
    connect(manager, &NetworkManager::vpnConfigReceived, this, &MainForm::setCurrentServerConfig);
    connect(manager, &NetworkManager::vpnConfigFailed, this, &MainForm::onVpnConfigFailed);
    connect(manager, &NetworkManager::vpnDisconnectFinished, this,
            &MainForm::vpnDisconnectNoticeAnswered);
}

void MainForm::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
    connect(manager, &LanguageManager::translate, this, &MainForm::translate);
    for (RecomendedServerItem *card : cards)
        card->setLanguageManager(manager);
    if (serversWindow)
        serversWindow->setLanguageManager(manager);
    if (settingsWindow)
        settingsWindow->setLanguageManager(manager);
    if (accountWindow)
        accountWindow->setLanguageManager(manager);
    translate();
    // A block that failed while the page was being built is told now, in the member's language.
    tellKillSwitchFault();
}

void MainForm::tellKillSwitchFault()
{
    const QString reason = killSwitchFaultText();
    if (languageManager && !reason.isEmpty())
        emit killSwitchNotInForce(reason);
}

QString MainForm::text(const char *key) const
{
    return languageManager ? languageManager->text(QLatin1String(key)) : QString();
}

void MainForm::resetView()
{
    showMenu(false);
    hideWindows();
    raise();
}

void MainForm::openWindow(QWidget *window)
{
    window->setGeometry(QRect(QPoint(0, 0), size()));
    window->show();
    window->raise();
    FocusScope::focusFirst(window);
}

void MainForm::returnFocusWhenClosed(NavigablePage *page)
{
    // A page closed by its keys, Escape or a choice gives the keyboard back to the home page's
    // main control, not to whatever lay beneath the page; a page opened next takes it on.
    connect(page, &NavigablePage::hidden, this, [this] {
        if (isVisible())
            pushButtonChangeConnectionState->setFocus(Qt::OtherFocusReason);
    });
}

void MainForm::showMenu(bool open)
{
    menuBlur->setEnabled(open);
    pushButtonGoToStatus->move(open ? 0 : 411, 0);
    frameMenu->move(open ? 40 : 411, 0);
    // Closed, the menu lies beside the window: out of reach of Tab and of screen readers too.
    pushButtonGoToStatus->setVisible(open);
    frameMenu->setVisible(open);
}

QString MainForm::rateText(quint64 bytes, qint64 intervalMs)
{
    if (intervalMs <= 0)
        return QStringLiteral("0 Mbps");
    const double megabits = double(bytes) * 8 / 1000 / double(intervalMs);
    if (megabits >= 100)
        return QStringLiteral("%1 Mbps").arg(megabits, 0, 'f', 0);
    if (megabits >= 10)
        return QStringLiteral("%1 Mbps").arg(megabits, 0, 'f', 1);
    if (megabits >= 0.01)
        return QStringLiteral("%1 Mbps").arg(megabits, 0, 'f', 2);
    return QStringLiteral("0 Mbps");
}

QString MainForm::connectionTimeText(int totalSeconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(totalSeconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(totalSeconds % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(totalSeconds % 60, 2, 10, QLatin1Char('0'));
}

void MainForm::updateDownloadSpeed(quint64 bytesPerSec)
{
    labelDownloadSpeed->setText(rateText(bytesPerSec, vpnManager->transferIntervalMs()));
}

void MainForm::updateUploadSpeed(quint64 bytesPerSec)
{
    labelUploadSpeed->setText(rateText(bytesPerSec, vpnManager->transferIntervalMs()));
}

void MainForm::updateConnectionTime(int totalSeconds)
{
    labelConnectionTime->setText(connectionTimeText(totalSeconds));
}

void MainForm::layoutPill()
{
    const int textWidth =
        QFontMetrics(labelStatusPillText->font()).horizontalAdvance(labelStatusPillText->text());
    const int width = qBound(92, textWidth + 46, 210);
    const int left = (411 - width) / 2;
    labelStatusPill->setGeometry(left, 88, width, 30);
    const int iconLeft = left + (width - (textWidth + 18)) / 2;
    labelStatusPillIcon->setGeometry(iconLeft, 96, 13, 13);
    labelStatusPillText->setGeometry(iconLeft + 18, 88, textWidth + 2, 30);
}

void MainForm::setPill(const char *key, const QString &textStyle, const QString &pillStyle,
                       int icon, const QColor &iconColor)
{
    labelStatusPillText->setText(text(key));
    restyleIfChanged(labelStatusPillText, textStyle);
    restyleIfChanged(labelStatusPill, pillStyle);
    labelStatusPillIcon->setPixmap(homeIcon(icon, iconColor, 13));
    layoutPill();
}

void MainForm::setVpnConnectionState(int state)
{
    connection->showState(ConnectionController::State(state));
}

void MainForm::showConnectionState(ConnectionController::State state)
{
    pushButtonInfoState->setText(text("status.disconnected"));
    pushButtonInfoState->setIcon(QIcon());
    restyleIfChanged(
        pushButtonInfoState,
        QStringLiteral(
            "background: transparent; border: 0; color: %1; font-weight: 500; font-size: 11px;")
            .arg(accent.darker(125).name()));
    labelSpeed->hide();
    labelWhiteLogo->hide();
    for (QWidget *widget :
         {static_cast<QWidget *>(labelDownloadSpeed), static_cast<QWidget *>(labelUploadSpeed),
          static_cast<QWidget *>(labelDownloadIcon), static_cast<QWidget *>(labelUploadIcon)})
        widget->show();
    labelDownloadSpeed->setText(QStringLiteral("—"));
    labelUploadSpeed->setText(QStringLiteral("—"));
    labelConnectionTime->hide();
    showTunnelProblem();
    for (QWidget *widget :
         {static_cast<QWidget *>(labelStatusPill), static_cast<QWidget *>(labelStatusPillIcon),
          static_cast<QWidget *>(labelStatusPillText)})
        widget->show();
    pushButtonChangeConnectionState->setEnabled(true);
    widgetConnectionAnimation->setState(int(state));
    restyleIfChanged(
        frameBackgroundGradient,
        QStringLiteral("background-color: qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, "
                       "stop:0 #FFFFFF, stop:0.42 #F7FAFD, "
                       "stop:0.72 #F1F6FB, stop:1 #FFFFFF);"));
    emit connectionStateChanged(int(state));
    increaseMaskTimer->stop();
    decreaseMaskTimer->stop();
    restyleIfChanged(frameBackgroundGradientConnected,
                     QStringLiteral("background-color: rgba(0,0,0,0);"));

    showStatePill();
    nameConnectButton();
    switch (state) {
    case State::Connected:
        pushButtonInfoState->setText(text("status.connected"));
        pushButtonInfoState->setIcon(QIcon(QStringLiteral(":/images/buttons/connectedState.png")));
        labelConnectionTime->setText(QStringLiteral("00:00:00"));
        labelConnectionTime->show();
        maskAlpha = 0;
        break;
    case State::Connecting:
    case State::Disconnecting:
        pushButtonChangeConnectionState->setEnabled(false);
        break;
    case State::Disconnected:
    case State::Error:
        maskAlpha = 0;
        break;
    }
}

// The pill says the shown state, or the link's condition where it says more (no network, a
// server that stopped answering).
void MainForm::showStatePill()
{
    switch (linkCondition()) {
    case ConnectionState::LinkCondition::Unstable:
        setWarningPill("status.unstable", QColor(QStringLiteral("#8A5300")),
                       QColor(QStringLiteral("#FFE9C2")));
        return;
    case ConnectionState::LinkCondition::NoNetwork:
        setWarningPill("status.nonetwork", QColor(QStringLiteral("#4A5563")),
                       QColor(QStringLiteral("#E6EAF0")));
        return;
    case ConnectionState::LinkCondition::Normal:
        break;
    }
    switch (connection->state()) {
    case State::Connected:
        setPill("status.protected", QString::fromLatin1(whiteText),
                QString::fromLatin1(pillStyleTemplate).arg(accent.darker(115).name()), ShieldIcon,
                Qt::white);
        break;
    case State::Disconnected:
        setPill("status.notsecure",
                QStringLiteral("background: transparent; border: 0; color: #B00020;"),
                QStringLiteral("background-color: #FFE5E5; color: #B00020; border: 1px solid "
                               "#FFB3B3; border-radius: "
                               "15px; padding: 5px 14px; font-weight: 500; font-size: 12px;"),
                WarningIcon, QColor(QStringLiteral("#B00020")));
        break;
    case State::Connecting:
    case State::Disconnecting:
        setPill(connection->state() == State::Connecting ? "status.connecting"
                                                         : "status.disconnecting",
                QString::fromLatin1(whiteText),
                QString::fromLatin1(pillStyleTemplate).arg(accent.darker(115).name()), ShieldIcon,
                Qt::white);
        break;
    case State::Error:
        setWarningPill("status.error", QColor(QStringLiteral("#B71C1C")),
                       QColor(QStringLiteral("#FFCDD2")));
        break;
    }
}

void MainForm::setWarningPill(const char *key, const QColor &foreground, const QColor &background)
{
    setPill(key,
            QStringLiteral("background: transparent; border: 0; color: %1;").arg(foreground.name()),
            QStringLiteral("background-color: %1; color: %2; border-radius: 15px; padding: 5px "
                           "14px; font-weight: 500; font-size: 12px;")
                .arg(background.name(), foreground.name()),
            WarningIcon, foreground);
}

void MainForm::increaseConnectionMaskOpacity()
{
    const QString alpha = QStringLiteral("%1").arg(maskAlpha, 2, 16, QLatin1Char('0')).toUpper();
    frameBackgroundGradientConnected->setStyleSheet(
        QStringLiteral("background-color: qradialgradient(spread:pad, cx:0.5, cy:0.5, radius:0.6, "
                       "fx:0.5, fy:0.5, "
                       "stop:0 #%1159452,  stop:0.10 #%1159452, stop:0.8 #%189D4AC);")
            .arg(alpha));
    if (maskAlpha >= 255) {
        maskAlpha = 0;
        increaseMaskTimer->stop();
        return;
    }
    maskAlpha += 17;
}

void MainForm::decreaseConnectionMaskOpacity()
{
    const QString alpha = QStringLiteral("%1").arg(maskAlpha, 2, 16, QLatin1Char('0')).toUpper();
    frameBackgroundGradientConnected->setStyleSheet(
        QStringLiteral("background-color: qradialgradient(spread:pad, cx:0.5, cy:0.5, radius:0.6, "
                       "fx:0.5, fy:0.5, "
                       "stop:0 #%1199884,  stop:0.10 #%1199884, stop:0.8 #%18fe6c7);")
            .arg(alpha));
    if (maskAlpha <= 0) {
        maskAlpha = 255;
        decreaseMaskTimer->stop();
        return;
    }
    maskAlpha -= 17;
}

void MainForm::stopLatencyRefresh()
{
    connection->stopLatencyRefresh();
}

void MainForm::setLatencyRefreshInterval(int milliseconds)
{
    connection->setLatencyRefreshInterval(milliseconds);
}

void MainForm::showTunnelProblem()
{
    const bool error = connection->state() == State::Error;
    // A helper that is missing or refused is the cause; a removal that failed otherwise says so.
    switch (error ? vpnManager->lastProblem() : TunnelTools::Problem::None) {
    case TunnelTools::Problem::None:
        if (!error || !vpnManager->removalFailed()) {
            labelTunnelProblem->hide();
            return;
        }
        labelTunnelProblem->setText(text("error.removalFailed"));
        break;
    case TunnelTools::Problem::HelperMissing:
        labelTunnelProblem->setText(text("error.helperMissing"));
        break;
    case TunnelTools::Problem::PermissionRefused:
        labelTunnelProblem->setText(text("error.helperRefused"));
        break;
    }
    labelTunnelProblem->show();
}

QString MainForm::killSwitchFaultText() const
{
    switch (vpnManager->killSwitchFault()) {
    case VpnManager::KillSwitchFault::None:
        break;
    case VpnManager::KillSwitchFault::HelperMissing:
        return text("killswitch.notInForce.helperMissing");
    case VpnManager::KillSwitchFault::PermissionRefused:
        return text("killswitch.notInForce.refused");
    case VpnManager::KillSwitchFault::FirewallRefused:
        return text("killswitch.notInForce.firewall");
    }
    return QString();
}

void MainForm::showKillSwitchFault()
{
    const QString fault = killSwitchFaultText();
    pushButtonKillSwitch->setAccessibleDescription(fault.isEmpty() ? text("home.killswitch.caption")
                                                                   : fault);
    if (fault.isEmpty()) {
        labelKillSwitchCaption->setText(text("home.killswitch.caption").toUpper());
        restyleIfChanged(
            labelKillSwitchCaption,
            QStringLiteral("background: transparent; border: 0; color: %1; font-size: 10px;")
                .arg(QLatin1String(Theme::secondaryText)));
        return;
    }
    labelKillSwitchCaption->setText(fault);
    restyleIfChanged(labelKillSwitchCaption,
                     QStringLiteral("background: transparent; border: 0; color: #B00020; "
                                    "font-size: 10px; font-weight: 500;"));
}

void MainForm::setKillSwitchIcon()
{
    const bool enabled = connection->isKillSwitchEnabled();
    pushButtonKillSwitch->setChecked(enabled);
    pushButtonKillSwitch->setIcon(
        QIcon(QStringLiteral(":/images/buttons/toggle%1.png")
                  .arg(enabled ? QStringLiteral("On") : QStringLiteral("Off"))));
}

void MainForm::on_pushButtonKillSwitch_clicked()
{
    const bool enabled = !connection->isKillSwitchEnabled();
    connection->setKillSwitchEnabled(enabled);
    setKillSwitchIcon();
    AppSettings::setSwitchState(AppSettings::KillSwitch, enabled);
}

void MainForm::beginServiceRequest()
{
    vpnManager->beginServiceRequest();
}

void MainForm::endServiceRequest()
{
    vpnManager->endServiceRequest();
}

void MainForm::trayIconStateChanged(bool isEnabled)
{
    emit changeTrayIconState(isEnabled);
}

void MainForm::on_pushButtonMenu_clicked()
{
    openWindow(settingsPage());
}

void MainForm::on_pushButtonSettings_clicked()
{
    openWindow(settingsPage());
}

void MainForm::on_pushButtonSettingsNav_clicked()
{
    openWindow(settingsPage());
}

void MainForm::on_pushButtonAccountNav_clicked()
{
    openWindow(accountPage());
}

void MainForm::on_pushButtonExploreLocations_clicked()
{
    openWindow(serversPage());
}

void MainForm::on_pushButtonGoToStatus_clicked()
{
    showMenu(false);
}

void MainForm::on_pushButtonCloseMenu_clicked()
{
    showMenu(false);
}

void MainForm::on_pushButtonTerms_clicked()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("https://%1/terms.html").arg(Deployment::brandDomain()),
             QUrl::TolerantMode));
}

void MainForm::on_pushButtonPrivacy_clicked()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("https://%1/privacy.html").arg(Deployment::brandDomain()),
             QUrl::TolerantMode));
}

void MainForm::on_pushButtonSupport_clicked()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("https://support.%1/en-us").arg(Deployment::brandDomain()),
             QUrl::TolerantMode));
}

// What the connect button does now, for a screen reader: its picture says it to the eye.
void MainForm::nameConnectButton()
{
    switch (connection->state()) {
    case State::Connected:
        pushButtonChangeConnectionState->setAccessibleName(text("action.disconnect"));
        break;
    case State::Connecting:
        pushButtonChangeConnectionState->setAccessibleName(text("status.connecting"));
        break;
    case State::Disconnecting:
        pushButtonChangeConnectionState->setAccessibleName(text("status.disconnecting"));
        break;
    case State::Disconnected:
    case State::Error:
        pushButtonChangeConnectionState->setAccessibleName(text("action.connect"));
        break;
    }
}

void MainForm::translate()
{
    nameConnectButton();
    findChild<QPushButton *>(QStringLiteral("pushButtonMenu"))
        ->setAccessibleName(text("nav.settings"));
    pushButtonCloseMenu->setAccessibleName(textWithFallback(
        languageManager, QStringLiteral("a11y.closeMenu"), QStringLiteral("Close menu")));
    findChild<QPushButton *>(QStringLiteral("pushButtonExploreLocations"))
        ->setAccessibleName(text("nav.servers"));
    findChild<QPushButton *>(QStringLiteral("pushButtonAccountNav"))
        ->setAccessibleName(text("nav.account"));
    findChild<QPushButton *>(QStringLiteral("pushButtonSettingsNav"))
        ->setAccessibleName(text("nav.settings"));
    pushButtonKillSwitch->setAccessibleName(text("settings.killSwitch"));
    labelRecomendedLocaions->setText(text("nav.recommendedlocations"));
    widgetConnectionAnimation->setTexts(text("action.disconnect"), text("home.connecting"),
                                        text("status.disconnected"));
    labelDownloadTitle->setText(text("stats.download").toUpper());
    labelUploadTitle->setText(text("stats.upload").toUpper());
    showKillSwitchFault();
    const bool connected = connection->state() == State::Connected;
    pushButtonInfoState->setText(text(connected ? "status.connected" : "status.disconnected"));
    // A warning about the link stays what the pill says, in the new language.
    if (linkCondition() != ConnectionState::LinkCondition::Normal) {
        showStatePill();
    } else {
        labelStatusPillText->setText(text(connected ? "status.protected" : "status.notsecure"));
        labelStatusPillText->setStyleSheet(
            connected ? QString::fromLatin1(whiteText)
                      : QStringLiteral("background: transparent; border: 0; color: #B00020;"));
        layoutPill();
    }
    NavigationBar::translate(this, languageManager);
    pushButtonSettings->setText(text("nav.settings"));
    pushButtonTerms->setText(text("about.terms"));
    pushButtonPrivacy->setText(text("about.privacy"));
    pushButtonSupport->setText(text("about.support"));
    pushButtonLogOut->setText(text("settings.logout"));
    labelKillSwitchText->setText(text("settings.killSwitch"));
    fitKillSwitchText();
    showTunnelProblem();
}
