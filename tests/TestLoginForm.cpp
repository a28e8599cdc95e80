#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "ui/LoginForm.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// Receives the URLs the form opens, instead of a browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestLoginForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void enterInEitherFieldOrTheButtonLogsIn_data();
    void enterInEitherFieldOrTheButtonLogsIn();
    void setCredentialsChecksRememberOnlyWithAPassword();
    void captionTogglesRemember();
    void showPasswordToggles();
    void errorLine();
    void membersPageLinks();
    void translatesAtOnce();
    void contextMenuEntries_data();
    void contextMenuEntries();
    void controlKeysUseTheClipboard();

private:
    template <typename T> T *child(const char *name) const { return form->findChild<T *>(name); }

    std::unique_ptr<LoginForm> form;
    UrlRecorder urls;
};

void TestLoginForm::initTestCase()
{
    initResourceTree();
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    QDesktopServices::setUrlHandler("https", &urls, "open");
}

void TestLoginForm::init()
{
    form = std::make_unique<LoginForm>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QApplication::clipboard()->clear();
    urls.opened.clear();
}

void TestLoginForm::enterInEitherFieldOrTheButtonLogsIn_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("Enter in e-mail") << "lineEditEmail";
    QTest::newRow("Enter in password") << "lineEditPassword";
    QTest::newRow("button") << "pushButtonLogIn";
}

void TestLoginForm::enterInEitherFieldOrTheButtonLogsIn()
{
    QFETCH(QString, trigger);
    QSignalSpy clicked(form.get(), &LoginForm::logInClicked);
    QTest::keyClicks(child<QLineEdit>("lineEditEmail"), " Member@Example.com");
    QTest::keyClicks(child<QLineEdit>("lineEditPassword"), "p a s s");
    form->showError("old error");
    if (trigger == "pushButtonLogIn")
        QTest::mouseClick(child<QPushButton>("pushButtonLogIn"), Qt::LeftButton);
    else
        QTest::keyClick(child<QLineEdit>(qPrintable(trigger)), Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.first().at(0).toString(), QStringLiteral(" Member@Example.com"));
    QCOMPARE(clicked.first().at(1).toString(), QStringLiteral("p a s s"));
    QVERIFY(!child<QLabel>("labelLoginError")->isVisible());
}

void TestLoginForm::setCredentialsChecksRememberOnlyWithAPassword()
{
    form->setCredentials("a@b.com", "");
    QVERIFY(!form->isRememberPassword());
    form->setCredentials("a@b.com", "secret");
    QVERIFY(form->isRememberPassword());
    QString email;
    QString password;
    form->credentials(email, password);
    QCOMPARE(email, QStringLiteral("a@b.com"));
    QCOMPARE(password, QStringLiteral("secret"));
    form->setRememberPassword(false);
    QVERIFY(!form->isRememberPassword());
}

void TestLoginForm::captionTogglesRemember()
{
    QVERIFY(!form->isRememberPassword());
    QTest::mouseClick(form.get()->childAt(150, 531), Qt::LeftButton);
    QVERIFY(form->isRememberPassword());
    QTest::mouseClick(child<QPushButton>("pushButtonRemember"), Qt::LeftButton);
    QVERIFY(!form->isRememberPassword());
}

void TestLoginForm::showPasswordToggles()
{
    auto *password = child<QLineEdit>("lineEditPassword");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QTest::mouseClick(child<QPushButton>("pushButtonShowPassword"), Qt::LeftButton);
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QTest::mouseClick(child<QPushButton>("pushButtonShowPassword"), Qt::LeftButton);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
}

void TestLoginForm::errorLine()
{
    auto *error = child<QLabel>("labelLoginError");
    QVERIFY(!error->isVisible());
    form->showError("Your email / password is incorrect.");
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), QStringLiteral("Your email / password is incorrect."));
    QVERIFY(error->styleSheet().contains("#B00020"));
    form->clearError();
    QVERIFY(!error->isVisible());
    QVERIFY(error->text().isEmpty());
}

void TestLoginForm::membersPageLinks()
{
    emit child<QLabel>("labelForgotPassword")->linkActivated("forgot");
    emit child<QLabel>("labelDontHaveAccount_2")->linkActivated("anything");
    QCOMPARE(urls.opened, QList<QUrl>({QUrl("https://members.corvane.example/login"),
                                       QUrl("https://members.corvane.example/register")}));
    QVERIFY(child<QLabel>("labelForgotPassword")->text().contains("color:#199b56"));
}

void TestLoginForm::translatesAtOnce()
{
    QCOMPARE(child<QPushButton>("pushButtonLogIn")->text(), QStringLiteral("LOGIN"));
    LanguageManager languages;
    form->setLanguageManager(&languages);
    languages.languageChanged(Translation::French);
    QCOMPARE(child<QPushButton>("pushButtonLogIn")->text(), QStringLiteral("CONNEXION"));
    QCOMPARE(child<QLineEdit>("lineEditEmail")->placeholderText(),
             QStringLiteral("Adresse e-mail"));
    QVERIFY(child<QLabel>("labelDontHaveAccount_2")->text().contains("S'inscrire maintenant"));
    QCOMPARE(child<QLabel>("labelRememberPassword")->text(),
             QStringLiteral("Retenir le mot de passe"));
}

void TestLoginForm::contextMenuEntries_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("selection");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("pasteEnabled");
    QTest::newRow("empty clipboard, no selection")
        << "" << false << QStringList{"Paste", "Select All"} << false;
    QTest::newRow("filled clipboard, no selection")
        << "x" << false << QStringList{"Paste", "Select All"} << true;
    QTest::newRow("empty clipboard, selection")
        << "" << true << QStringList{"Paste", "Copy", "Cut", "Select All"} << false;
    QTest::newRow("filled clipboard, selection")
        << "x" << true << QStringList{"Paste", "Copy", "Cut", "Select All"} << true;
}

void TestLoginForm::contextMenuEntries()
{
    QFETCH(QString, clipboard);
    QFETCH(bool, selection);
    QFETCH(QStringList, entries);
    QFETCH(bool, pasteEnabled);
    QApplication::clipboard()->setText(clipboard);
    auto *email = child<QLineEdit>("lineEditEmail");
    email->setText("member@example.com");
    if (selection)
        email->selectAll();
    else
        email->deselect();
    QStringList shown;
    bool pasteWasEnabled = false;
    QString styleSheet;
    QTimer::singleShot(0, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        styleSheet = menu->styleSheet();
        for (QAction *action : menu->actions()) {
            shown << action->text();
            if (action->text() == "Paste")
                pasteWasEnabled = action->isEnabled();
        }
        menu->close();
    });
    emit email->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(shown, entries);
    QCOMPARE(pasteWasEnabled, pasteEnabled);
    QVERIFY(styleSheet.contains("#2b2b3d"));
}

void TestLoginForm::controlKeysUseTheClipboard()
{
    auto *password = child<QLineEdit>("lineEditPassword");
    password->setText("s3cret!");
    password->setFocus();

    // Control-V with an empty clipboard changes nothing.
    QApplication::clipboard()->clear();
    QTest::keyClick(password, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(password->text(), QStringLiteral("s3cret!"));

    // Control-A then Control-C copies the clear password.
    QTest::keyClick(password, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(password->selectedText(), QStringLiteral("s3cret!"));
    QTest::keyClick(password, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("s3cret!"));

    // Control-X cuts, Control-V pastes at the cursor.
    QTest::keyClick(password, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(password->text().isEmpty());
    QTest::keyClick(password, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(password, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(password->text(), QStringLiteral("s3cret!s3cret!"));
}

QTEST_MAIN(TestLoginForm)
#include "TestLoginForm.moc"
