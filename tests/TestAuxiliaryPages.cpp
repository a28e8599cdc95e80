#include "app/Startup.h"
#include "ui/LoadingAnimation.h"
#include "ui/LoadingForm.h"
#include "ui/MessageForm.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class UrlSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestAuxiliaryPages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void loadingPageLayout();
    void spinnerAdvancesOneDotPerTick();
    void messageButton_data();
    void messageButton();

private:
    UrlSink urls;
};

void TestAuxiliaryPages::initTestCase()
{
    initResourceTree();
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    QDesktopServices::setUrlHandler("https", &urls, "open");
}

void TestAuxiliaryPages::loadingPageLayout()
{
    LoadingForm page;
    auto *message = page.findChild<QLabel *>("labelLoadingMessage");
    QCOMPARE(message->text(), QStringLiteral("Loading..."));
    QCOMPARE(message->geometry(), QRect(41, 640, 330, 24));
    QCOMPARE(page.findChild<LoadingAnimation *>("widgetLoadingAnimation")->geometry(),
             QRect(41, 292, 330, 330));
    page.setMessage("Still loading");
    QCOMPARE(message->text(), QStringLiteral("Still loading"));
}

void TestAuxiliaryPages::spinnerAdvancesOneDotPerTick()
{
    QCOMPARE(LoadingAnimation::tickMs, 41);
    LoadingAnimation spinner;
    const auto alphaOf = [&spinner](int number) {
        const QString style =
            spinner.findChild<QLabel *>(QStringLiteral("label_%1").arg(number))->styleSheet();
        return QColor(style.section("background-color: ", 1).section(';', 0, 0)).alpha();
    };
    QCOMPARE(spinner.findChildren<QLabel *>().size(), 16);
    QCOMPARE(spinner.findChild<QLabel *>("label_1")->geometry(), QRect(155, 70, 20, 20));
    for (int number = 1; number <= 16; ++number)
        QCOMPARE(alphaOf(number), 5);
    QVERIFY(spinner.findChild<QLabel *>("label_1")->styleSheet().contains("#05192870"));

    QVERIFY(QMetaObject::invokeMethod(&spinner, "updateAnimation"));
    // After one tick label_2 leads the fading run and label_9 is the brightest.
    for (int position = 0; position < 8; ++position)
        QCOMPARE(alphaOf(2 + position), 5 + 32 * position);
    QVERIFY(QMetaObject::invokeMethod(&spinner, "updateAnimation"));
    QCOMPARE(alphaOf(10), 229);
    QCOMPARE(alphaOf(3), 5);
    QCOMPARE(alphaOf(2), 5);

    // It turns only while it shows.
    QVERIFY(!spinner.isAnimating());
    spinner.show();
    QVERIFY(spinner.isAnimating());
    spinner.hide();
    QVERIFY(!spinner.isAnimating());
}

void TestAuxiliaryPages::messageButton_data()
{
    QTest::addColumn<bool>("openMembersPage");
    QTest::addColumn<int>("returnPage");
    QTest::newRow("only returns") << false << int(AppStyleUtil::ApplicationForm::LoginPage);
    QTest::newRow("opens the members' page, then returns")
        << true << int(AppStyleUtil::ApplicationForm::MainPage);
}

void TestAuxiliaryPages::messageButton()
{
    QFETCH(bool, openMembersPage);
    QFETCH(int, returnPage);
    qRegisterMetaType<AppStyleUtil::ApplicationForm::Form>("AppStyleUtil::ApplicationForm::Form");
    urls.opened.clear();
    MessageForm page;
    QSignalSpy returned(&page, &MessageForm::returnToForm);
    page.setMessage("Text", "Button", openMembersPage,
                    AppStyleUtil::ApplicationForm::Form(returnPage));
    QCOMPARE(page.findChild<QLabel *>("labelMessage")->text(), QStringLiteral("Text"));
    auto *button = page.findChild<QPushButton *>("pushButtonApplyMessage");
    QCOMPARE(button->text(), QStringLiteral("Button"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(returned.count(), 1);
    QCOMPARE(returned.first().at(0).value<AppStyleUtil::ApplicationForm::Form>(),
             AppStyleUtil::ApplicationForm::Form(returnPage));
    QCOMPARE(urls.opened, openMembersPage
                              ? QList<QUrl>{QUrl("https://members.corvane.example/login")}
                              : QList<QUrl>{});
}

QTEST_MAIN(TestAuxiliaryPages)
#include "TestAuxiliaryPages.moc"
