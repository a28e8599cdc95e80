#include "app/MainWindow.h"

#include "i18n/LanguageManager.h"
#include "network/NetworkManager.h"
#include "storage/AppSettings.h"
#include "types/LogCategories.h"
#include "ui/LoadingForm.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"
#include "ui/MessageForm.h"
#include "widgets/Accessibility.h"
#include "widgets/EnterPressesButtons.h"
#include "widgets/FocusRing.h"
#include "widgets/IconPainter.h"
#include "widgets/PageWarmer.h"

#include <QApplication>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QIcon>
#include <QPainterPath>
#include <QPushButton>
#include <QRegion>
#include <QStackedWidget>

namespace {

void addPage(QStackedWidget *stack, const QString &name, QWidget *content)
{
    auto *page = new QWidget(stack);
    page->setObjectName(name);
    // The page's own background only: unscoped, it would give every label on it a white box.
    page->setStyleSheet(QStringLiteral("#%1 { background-color: rgb(255, 255, 255); }").arg(name));
    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    stack->addWidget(page);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    qRegisterMetaType<AppStyleUtil::ApplicationForm::Form>("AppStyleUtil::ApplicationForm::Form");
    Accessibility::install();
    new FocusRing(this);
    new EnterPressesButtons(this);
    buildInterface();
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    setFixedSize(windowWidth, windowHeight);
    applyWindowShape();
    addWindowControls();
    setWindowTitle(QStringLiteral("Corvane"));
    connectForms();
    createTray();
    createServiceClient();
    createSignIn();

    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::shutDown);
    qApp->installEventFilter(this);
    signIn->start();
}

void MainWindow::buildInterface()
{
    setFixedSize(windowWidth, windowHeight);
    setWindowIcon(QIcon(QStringLiteral(":/images/windowIcon.png")));

    auto *centralwidget = new QWidget(this);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    auto *gridLayout = new QGridLayout(centralwidget);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setContentsMargins(0, 0, 0, 0);
    stackedWidget = new QStackedWidget(centralwidget);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    gridLayout->addWidget(stackedWidget);
    setCentralWidget(centralwidget);

    widgetLoading = new LoadingForm;
    widgetLoading->setObjectName(QStringLiteral("widgetLoading"));
    widgetMessage = new MessageForm;
    widgetMessage->setObjectName(QStringLiteral("widgetMessage"));
    widgetLogin = new LoginForm;
    widgetLogin->setObjectName(QStringLiteral("widgetLogin"));
    widgetMain = new MainForm;
    widgetMain->setObjectName(QStringLiteral("widgetMain"));
    addPage(stackedWidget, QStringLiteral("pageLoading"), widgetLoading);
    addPage(stackedWidget, QStringLiteral("pageMessage"), widgetMessage);
    addPage(stackedWidget, QStringLiteral("pageLogin"), widgetLogin);
    addPage(stackedWidget, QStringLiteral("pageMain"), widgetMain);
    // The home page is first shown as the sign-in ends, to a member waiting for it: drawn once
    // beforehand, while the login page is up, it then takes a frame.
    PageWarmer::warm(widgetMain);
}

void MainWindow::applyWindowShape()
{
    QPainterPath path;
    path.addRoundedRect(rect(), cornerRadius, cornerRadius, Qt::AbsoluteSize);
    setMask(QRegion(path.toFillPolygon().toPolygon()));

    auto *border = new QFrame(centralWidget());
    border->setObjectName(QStringLiteral("windowLightBorder"));
    border->setGeometry(0, 0, windowWidth, windowHeight);
    border->setStyleSheet(
        QStringLiteral("background: transparent; border: 1px solid #D9E1EA; border-radius: 18px;"));
    border->setAttribute(Qt::WA_TransparentForMouseEvents);
    border->raise();
}

// The frameless window's own minimise and close controls, above every page; close is the
// window's close (to the tray while its icon shows, else quit).
void MainWindow::addWindowControls()
{
    const auto control = [this](const char *name, int x, int iconKind) {
        auto *button = new QPushButton(centralWidget());
        button->setObjectName(QLatin1String(name));
        button->setGeometry(x, 12, 28, 28);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::TabFocus);
        button->setIconSize(QSize(18, 18));
        button->setIcon(
            IconPainter::paint(iconKind, QColor(QStringLiteral("#6E7683")), QSize(18, 18)));
        button->setStyleSheet(QStringLiteral(
            "QPushButton { border: 0; background: transparent; border-radius: 14px; }"
            "QPushButton:hover { background: rgba(0, 0, 0, 18); }"));
        button->raise();
        return button;
    };
    minimizeButton = control("pushButtonMinimize", 339, IconPainter::Minimize);
    closeButton = control("pushButtonClose", 369, IconPainter::Close);
    connect(minimizeButton, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void MainWindow::connectForms()
{
    connect(widgetLogin, &LoginForm::logInClicked, this, &MainWindow::loginRequest);
    connect(widgetMessage, &MessageForm::returnToForm, this, &MainWindow::returnFromMessage);
    connect(widgetMain, &MainForm::logOutClicked, this, &MainWindow::processLogOut);
    connect(widgetMain, &MainForm::connectionStateChanged, this,
            &MainWindow::connectionStateChanged);
    connect(widgetMain, &MainForm::changeTrayIconState, this, &MainWindow::changeTrayIconState);
    connect(widgetMain, &MainForm::currentServerChoosed, this, &MainWindow::setCurrentServer);
    connect(widgetMain, &MainForm::pingDone, this, &MainWindow::pingDone);
    connect(widgetMain, &MainForm::linkConditionChanged, this, [this](int condition) {
        presentConnectionState(widgetMain->connectionState(),
                               ConnectionState::LinkCondition(condition), false);
    });
    connect(widgetMain, &MainForm::serverAbandoned, this, &MainWindow::notifyServerAbandoned);
    connect(widgetMain, &MainForm::killSwitchNotInForce, this,
            &MainWindow::notifyKillSwitchNotInForce);
}

void MainWindow::createServiceClient()
{
    networkManager = new NetworkManager(this);
    connect(this, &MainWindow::requestBrandId, networkManager, &NetworkManager::requestBrandId);
    connect(networkManager, &NetworkManager::brandIdReceived, this, &MainWindow::brandIdResolved);
    connect(networkManager, &NetworkManager::sessionRenewalNeeded, this, &MainWindow::updateJwt);
    connect(this, &MainWindow::requestLoginData, networkManager, &NetworkManager::requestLoginData);
    connect(this, &MainWindow::requestSubscriptionStatus, networkManager,
            &NetworkManager::requestSubscriptionStatus);
    connect(this, &MainWindow::requestAllServersData, networkManager,
            &NetworkManager::requestAllServersData);
    connect(this, &MainWindow::requestFavoriteServersData, networkManager,
            &NetworkManager::requestFavoriteServersData);
    connect(networkManager, &NetworkManager::loginSuccessed, this, &MainWindow::processLogin);
    connect(networkManager, &NetworkManager::subscriptionIsActive, this,
            &MainWindow::processSubscriptionStatus);
    connect(networkManager, &NetworkManager::allServersDataReceived, this,
            &MainWindow::processServerData);
    connect(networkManager, &NetworkManager::favoriteServersIdsReceived, this,
            &MainWindow::processFavoriteServersData);
    connect(networkManager, &NetworkManager::replyErrorOccurred, this,
            &MainWindow::replyErrorOccurred);
    widgetMain->setNetworkManager(networkManager);

    languageManager = new LanguageManager(this);
    connect(languageManager, &LanguageManager::translate, this, &MainWindow::translate);
    widgetLogin->setLanguageManager(languageManager);
    networkManager->setLanguageManager(languageManager);
    widgetMain->setLanguageManager(languageManager);
}

QString MainWindow::text(const char *key, const char *english) const
{
    return textWithFallback(languageManager, QString::fromLatin1(key), QString::fromUtf8(english));
}

void MainWindow::start(bool hidden)
{
    startedInTray = hidden && AppSettings::switchState(AppSettings::TrayIcon);
    if (!startedInTray) {
        show();
        return;
    }
    trayIcon->show();
}

void MainWindow::bringToFront()
{
    qCDebug(lcApp) << "A second launch asked for the window";
    showWindow();
}

void MainWindow::showWindow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::showForm(AppStyleUtil::ApplicationForm::Form form)
{
    using AppStyleUtil::ApplicationForm::Form;
    // Started in the tray: the icon stays while signing in, and a page the member must answer
    // brings the window up.
    const bool waitingInTray = startedInTray && !isVisible();
    if (waitingInTray && (form == Form::LoginPage || form == Form::MessagePage))
        show();
    if (!(waitingInTray && form == Form::LoadingPage))
        trayIcon->hide();
    if (form == AppStyleUtil::ApplicationForm::MainPage) {
        widgetMain->resetView();
        if (AppSettings::switchState(AppSettings::TrayIcon))
            trayIcon->show();
    }
    stackedWidget->setCurrentIndex(form);
}
