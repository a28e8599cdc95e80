#include "FakePrograms.h"
#include "ScriptedHttpServer.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "network/NetworkManager.h"
#include "ui/SettingsWindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QStackedWidget>
#include <QtTest>

#include <csignal>

#include <unistd.h>

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void missingFontLeavesThePlatformFont();
    void builtInFontBecomesApplicationFontAndRoboto();
    void mainWindowShowsTheLoadingPage();
    void mainWindowResolvesTheBrandAtOnceAndRetries();
    void versionComesFromTheBuild();
    void commandLineOptions_data();
    void commandLineOptions();
    void terminationSignalsLeaveThroughTheShutDown_data();
    void terminationSignalsLeaveThroughTheShutDown();

private:
    ScriptedHttpServer service;
    FakePrograms fakes;
};

void TestStartup::initTestCase()
{
    initResourceTree();
    qputenv("CORVANE_ACCOUNT_API_URL", service.url("/graphql").toUtf8());
    qputenv("CORVANE_VPN_API_URL", service.url().toUtf8());
    qputenv("CORVANE_BRAND_DOMAIN", "brand.test");
}

void TestStartup::missingFontLeavesThePlatformFont()
{
    const QFont before = QApplication::font();
    QVERIFY(!installApplicationFont(":/fonts/missing.ttf"));
    QCOMPARE(QApplication::font(), before);
    QVERIFY(QFont::substitutes("Roboto").isEmpty());
}

void TestStartup::builtInFontBecomesApplicationFontAndRoboto()
{
    QVERIFY(installApplicationFont());
    QCOMPARE(QApplication::font().family(), QStringLiteral("Roboto Condensed"));
    QCOMPARE(QFont::substitute("Roboto").toLower(), QStringLiteral("roboto condensed"));
}

void TestStartup::mainWindowShowsTheLoadingPage()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(411, 914));
    QCOMPARE(window.minimumSize(), QSize(411, 914));
    QCOMPARE(window.maximumSize(), QSize(411, 914));
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.windowFlags().testFlag(Qt::NoDropShadowWindowHint));
    QCOMPARE(window.windowTitle(), QStringLiteral("Corvane"));
    QVERIFY(!window.windowIcon().isNull());

    // Rounded corners: the corner pixel is outside the mask, the centre inside.
    QVERIFY(!window.mask().contains(QPoint(0, 0)));
    QVERIFY(!window.mask().contains(QPoint(410, 913)));
    QVERIFY(window.mask().contains(QPoint(205, 457)));
    QVERIFY(window.mask().contains(QPoint(18, 0)));

    auto *stack = window.findChild<QStackedWidget *>("stackedWidget");
    QVERIFY(stack);
    QCOMPARE(stack->count(), 4);
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("pageLoading"));
    const QStringList pages = {"pageLoading", "pageMessage", "pageLogin", "pageMain"};
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(stack->widget(i)->objectName(), pages.at(i));

    auto *message = window.findChild<QLabel *>("labelLoadingMessage");
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->text(), QStringLiteral("Loading..."));

    auto *border = window.findChild<QFrame *>("windowLightBorder");
    QVERIFY(border);
    QCOMPARE(border->geometry(), QRect(0, 0, 411, 914));
    QVERIFY(border->testAttribute(Qt::WA_TransparentForMouseEvents));
}

void TestStartup::mainWindowResolvesTheBrandAtOnceAndRetries()
{
    service.clear();
    service.script("POST", "/graphql", 503, "{}");
    service.script("POST", "/graphql", 200,
                   R"({"data":{"brandByDomain":{"id":"brand-42","name":"Corvane"}}})");
    MainWindow window;
    auto *network = window.findChild<NetworkManager *>();
    QVERIFY(network);
    network->setBrandLookupRetryInterval(50);
    QSignalSpy resolved(network, &NetworkManager::brandIdReceived);
    QVERIFY(resolved.wait(5000));
    QCOMPARE(resolved.first().at(0).toString(), QStringLiteral("brand-42"));
    const auto requests = service.requestsTo("/graphql");
    QCOMPARE(requests.size(), 2);
    for (const auto &request : requests)
        QVERIFY(request.body.contains(R"(brandByDomain(domain: \"brand.test\"))"));
}

void TestStartup::versionComesFromTheBuild()
{
    applyApplicationVersion();
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral(CORVANE_PROJECT_VERSION));
    SettingsWindow settings;
    QVERIFY(settings.findChild<QLabel *>("labelAppVersion")
                ->text()
                .contains(QStringLiteral(" " CORVANE_PROJECT_VERSION " ")));
}

void TestStartup::commandLineOptions_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("output");
    QTest::newRow("--version") << "--version"
                               << "corvane " CORVANE_PROJECT_VERSION "\n";
    QTest::newRow("--help") << "--help"
                            << "Usage: ";
}

// Both answer and exit at once, without the window or the single-instance guard.
void TestStartup::commandLineOptions()
{
    QFETCH(QString, option);
    QFETCH(QString, output);
    QProcess program;
    program.start(CORVANE_EXECUTABLE, {option});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(QString::fromUtf8(program.readAllStandardOutput()).startsWith(output),
             qPrintable(option));
}

void TestStartup::terminationSignalsLeaveThroughTheShutDown_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

// A log-out or a system shut-down ends the program as a quit does: the block it put in force
// with the switch on is lifted on the way out, and it exits normally.
void TestStartup::terminationSignalsLeaveThroughTheShutDown()
{
    if (::geteuid() != 0)
        QSKIP("runs the firewall tool itself only with the rights; the helper's case is elsewhere");
    QFETCH(int, signalNumber);
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.filePath("config/Ostrel Limited")));
    QFile settings(home.filePath("config/Ostrel Limited/Corvane.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[data1]\n7=true\n");
    settings.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char *folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        environment.insert(folder, home.filePath(QString::fromLatin1(folder).toLower()));
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_RUNTIME_DIR", home.path());
    environment.insert("TMPDIR", home.path());
    const int callsBefore = fakes.calls().size();
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(CORVANE_EXECUTABLE, QStringList());
    QVERIFY(program.waitForStarted(10000));
    const auto nftCalls = [&] {
        return fakes.calls().mid(callsBefore).filter(QRegularExpression("^nft\\t"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(!nftCalls().isEmpty(), 20000);
    QVERIFY(nftCalls().last().contains("policy drop"));
    QVERIFY(::kill(pid_t(program.processId()), signalNumber) == 0);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(nftCalls().last().contains("delete table inet VPNKillSwitchAllow"));
    QVERIFY(program.readAllStandardError().contains("Quitting"));
}

QTEST_MAIN(TestStartup)
#include "TestStartup.moc"
