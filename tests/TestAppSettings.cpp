#include "storage/AppSettings.h"
#include "storage/CredentialVault.h"
#include "storage/Scramble.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Runs against a private configuration folder and checks the stored file itself, read with an
// independent INI reader, not only what AppSettings answers.
class TestAppSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void freshStoreDefaults();
    void switchesUnderDecimalKeys_data();
    void switchesUnderDecimalKeys();
    void valuesUnderDecimalKeys_data();
    void valuesUnderDecimalKeys();
    void onlyAChangeRewritesTheFile_data();
    void onlyAChangeRewritesTheFile();
    void credentialTargetStoredEncoded_data();
    void credentialTargetStoredEncoded();
    void favoritesThreeThenTwo();
    void damagedStoreIsReadSafely_data();
    void damagedStoreIsReadSafely();
    void startupSwitchIsTheAutostartEntry();
    void resetClearsEverythingButTheStartupEntry();

private:
    QVariant stored(const QString &key) const;

    QTemporaryDir home;
    QString storeFile;
};

void TestAppSettings::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    storeFile = home.path() + "/config/Ostrel Limited/Corvane.conf";
}

void TestAppSettings::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Ostrel Limited", "Corvane").clear();
    AppSettings::setSwitchState(AppSettings::Startup, false);
}

QVariant TestAppSettings::stored(const QString &key) const
{
    QSettings file(storeFile, QSettings::IniFormat);
    return file.value(key);
}

void TestAppSettings::freshStoreDefaults()
{
    for (int key = AppSettings::TrayIcon; key <= AppSettings::KillSwitch; ++key)
        QVERIFY(!AppSettings::switchState(AppSettings::Switch(key)));
    QVERIFY(!AppSettings::value(AppSettings::Language).isValid());
    QCOMPARE(AppSettings::value(AppSettings::Language).toInt(), 0);
    QCOMPARE(AppSettings::value(AppSettings::LastServerId).toInt(), 0);
    QVERIFY(AppSettings::value(AppSettings::CredentialTarget).toByteArray().isEmpty());
    QVERIFY(AppSettings::value(AppSettings::LastEmail).toString().isEmpty());
    QCOMPARE(AppSettings::value(AppSettings::RememberPassword).toBool(), false);
    QVERIFY(AppSettings::favoriteServerIds().isEmpty());
}

void TestAppSettings::switchesUnderDecimalKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("entry");
    QTest::newRow("TrayIcon") << int(AppSettings::TrayIcon) << "data1/0";
    QTest::newRow("Notifications") << int(AppSettings::Notifications) << "data1/1";
    QTest::newRow("AutoConnect") << int(AppSettings::AutoConnect) << "data1/2";
    QTest::newRow("SetDNS") << int(AppSettings::SetDNS) << "data1/4";
    QTest::newRow("Analytics") << int(AppSettings::Analytics) << "data1/5";
    QTest::newRow("CrashReports") << int(AppSettings::CrashReports) << "data1/6";
    QTest::newRow("KillSwitch") << int(AppSettings::KillSwitch) << "data1/7";
}

void TestAppSettings::switchesUnderDecimalKeys()
{
    QFETCH(int, key);
    QFETCH(QString, entry);
    const auto sw = AppSettings::Switch(key);
    QVERIFY(AppSettings::setSwitchState(sw, true));
    QCOMPARE(stored(entry).toBool(), true);
    QVERIFY(AppSettings::switchState(sw));
    for (int other = AppSettings::TrayIcon; other <= AppSettings::KillSwitch; ++other)
        QCOMPARE(AppSettings::switchState(AppSettings::Switch(other)), other == key);

    QVERIFY(AppSettings::setSwitchState(sw, false));
    QCOMPARE(stored(entry).toBool(), false);
    QVERIFY(!AppSettings::switchState(sw));
}

void TestAppSettings::valuesUnderDecimalKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("entry");
    QTest::newRow("Language") << int(AppSettings::Language) << QVariant(5) << "data2/0";
    QTest::newRow("LastServerId") << int(AppSettings::LastServerId) << QVariant(4711) << "data2/1";
    QTest::newRow("LastEmail") << int(AppSettings::LastEmail)
                               << QVariant(QStringLiteral("jörg@example.com")) << "data2/3";
    QTest::newRow("RememberPassword")
        << int(AppSettings::RememberPassword) << QVariant(true) << "data2/4";
}

void TestAppSettings::valuesUnderDecimalKeys()
{
    QFETCH(int, key);
    QFETCH(QVariant, value);
    QFETCH(QString, entry);
    QVERIFY(AppSettings::setValue(AppSettings::Value(key), value));
    QCOMPARE(stored(entry).toString(), value.toString());
    QCOMPARE(AppSettings::value(AppSettings::Value(key)).toString(), value.toString());
}

void TestAppSettings::onlyAChangeRewritesTheFile_data()
{
    QTest::addColumn<QVariant>("first");
    QTest::addColumn<QVariant>("second");
    QTest::addColumn<bool>("rewritten");
    QTest::newRow("same number") << QVariant(7) << QVariant(7) << false;
    QTest::newRow("another number") << QVariant(7) << QVariant(8) << true;
    QTest::newRow("same text") << QVariant("a@b.c") << QVariant("a@b.c") << false;
    QTest::newRow("empty after text") << QVariant("a@b.c") << QVariant(QString()) << true;
}

// Every write replaces the file (a new one renamed over it); the one held open here keeps its
// own identity, so a rewrite shows as another file under the name.
void TestAppSettings::onlyAChangeRewritesTheFile()
{
    QFETCH(QVariant, first);
    QFETCH(QVariant, second);
    AppSettings::setValue(AppSettings::LastEmail, first);
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    const int before = ::open(QFile::encodeName(storeFile).constData(), O_RDONLY);
    QVERIFY(before >= 0);
    AppSettings::setValue(AppSettings::LastEmail, second);
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    struct stat held = {};
    struct stat named = {};
    QCOMPARE(::fstat(before, &held), 0);
    ::close(before);
    QCOMPARE(::stat(QFile::encodeName(storeFile).constData(), &named), 0);
    QTEST(held.st_ino != named.st_ino, "rewritten");
    QCOMPARE(AppSettings::value(AppSettings::LastEmail).toString(), second.toString());
}

void TestAppSettings::credentialTargetStoredEncoded_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("storedLength");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("one character") << "m" << 2;
    QTest::newRow("e-mail address") << QStringLiteral("member@exämple.com") << 26;
}

void TestAppSettings::credentialTargetStoredEncoded()
{
    QFETCH(QString, target);
    QFETCH(int, storedLength);
    AppSettings::setValue(AppSettings::CredentialTarget, target);
    const QByteArray inFile = stored("data2/2").toByteArray();
    QCOMPARE(inFile.size(), storedLength);
    QVERIFY(!inFile.contains('='));
    QCOMPARE(inFile, Scramble::encode(target));
    QCOMPARE(AppSettings::value(AppSettings::CredentialTarget).toByteArray(), inFile);

    QFile raw(storeFile);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    QVERIFY(target.isEmpty() || !text.contains(target.toUtf8()));
}

void TestAppSettings::favoritesThreeThenTwo()
{
    AppSettings::setFavoriteServerIds({12, 7, 301});
    QCOMPARE(stored("favorites/ids/size").toInt(), 3);
    QCOMPARE(stored("favorites/ids/1/id").toInt(), 12);
    QCOMPARE(stored("favorites/ids/3/id").toInt(), 301);
    QCOMPARE(AppSettings::favoriteServerIds(), QVector<int>({12, 7, 301}));

    AppSettings::setFavoriteServerIds({5, 9});
    QCOMPARE(stored("favorites/ids/size").toInt(), 2);
    QCOMPARE(stored("favorites/ids/1/id").toInt(), 5);
    QCOMPARE(stored("favorites/ids/2/id").toInt(), 9);
    QVERIFY(!stored("favorites/ids/3/id").isValid());
    QCOMPARE(AppSettings::favoriteServerIds(), QVector<int>({5, 9}));

    AppSettings::setFavoriteServerIds({});
    QVERIFY(AppSettings::favoriteServerIds().isEmpty());
}

void TestAppSettings::damagedStoreIsReadSafely_data()
{
    QTest::addColumn<QString>("contents");
    QTest::addColumn<bool>("killSwitch");
    QTest::addColumn<QVector<int>>("favorites");
    QTest::newRow("a size far beyond the entries")
        << "[favorites]\nids\\size=600000000\nids\\1\\id=4\nids\\2\\id=9\n"
        << false << QVector<int>{4, 9};
    QTest::newRow("a negative size") << "[favorites]\nids\\size=-5\nids\\1\\id=4\n"
                                     << false << QVector<int>{};
    QTest::newRow("ids that are not numbers or repeat")
        << "[favorites]\nids\\size=3\nids\\1\\id=x\nids\\2\\id=7\nids\\3\\id=7\n"
        << false << QVector<int>{7};
    QTest::newRow("switch maybe") << "[data1]\n7=maybe\n" << false << QVector<int>{};
    QTest::newRow("switch true") << "[data1]\n7=true\n" << true << QVector<int>{};
    QTest::newRow("switch false") << "[data1]\n7=false\n" << false << QVector<int>{};
}

// The settings file is input too: whatever it holds, reading it is bounded and a switch is on
// only when it says so.
void TestAppSettings::damagedStoreIsReadSafely()
{
    QFETCH(QString, contents);
    QFile file(storeFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents.toUtf8());
    file.close();
    QTEST(AppSettings::switchState(AppSettings::KillSwitch), "killSwitch");
    QTEST(AppSettings::favoriteServerIds(), "favorites");
}

void TestAppSettings::startupSwitchIsTheAutostartEntry()
{
    const QString entry =
        home.path() + "/config/autostart/" + QCoreApplication::applicationName() + ".desktop";
    QVERIFY(AppSettings::setSwitchState(AppSettings::Startup, true));
    QVERIFY(QFile::exists(entry));
    QVERIFY(AppSettings::switchState(AppSettings::Startup));
    QVERIFY(!stored("data1/3").isValid());

    QVERIFY(AppSettings::setSwitchState(AppSettings::Startup, false));
    QVERIFY(!QFile::exists(entry));
    QVERIFY(!AppSettings::switchState(AppSettings::Startup));
}

void TestAppSettings::resetClearsEverythingButTheStartupEntry()
{
    const QString email = QStringLiteral("reset@example.com");
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    AppSettings::setSwitchState(AppSettings::Startup, true);
    AppSettings::setValue(AppSettings::Language, 3);
    AppSettings::setValue(AppSettings::CredentialTarget, email);
    AppSettings::setValue(AppSettings::LastEmail, email);
    AppSettings::setFavoriteServerIds({1, 2});
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    const bool keyring = CredentialVault::write(email, "secret", target);

    AppSettings::resetApplication();

    QVERIFY(!AppSettings::switchState(AppSettings::KillSwitch));
    QVERIFY(!AppSettings::value(AppSettings::Language).isValid());
    QVERIFY(!AppSettings::value(AppSettings::CredentialTarget).isValid());
    QVERIFY(!AppSettings::value(AppSettings::LastEmail).isValid());
    QVERIFY(AppSettings::favoriteServerIds().isEmpty());
    QSettings file(storeFile, QSettings::IniFormat);
    QVERIFY(file.allKeys().isEmpty());
    QVERIFY(AppSettings::switchState(AppSettings::Startup));

    QVERIFY2(keyring, "run through tests/helpers/with-private-keyring");
    QString user = "untouched";
    QString secret = "untouched";
    QVERIFY(!CredentialVault::read(user, secret, target));
}

QTEST_GUILESS_MAIN(TestAppSettings)
#include "TestAppSettings.moc"
