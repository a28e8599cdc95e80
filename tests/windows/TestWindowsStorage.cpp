// windows.h declares the types every other Windows header uses: it comes first.
#include <windows.h>

#include <wincred.h>

#include "storage/AppSettings.h"
#include "storage/CredentialVault.h"
#include "storage/Scramble.h"

#include <QCoreApplication>
#include <QSettings>
#include <QtTest>

namespace {

const QString settingsKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Ostrel Limited\\Corvane");
const QString runKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

// What the Credential Manager itself holds for a target, read past the program's own code.
struct StoredRecord {
    bool found = false;
    QByteArray userName;
    QByteArray blob;
};

StoredRecord credentialManagerRecord(const QByteArray &target)
{
    StoredRecord stored;
    PCREDENTIALA record = nullptr;
    if (CredReadA(target.constData(), CRED_TYPE_GENERIC, 0, &record) != TRUE)
        return stored;
    stored.found = true;
    stored.userName = record->UserName;
    stored.blob = QByteArray(reinterpret_cast<const char *>(record->CredentialBlob),
                             int(record->CredentialBlobSize));
    CredFree(record);
    return stored;
}

} // namespace

// The member's credentials in the Windows Credential Manager, the settings and the start at log-in
// in the registry: through the real Windows calls, as Wine provides them.
class TestWindowsStorage : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void credentialsRoundTrip_data();
    void credentialsRoundTrip();
    void credentialsAreGoneOnceDeleted();
    void settingsLiveInTheRegistry();
    void startAtLogInIsAQuotedRunValue();
};

void TestWindowsStorage::init()
{
    QSettings(settingsKey, QSettings::NativeFormat).remove(QString());
    QSettings(runKey, QSettings::NativeFormat).remove(QCoreApplication::applicationName());
}

void TestWindowsStorage::cleanup()
{
    init();
}

void TestWindowsStorage::credentialsRoundTrip_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("secret");
    QTest::newRow("ASCII") << "member@example.com"
                           << "hunter2";
    QTest::newRow("non-ASCII") << QStringLiteral("jörg.ñandú@exämple.com")
                               << QStringLiteral("pässwörd-✓-日本");
    QTest::newRow("separators and signs") << "a:b@example.com"
                                          << "p:a=s\"s\\w\to\nrd";
}

void TestWindowsStorage::credentialsRoundTrip()
{
    QFETCH(QString, user);
    QFETCH(QString, secret);
    const QByteArray target = Scramble::encode(user);
    QVERIFY(CredentialVault::write(user, secret, target));

    const StoredRecord stored = credentialManagerRecord(target);
    QVERIFY(stored.found);
    QVERIFY2(!stored.blob.contains(secret.toUtf8()), "the password is kept scrambled");
    QVERIFY(!stored.userName.contains(user.toUtf8()));

    QString readUser;
    QString readSecret;
    QVERIFY(CredentialVault::read(readUser, readSecret, target));
    QCOMPARE(readUser, user);
    QCOMPARE(readSecret, secret);
    QVERIFY(CredentialVault::write(QString(), QString(), target));
}

void TestWindowsStorage::credentialsAreGoneOnceDeleted()
{
    const QByteArray target = Scramble::encode(QStringLiteral("gone@example.com"));
    QVERIFY(
        CredentialVault::write(QStringLiteral("gone@example.com"), QStringLiteral("pw"), target));
    QVERIFY(credentialManagerRecord(target).found);
    QVERIFY(CredentialVault::write(QString(), QString(), target));
    QVERIFY(!credentialManagerRecord(target).found);
    QString user = QStringLiteral("untouched");
    QString secret = QStringLiteral("untouched");
    QVERIFY(!CredentialVault::read(user, secret, target));
    QCOMPARE(user, QStringLiteral("untouched"));
}

void TestWindowsStorage::settingsLiveInTheRegistry()
{
    QVERIFY(AppSettings::setSwitchState(AppSettings::KillSwitch, true));
    AppSettings::setFavoriteServerIds({7, 3});
    QVERIFY(AppSettings::switchState(AppSettings::KillSwitch));
    QCOMPARE(AppSettings::favoriteServerIds(), (QVector<int>{7, 3}));

    // A registry value of the program's own key, not a file beside it.
    QSettings registry(settingsKey, QSettings::NativeFormat);
    QVERIFY2(!registry.allKeys().isEmpty(), qPrintable(registry.allKeys().join(',')));
    QVERIFY(registry.childGroups().contains(QStringLiteral("favorites")));

    AppSettings::resetApplication();
    QVERIFY(!AppSettings::switchState(AppSettings::KillSwitch));
    QVERIFY(AppSettings::favoriteServerIds().isEmpty());
}

void TestWindowsStorage::startAtLogInIsAQuotedRunValue()
{
    QVERIFY(!AppSettings::switchState(AppSettings::Startup));
    QVERIFY(AppSettings::setSwitchState(AppSettings::Startup, true));
    QVERIFY(AppSettings::switchState(AppSettings::Startup));

    const QString value = QSettings(runKey, QSettings::NativeFormat)
                              .value(QCoreApplication::applicationName())
                              .toString();
    const QString expected = '"' + QCoreApplication::applicationFilePath().replace('/', '\\') + '"';
    QCOMPARE(value, expected);

    QVERIFY(AppSettings::setSwitchState(AppSettings::Startup, false));
    QVERIFY(!AppSettings::switchState(AppSettings::Startup));
    QVERIFY(
        !QSettings(runKey, QSettings::NativeFormat).contains(QCoreApplication::applicationName()));
}

QTEST_GUILESS_MAIN(TestWindowsStorage)
#include "TestWindowsStorage.moc"
