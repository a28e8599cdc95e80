#include "ui/SettingsWindow.h"

#include "network/Deployment.h"
#include "storage/CredentialVault.h"
#include "storage/DiagnosticLog.h"
#include "widgets/Accessibility.h"
#include "widgets/IconPainter.h"
#include "widgets/NavigationBar.h"
#include "widgets/PageChrome.h"
#include "widgets/ScreenPixmap.h"
#include "widgets/Theme.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>

#include <iterator>

namespace {

QString headerStyle()
{
    return QStringLiteral("background: transparent; border: 0; color: %1; font-family: Roboto; "
                          "font-size: 11px; font-weight: 500; letter-spacing: 2.2px;")
        .arg(QLatin1String(Theme::accentText));
}
QString subtitleStyle()
{
    return QStringLiteral("background: transparent; border: 0; color: %1; font-family: Roboto; "
                          "font-size: 12px;")
        .arg(QLatin1String(Theme::secondaryText));
}
const char cardStyle[] =
    "#%1 { background: white; border: 1px solid rgba(0,0,0,34); border-radius: 22px; }";
QString comboStyle()
{
    return QStringLiteral(
               "QComboBox { border: none; background: transparent; color: %1; font-size: 15px; }"
               "QComboBox::drop-down { border: none; width: 24px; }"
               "QComboBox::down-arrow { image: url(:/images/buttons/downarrow.png); width: 16px; "
               "height: "
               "16px; }"
               "QComboBox QAbstractItemView { border: none; outline: 0; "
               "selection-background-color: #F0F3F7; "
               "selection-color: %1; }"
               "QComboBox QAbstractItemView::item { min-height: 34px; }")
        .arg(QLatin1String(Theme::primaryText));
}

QLabel *textLabel(QWidget *parent, const QRect &rect, const QString &style,
                  const QString &text = QString())
{
    auto *label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setStyleSheet(style);
    return label;
}

QFrame *card(QWidget *page, const char *name, const QRect &rect)
{
    auto *frame = new QFrame(page);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(rect);
    frame->setStyleSheet(QString::fromLatin1(cardStyle).arg(QLatin1String(name)));
    return frame;
}

int comboIndexFor(int language)
{
    if (language == Translation::French)
        return 1;
    if (language == Translation::Spanish)
        return 2;
    return 0;
}

} // namespace

SettingsWindow::SettingsWindow(QWidget *parent)
    : NavigablePage(parent)
    , switchRows(
          {{AppSettings::AutoConnect, "AutoConnect", "settings.autoconnect",
            "settings.autoconnect.description.PC"},
           {AppSettings::CrashReports, "CrashReports", "settings.telemetry",
            "settings.telemetry.description"},
           {AppSettings::Analytics, "Analytics", "settings.analytics",
            "settings.analytics.description"},
           {AppSettings::TrayIcon, "TrayIcon", "settings.trayicon",
            "settings.trayicon.description"},
           {AppSettings::Notifications, "Notifications", "settings.notifications",
            "settings.notifications.description"},
           {AppSettings::SetDNS, "SetDNS", "settings.setDns", "settings.setDns.description"},
           {AppSettings::Startup, "Startup", "settings.startup", "settings.startup.description"},
           {AppSettings::KillSwitch, "KillSwitch", "settings.killswitch",
            "settings.killswitch.description.desktop"}})
{
    buildSwitchList();
    PageChrome::build(this, QStringLiteral("Settings"));
    buildVisiblePage();
    scrollArea->hide();
    NavigationBar::build(this, NavigationBar::Settings);
    versionLabel->raise();
    setNavigationZones({{NavigationBar::Home, [this] { close(); }},
                        {NavigationBar::Servers, [this] { emit requestOpenServers(); }},
                        {NavigationBar::Account, [this] { emit requestOpenAccount(); }}});
}

QString SettingsWindow::applicationVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("1.0.0") : version;
}

void SettingsWindow::buildVisiblePage()
{
    languageHeader =
        textLabel(this, QRect(24, 98, 363, 16), headerStyle(), QStringLiteral("LANGUAGE"));
    languageSubtitle = textLabel(this, QRect(24, 120, 363, 16), subtitleStyle(),
                                 QStringLiteral("Choose the app language"));
    QFrame *languageCard = card(this, "frameLanguageCard", QRect(24, 150, 363, 58));
    comboBoxLanguage = new QComboBox(languageCard);
    comboBoxLanguage->setObjectName(QStringLiteral("comboBoxLanguage"));
    comboBoxLanguage->setGeometry(18, 9, 327, 40);
    comboBoxLanguage->setStyleSheet(comboStyle());
    comboBoxLanguage->blockSignals(true);
    comboBoxLanguage->addItems(
        {QStringLiteral("English"), QStringLiteral("French"), QStringLiteral("Spanish")});
    comboBoxLanguage->blockSignals(false);
    comboBoxLanguage->setMaxVisibleItems(3);
    auto *popup = new QListView(comboBoxLanguage);
    popup->setSpacing(0);
    popup->setMinimumWidth(327);
    comboBoxLanguage->setView(popup);
    connect(comboBoxLanguage, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsWindow::on_comboBoxLanguage_currentIndexChanged);

    supportHeader = textLabel(this, QRect(24, 236, 363, 16), headerStyle(),
                              QStringLiteral("SUPPORT & FEEDBACK"));
    supportSubtitle = textLabel(this, QRect(24, 258, 363, 16), subtitleStyle(),
                                QStringLiteral("Get help and support for any questions you have"));
    QFrame *supportCard = card(this, "frameSupportCard", QRect(24, 288, 363, 174));
    helpCenterRow = supportRow(supportCard, 0, IconPainter::Help, "HelpCenter");
    contactSupportRow = supportRow(supportCard, 58, IconPainter::Message, "ContactSupport");
    privacyRow = supportRow(supportCard, 116, IconPainter::Document, "Privacy");
    for (const int y : {58, 116}) {
        auto *line = new QFrame(supportCard);
        line->setGeometry(0, y, 363, 1);
        line->setStyleSheet(QStringLiteral("background: rgba(0,0,0,20); border: 0;"));
    }
    connect(helpCenterRow->findChild<QPushButton *>(), &QPushButton::clicked, this,
            &SettingsWindow::openHelpCenter);
    connect(contactSupportRow->findChild<QPushButton *>(), &QPushButton::clicked, this,
            &SettingsWindow::contactSupport);
    connect(privacyRow->findChild<QPushButton *>(), &QPushButton::clicked, this,
            &SettingsWindow::openPrivacyPolicy);

    pushButtonLogOut->setParent(this);
    pushButtonLogOut->setGeometry(24, 490, 363, 52);
    pushButtonLogOut->setText(QStringLiteral("SIGN OUT"));
    pushButtonLogOut->setCursor(Qt::PointingHandCursor);
    pushButtonLogOut->setStyleSheet(
        QStringLiteral("background: #E90538; border: 0; border-radius: 26px; color: "
                       "white; font-size: 14px; font-weight: 500; letter-spacing: 1.4px;"));
    pushButtonLogOut->show();

    buildSwitchesCard();

    versionLabel = new QLabel(this);
    versionLabel->setObjectName(QStringLiteral("labelAppVersion"));
    versionLabel->setGeometry(24, 770, 363, 18);
    versionLabel->setAlignment(Qt::AlignCenter);
    versionLabel->setStyleSheet(
        QStringLiteral("background: transparent; border: 0; color: %1; font-size: "
                       "11px; letter-spacing: 1.6px;")
            .arg(QLatin1String(Theme::secondaryText)));
    versionLabel->setText(QStringLiteral("APP VERSION %1 - %2 VPN")
                              .arg(applicationVersion(), QStringLiteral("CORVANE")));
}

// The switches a desktop member needs every day, below the sign-out button; each row's
// description is its tooltip. The other switches stay in the hidden list.
void SettingsWindow::buildSwitchesCard()
{
    const AppSettings::Switch shown[] = {AppSettings::TrayIcon, AppSettings::Notifications,
                                         AppSettings::AutoConnect, AppSettings::Startup};
    constexpr int rowHeight = 44;
    QFrame *switchesCard =
        card(this, "frameSwitchesCard", QRect(24, 566, 363, int(std::size(shown)) * rowHeight));
    int y = 0;
    for (const AppSettings::Switch key : shown) {
        SwitchRow &switchRow = row(key);
        switchRow.title->setParent(switchesCard);
        switchRow.title->setGeometry(20, y, 275, rowHeight);
        switchRow.title->setStyleSheet(
            QStringLiteral(
                "QLabel { background: transparent; border: 0; color: %1; font-size: 14px; }"
                "QLabel:disabled { color: #A3ABB6; }")
                .arg(QLatin1String(Theme::primaryText)));
        switchRow.button->setParent(switchesCard);
        switchRow.button->setGeometry(303, y + 10, 44, 24);
        switchRow.button->setCursor(Qt::PointingHandCursor);
        switchRow.button->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
        if (y > 0) {
            auto *line = new QFrame(switchesCard);
            line->setGeometry(0, y, 363, 1);
            line->setStyleSheet(QStringLiteral("background: rgba(0,0,0,20); border: 0;"));
        }
        y += rowHeight;
    }
}

QWidget *SettingsWindow::supportRow(QWidget *supportCard, int y, int iconKind, const char *name)
{
    auto *row = new QWidget(supportCard);
    row->setObjectName(QStringLiteral("widget%1Row").arg(QLatin1String(name)));
    row->setGeometry(0, y, 363, 58);
    auto *icon = new QLabel(row);
    icon->setGeometry(20, 18, 22, 22);
    icon->setStyleSheet(QStringLiteral("background: transparent; border: 0;"));
    icon->setPixmap(IconPainter::paint(iconKind, QColor(QStringLiteral("#2A3342")), QSize(22, 22)));
    Accessibility::hide(icon);
    auto *title = new QLabel(row);
    title->setObjectName(QStringLiteral("label%1").arg(QLatin1String(name)));
    title->setGeometry(56, 0, 250, 58);
    title->setStyleSheet(
        QStringLiteral("background: transparent; border: 0; color: %1; font-size: 15px;")
            .arg(QLatin1String(Theme::primaryText)));
    auto *chevron = new QLabel(row);
    chevron->setGeometry(323, 19, 20, 20);
    chevron->setStyleSheet(QStringLiteral("background: transparent; border: 0;"));
    chevron->setPixmap(IconPainter::paint(IconPainter::ForwardChevron,
                                          QColor(QStringLiteral("#97A1AF")), QSize(20, 20)));
    Accessibility::hide(chevron);
    auto *button = new QPushButton(row);
    button->setObjectName(QStringLiteral("pushButton%1").arg(QLatin1String(name)));
    button->setGeometry(0, 0, 363, 58);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
    return row;
}

void SettingsWindow::buildSwitchList()
{
    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setGeometry(24, 100, 363, 680);
    auto *list = new QWidget;
    auto *layout = new QVBoxLayout(list);

    widgetProfileSubMenu = new QWidget(list);
    widgetProfileSubMenu->setObjectName(QStringLiteral("widgetProfileSubMenu"));
    widgetProfileSubMenu->setFixedSize(330, 40);
    auto *profileIcon = new QLabel(widgetProfileSubMenu);
    profileIcon->setGeometry(0, 5, 30, 30);
    profileIcon->setPixmap(ScreenPixmap::fromResource(
        QStringLiteral(":/images/buttons/profile.png"), QSize(30, 30), Qt::IgnoreAspectRatio));
    labelProfile = new QLabel(widgetProfileSubMenu);
    labelProfile->setObjectName(QStringLiteral("labelProfile"));
    labelProfile->setGeometry(40, 0, 200, 40);
    labelExpandSymbol = new QLabel(widgetProfileSubMenu);
    labelExpandSymbol->setObjectName(QStringLiteral("labelExpandSymbol"));
    labelExpandSymbol->setGeometry(300, 10, 20, 20);
    labelExpandSymbol->setPixmap(ScreenPixmap::fromResource(
        QStringLiteral(":/images/buttons/downarrow.png"), QSize(20, 20), Qt::IgnoreAspectRatio));
    auto *expand = new QPushButton(widgetProfileSubMenu);
    expand->setObjectName(QStringLiteral("pushButtonExpandProfileSubMenu"));
    expand->setGeometry(0, 0, 330, 40);
    expand->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
    connect(expand, &QPushButton::clicked, this,
            &SettingsWindow::on_pushButtonExpandProfileSubMenu_clicked);
    pushButtonManageAccount = new QPushButton(widgetProfileSubMenu);
    pushButtonManageAccount->setObjectName(QStringLiteral("pushButtonManageAccount"));
    pushButtonManageAccount->setGeometry(40, 40, 290, 40);
    connect(pushButtonManageAccount, &QPushButton::clicked, this,
            &SettingsWindow::on_pushButtonManageAccount_clicked);
    auto *reset = new QPushButton(widgetProfileSubMenu);
    reset->setObjectName(QStringLiteral("pushButtonAppReset"));
    reset->setGeometry(40, 80, 290, 0);
    connect(reset, &QPushButton::clicked, this, &SettingsWindow::on_pushButtonAppReset_clicked);
    layout->addWidget(widgetProfileSubMenu);

    labelLanguage = new QLabel(list);
    labelLanguage->setObjectName(QStringLiteral("labelLanguage"));
    layout->addWidget(labelLanguage);

    using Handler = void (SettingsWindow::*)();
    const QHash<int, Handler> handlers = {
        {AppSettings::AutoConnect, &SettingsWindow::on_pushButtonAutoConnect_clicked},
        {AppSettings::CrashReports, &SettingsWindow::on_pushButtonCrashReports_clicked},
        {AppSettings::Analytics, &SettingsWindow::on_pushButtonAnalytics_clicked},
        {AppSettings::TrayIcon, &SettingsWindow::on_pushButtonTrayIcon_clicked},
        {AppSettings::Notifications, &SettingsWindow::on_pushButtonNotifications_clicked},
        {AppSettings::SetDNS, &SettingsWindow::on_pushButtonSetDNS_clicked},
        {AppSettings::Startup, &SettingsWindow::on_pushButtonStartup_clicked},
        {AppSettings::KillSwitch, &SettingsWindow::on_pushButtonKillSwitch_clicked}};
    for (SwitchRow &row : switchRows) {
        const QString name = QLatin1String(row.name);
        row.title = new QLabel(list);
        row.title->setObjectName(QStringLiteral("label") + name);
        row.description = new QLabel(list);
        row.description->setObjectName(QStringLiteral("label%1Description").arg(name));
        row.button = new QPushButton(list);
        row.button->setObjectName(QStringLiteral("pushButton") + name);
        row.button->setIconSize(QSize(40, 23));
        row.button->setIcon(QIcon(QStringLiteral(":/images/buttons/toggleOff.png")));
        Accessibility::makeSwitch(row.button);
        connect(row.button, &QPushButton::clicked, this, handlers.value(row.key));
        for (QWidget *widget :
             {static_cast<QWidget *>(row.title), static_cast<QWidget *>(row.description),
              static_cast<QWidget *>(row.button)})
            layout->addWidget(widget);
    }
    pushButtonLogOut = new QPushButton(list);
    pushButtonLogOut->setObjectName(QStringLiteral("pushButtonLogOut"));
    connect(pushButtonLogOut, &QPushButton::clicked, this,
            &SettingsWindow::on_pushButtonLogOut_clicked);
    scrollArea->setWidget(list);
}

SettingsWindow::SwitchRow &SettingsWindow::row(AppSettings::Switch key)
{
    for (SwitchRow &candidate : switchRows) {
        if (candidate.key == key)
            return candidate;
    }
    return switchRows.first();
}

void SettingsWindow::loadSettings()
{
    for (QWidget *widget : {static_cast<QWidget *>(row(AppSettings::SetDNS).title),
                            static_cast<QWidget *>(row(AppSettings::SetDNS).description),
                            static_cast<QWidget *>(row(AppSettings::SetDNS).button)})
        widget->hide();
    for (SwitchRow &switchRow : switchRows) {
        switchStates[switchRow.key] = !AppSettings::switchState(switchRow.key);
        toggle(switchRow.key);
    }
    const bool trayIcon = switchStates[AppSettings::TrayIcon];
    row(AppSettings::Notifications).title->setEnabled(trayIcon);
    row(AppSettings::Notifications).button->setEnabled(trayIcon);
}

bool SettingsWindow::toggle(AppSettings::Switch key)
{
    switchStates[key] = !switchStates[key];
    row(key).button->setChecked(switchStates[key]);
    row(key).button->setIcon(
        QIcon(QStringLiteral(":/images/buttons/toggle%1.png")
                  .arg(switchStates[key] ? QStringLiteral("On") : QStringLiteral("Off"))));
    return switchStates[key];
}

void SettingsWindow::toggleAndStore(AppSettings::Switch key)
{
    AppSettings::setSwitchState(key, toggle(key));
}

void SettingsWindow::on_pushButtonAutoConnect_clicked()
{
    toggleAndStore(AppSettings::AutoConnect);
}

void SettingsWindow::on_pushButtonCrashReports_clicked()
{
    toggleAndStore(AppSettings::CrashReports);
}

void SettingsWindow::on_pushButtonAnalytics_clicked()
{
    toggleAndStore(AppSettings::Analytics);
}

void SettingsWindow::on_pushButtonTrayIcon_clicked()
{
    const bool on = toggle(AppSettings::TrayIcon);
    emit changeTrayIconState(on);
    row(AppSettings::Notifications).title->setEnabled(on);
    row(AppSettings::Notifications).button->setEnabled(on);
    AppSettings::setSwitchState(AppSettings::TrayIcon, on);
}

void SettingsWindow::on_pushButtonNotifications_clicked()
{
    toggleAndStore(AppSettings::Notifications);
}

void SettingsWindow::on_pushButtonSetDNS_clicked()
{
    toggleAndStore(AppSettings::SetDNS);
}

void SettingsWindow::on_pushButtonStartup_clicked()
{
    toggleAndStore(AppSettings::Startup);
}

void SettingsWindow::on_pushButtonKillSwitch_clicked()
{
    const bool on = toggle(AppSettings::KillSwitch);
    AppSettings::setSwitchState(AppSettings::KillSwitch, on);
    emit killSwitchChanged(on);
}

void SettingsWindow::on_pushButtonLogOut_clicked()
{
    emit logOut();
}

void SettingsWindow::on_pushButtonExpandProfileSubMenu_clicked()
{
    const bool collapsed = widgetProfileSubMenu->height() == 40;
    labelExpandSymbol->setPixmap(
        ScreenPixmap::fromResource(collapsed ? QStringLiteral(":/images/buttons/uparrow.png")
                                             : QStringLiteral(":/images/buttons/downarrow.png"),
                                   QSize(20, 20), Qt::IgnoreAspectRatio));
    widgetProfileSubMenu->setFixedSize(330, collapsed ? 80 : 40);
}

void SettingsWindow::on_pushButtonManageAccount_clicked()
{
    QDesktopServices::openUrl(QUrl(Deployment::membersLoginUrl(), QUrl::TolerantMode));
}

void SettingsWindow::on_pushButtonAppReset_clicked()
{
    AppSettings::resetApplication();
    QApplication::quit();
}

void SettingsWindow::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
    connect(manager, &LanguageManager::translate, this, &SettingsWindow::translate);
    connect(this, &SettingsWindow::languageChanged, manager, &LanguageManager::languageChanged);
    comboBoxLanguage->blockSignals(true);
    comboBoxLanguage->setCurrentIndex(
        comboIndexFor(AppSettings::value(AppSettings::Language).toInt()));
    comboBoxLanguage->blockSignals(false);
    translate();
}

void SettingsWindow::on_comboBoxLanguage_currentIndexChanged(int index)
{
    const Translation::Language language = index == 1   ? Translation::French
                                           : index == 2 ? Translation::Spanish
                                                        : Translation::English;
    AppSettings::setValue(AppSettings::Language, int(language));
    if (languageManager)
        languageManager->languageChanged(language);
    else
        emit languageChanged(language);
}

void SettingsWindow::translate()
{
    const auto tr = [this](const char *key) { return languageManager->text(QLatin1String(key)); };
    if (auto *title = findChild<QLabel *>(QStringLiteral("mobileSectionTitle")))
        title->setText(tr("settings.title"));
    languageHeader->setText(tr("settings.language.section").toUpper());
    supportHeader->setText(tr("settings.support.section").toUpper());
    languageSubtitle->setText(tr("settings.language.subtitle"));
    supportSubtitle->setText(tr("settings.support.subtitle"));
    nameSupportRow(helpCenterRow, "HelpCenter", tr("settings.helpCenter"));
    nameSupportRow(contactSupportRow, "ContactSupport", tr("settings.contactSupport"));
    nameSupportRow(privacyRow, "Privacy", tr("about.privacy"));
    versionLabel->setText(QStringLiteral("%1 %2 - %3 VPN")
                              .arg(tr("settings.appVersion").toUpper(), applicationVersion(),
                                   QStringLiteral("CORVANE")));
    pushButtonLogOut->setText(tr("settings.signOut").toUpper());
    labelLanguage->setText(tr("settings.locale"));
    comboBoxLanguage->setAccessibleName(tr("settings.language.section"));
    labelProfile->setText(tr("settings.profile"));
    pushButtonManageAccount->setText(tr("settings.manageAccount"));
    for (SwitchRow &switchRow : switchRows) {
        switchRow.title->setText(tr(switchRow.titleKey));
        switchRow.description->setText(tr(switchRow.descriptionKey));
        switchRow.title->setToolTip(switchRow.description->text());
        switchRow.button->setToolTip(switchRow.description->text());
        switchRow.button->setAccessibleName(switchRow.title->text());
        switchRow.button->setAccessibleDescription(switchRow.description->text());
    }
    PageChrome::translate(this, languageManager);
    NavigationBar::translate(this, languageManager);
}

void SettingsWindow::nameSupportRow(QWidget *supportRow, const char *name, const QString &text)
{
    supportRow->findChild<QLabel *>(QStringLiteral("label%1").arg(QLatin1String(name)))
        ->setText(text);
    supportRow->findChild<QPushButton *>(QStringLiteral("pushButton%1").arg(QLatin1String(name)))
        ->setAccessibleName(text);
}

void SettingsWindow::openHelpCenter()
{
    QDesktopServices::openUrl(QUrl(
        QStringLiteral("https://support.%1/").arg(Deployment::brandDomain()), QUrl::TolerantMode));
}

void SettingsWindow::openPrivacyPolicy()
{
    QDesktopServices::openUrl(QUrl(
        QStringLiteral("https://%1/privacy").arg(Deployment::brandDomain()), QUrl::TolerantMode));
}

QUrl SettingsWindow::supportMailUrl(const QString &email)
{
    const QString version = applicationVersion();
    const QString device =
        QSysInfo::productType() + QLatin1Char(' ') + QSysInfo::prettyProductName();
    const QString subject = QStringLiteral("Support request - %1").arg(version);
    const QString body =
        QStringLiteral("Account email: %1\nDevice: %2\nApp version: %3\nLog file: %4\n\n"
                       "----------------------------------------\n"
                       "Please describe your issue below:\n\n")
            .arg(email, device, version, QDir::toNativeSeparators(DiagnosticLog::filePath()));
    const QString link =
        QStringLiteral("mailto:support@%1?subject=%2&body=%3")
            .arg(Deployment::brandDomain(), QString::fromLatin1(QUrl::toPercentEncoding(subject)),
                 QString::fromLatin1(QUrl::toPercentEncoding(body)));
    return QUrl(link, QUrl::TolerantMode);
}

void SettingsWindow::contactSupport()
{
    QString email;
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    if (!target.isEmpty()) {
        QString secret;
        CredentialVault::read(email, secret, target);
    }
    QDesktopServices::openUrl(supportMailUrl(email));
}
