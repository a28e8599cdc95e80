#include "platform/StartupEntry.h"

#include <QtTest>

class TestStartupEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void execLineQuoting_data();
    void execLineQuoting();
    void entryFollowsXdgConfigHome();

private:
    QTemporaryDir configHome;
};

void TestStartupEntry::initTestCase()
{
    QVERIFY(configHome.isValid());
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
}

void TestStartupEntry::execLineQuoting_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("execLine");
    QTest::newRow("plain path") << "/usr/bin/corvane"
                                << "Exec=/usr/bin/corvane --hidden";
    QTest::newRow("space") << "/opt/my apps/corvane"
                           << "Exec=\"/opt/my apps/corvane\" --hidden";
    QTest::newRow("dollar and quote") << "/opt/a$b\"c/corvane"
                                      << "Exec=\"/opt/a\\\\$b\\\\\"c/corvane\" --hidden";
    QTest::newRow("backslash") << "/opt/a\\b/corvane"
                               << "Exec=\"/opt/a\\\\\\\\b/corvane\" --hidden";
    QTest::newRow("percent") << "/opt/100%/corvane"
                             << "Exec=/opt/100%%/corvane --hidden";
}

void TestStartupEntry::execLineQuoting()
{
    QFETCH(QString, programPath);
    QFETCH(QString, execLine);
    const QStringList lines = Platform::autostartEntryText(programPath).split('\n');
    QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains("Type=Application"));
    QVERIFY2(lines.contains(execLine), qPrintable(lines.join(" | ")));
}

void TestStartupEntry::entryFollowsXdgConfigHome()
{
    const QString expected =
        configHome.path() + "/autostart/" + QCoreApplication::applicationName() + ".desktop";
    QCOMPARE(Platform::autostartEntryPath(), expected);
    QVERIFY(!Platform::startupEntryExists());
    Platform::setStartupEntry(true);
    QVERIFY(Platform::startupEntryExists());

    QSettings entry(expected, QSettings::IniFormat);
    entry.beginGroup("Desktop Entry");
    QCOMPARE(entry.value("Type").toString(), QStringLiteral("Application"));
    // The entry starts Corvane in the tray.
    QCOMPARE(entry.value("Exec").toString(), QCoreApplication::applicationFilePath() + " --hidden");

    Platform::setStartupEntry(true);
    QVERIFY(Platform::startupEntryExists());
    Platform::setStartupEntry(false);
    QVERIFY(!QFile::exists(expected));
    QVERIFY(!Platform::startupEntryExists());
    Platform::setStartupEntry(false);
    QVERIFY(!Platform::startupEntryExists());
}

QTEST_GUILESS_MAIN(TestStartupEntry)
#include "TestStartupEntry.moc"
