#pragma once

#include "i18n/LanguageManager.h"
#include "storage/AppSettings.h"
#include "widgets/NavigablePage.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

// The settings page: language, help, support mail, privacy, sign-out and the version; a hidden
// list of switches that is still loaded and handled.
class SettingsWindow : public NavigablePage {
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget *parent = nullptr);

    void loadSettings();
    void setLanguageManager(LanguageManager *manager);

    // The support mail link for the member whose e-mail is given.
    static QUrl supportMailUrl(const QString &email);
    static QString applicationVersion();

signals:
    void changeTrayIconState(bool isEnabled);
    void logOut();
    void killSwitchChanged(bool enabled);
    void languageChanged(Translation::Language language);
    void requestOpenServers();
    void requestOpenAccount();

private slots:
    void on_pushButtonAutoConnect_clicked();
    void on_pushButtonCrashReports_clicked();
    void on_pushButtonAnalytics_clicked();
    void on_pushButtonTrayIcon_clicked();
    void on_pushButtonNotifications_clicked();
    void on_pushButtonSetDNS_clicked();
    void on_pushButtonLogOut_clicked();
    void on_pushButtonExpandProfileSubMenu_clicked();
    void on_pushButtonStartup_clicked();
    void on_pushButtonManageAccount_clicked();
    void on_pushButtonAppReset_clicked();
    void on_pushButtonKillSwitch_clicked();
    void on_comboBoxLanguage_currentIndexChanged(int index);
    void translate();

private:
    struct SwitchRow {
        AppSettings::Switch key;
        const char *name;
        const char *titleKey;
        const char *descriptionKey;
        QPushButton *button = nullptr;
        QLabel *title = nullptr;
        QLabel *description = nullptr;
    };

    void buildVisiblePage();
    void buildSwitchesCard();
    void buildSwitchList();
    QWidget *supportRow(QWidget *card, int y, int iconKind, const char *name);
    // The row's title, and the name a screen reader gives its button.
    void nameSupportRow(QWidget *supportRow, const char *name, const QString &text);
    bool toggle(AppSettings::Switch key);
    void toggleAndStore(AppSettings::Switch key);
    SwitchRow &row(AppSettings::Switch key);
    void openHelpCenter();
    void openPrivacyPolicy();
    void contactSupport();

    bool switchStates[8] = {};
    QVector<SwitchRow> switchRows;
    QScrollArea *scrollArea = nullptr;
    QComboBox *comboBoxLanguage = nullptr;
    QPushButton *pushButtonLogOut = nullptr;
    QLabel *languageHeader = nullptr;
    QLabel *languageSubtitle = nullptr;
    QLabel *supportHeader = nullptr;
    QLabel *supportSubtitle = nullptr;
    QWidget *helpCenterRow = nullptr;
    QWidget *contactSupportRow = nullptr;
    QWidget *privacyRow = nullptr;
    QLabel *versionLabel = nullptr;
    QLabel *labelLanguage = nullptr;
    QLabel *labelProfile = nullptr;
    QLabel *labelExpandSymbol = nullptr;
    QWidget *widgetProfileSubMenu = nullptr;
    QPushButton *pushButtonManageAccount = nullptr;
    LanguageManager *languageManager = nullptr;
};
