#include "storage/CredentialVault.h"
#include "storage/Scramble.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

// Runs against a real Secret Service: CTest starts it inside a private D-Bus session with an
// unlocked GNOME keyring (tests/helpers/with-private-keyring). The no-bus case runs in a second
// CTest entry without any session bus.
class TestCredentialVault : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void writingAgainReplaces();
    void twoEmptyStringsDelete();
    void absentTargetLeavesOutputsUntouched();
    void keyringHoldsNothingInClear();
    void failsFastWithoutSessionBus();

private:
    bool keyringAvailable() const
    {
        return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    }
    // What the keyring itself holds for a target: attributes and secret, as secret-tool shows.
    QByteArray keyringDump(const QByteArray &target) const;
};

QByteArray TestCredentialVault::keyringDump(const QByteArray &target) const
{
    QProcess tool;
    tool.start("secret-tool",
               {"search", "--all", "--unlock", "target", QString::fromLatin1(target)});
    tool.waitForFinished(10000);
    return tool.readAllStandardOutput() + tool.readAllStandardError();
}

void TestCredentialVault::roundTrip_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("secret");
    QTest::newRow("ASCII") << "member@example.com"
                           << "hunter2";
    QTest::newRow("non-ASCII") << QStringLiteral("jörg.ñandú@exämple.com")
                               << QStringLiteral("pässwörd-✓-日本");
    QTest::newRow("empty password") << "empty@example.com" << QString();
    QTest::newRow("separators and signs") << "a:b@example.com"
                                          << "p:a=s\"s\\w\to\nrd";
}

void TestCredentialVault::roundTrip()
{
    QVERIFY2(keyringAvailable(), "run through tests/helpers/with-private-keyring");
    QFETCH(QString, user);
    QFETCH(QString, secret);
    const QByteArray target = Scramble::encode(user);
    QVERIFY(CredentialVault::write(user, secret, target));
    QString readUser;
    QString readSecret = "not empty";
    QVERIFY(CredentialVault::read(readUser, readSecret, target));
    QCOMPARE(readUser, user);
    QCOMPARE(readSecret, secret);
    QVERIFY(CredentialVault::write(QString(), QString(), target));
}

void TestCredentialVault::writingAgainReplaces()
{
    QVERIFY2(keyringAvailable(), "run through tests/helpers/with-private-keyring");
    const QByteArray target = Scramble::encode("replace@example.com");
    QVERIFY(CredentialVault::write("replace@example.com", "first", target));
    QVERIFY(CredentialVault::write("replace@example.com", "second", target));
    QString user;
    QString secret;
    QVERIFY(CredentialVault::read(user, secret, target));
    QCOMPARE(secret, QStringLiteral("second"));
    QCOMPARE(keyringDump(target).count("[/"), 1);
    QVERIFY(CredentialVault::write(QString(), QString(), target));
}

void TestCredentialVault::twoEmptyStringsDelete()
{
    QVERIFY2(keyringAvailable(), "run through tests/helpers/with-private-keyring");
    const QByteArray target = Scramble::encode("delete@example.com");
    QVERIFY(!CredentialVault::write(QString(), QString(), target));
    QVERIFY(keyringDump(target).isEmpty());

    QVERIFY(CredentialVault::write("delete@example.com", "pw", target));
    QVERIFY(CredentialVault::write(QString(), QString(), target));
    QString user;
    QString secret;
    QVERIFY(!CredentialVault::read(user, secret, target));
    QVERIFY(!CredentialVault::write(QString(), QString(), target));
    QVERIFY(!CredentialVault::write(QString(), QString(), QByteArray()));
}

void TestCredentialVault::absentTargetLeavesOutputsUntouched()
{
    QVERIFY2(keyringAvailable(), "run through tests/helpers/with-private-keyring");
    QString user = "kept user";
    QString secret = "kept secret";
    QVERIFY(!CredentialVault::read(user, secret, Scramble::encode("nobody@example.com")));
    QCOMPARE(user, QStringLiteral("kept user"));
    QCOMPARE(secret, QStringLiteral("kept secret"));
}

void TestCredentialVault::keyringHoldsNothingInClear()
{
    QVERIFY2(keyringAvailable(), "run through tests/helpers/with-private-keyring");
    const QString email = QStringLiteral("clear.text@example.com");
    const QString password = QStringLiteral("VisiblePassword42");
    const QByteArray target = Scramble::encode(email);
    QVERIFY(CredentialVault::write(email, password, target));

    const QByteArray dump = keyringDump(target);
    QVERIFY2(dump.contains("attribute.target = " + target), dump.constData());
    QVERIFY(dump.contains("secret = "));
    QVERIFY(!dump.contains(email.toUtf8()));
    QVERIFY(!dump.contains(password.toUtf8()));
    QVERIFY(!dump.contains("clear.text"));
    QVERIFY(!dump.contains("VisiblePassword"));
    const QByteArray storedSecret =
        dump.mid(dump.indexOf("secret = ") + int(qstrlen("secret = "))).split('\n').first();
    QVERIFY(!storedSecret.isEmpty());
    QVERIFY(!storedSecret.contains('='));
    QVERIFY(CredentialVault::write(QString(), QString(), target));
}

void TestCredentialVault::failsFastWithoutSessionBus()
{
    if (keyringAvailable())
        QSKIP("runs in the CTest entry without a session bus");
    QElapsedTimer timer;
    timer.start();
    const QByteArray target = Scramble::encode("nobus@example.com");
    QVERIFY(!CredentialVault::write("nobus@example.com", "pw", target));
    QString user = "kept";
    QString secret = "kept";
    QVERIFY(!CredentialVault::read(user, secret, target));
    QCOMPARE(user, QStringLiteral("kept"));
    QVERIFY(!CredentialVault::write(QString(), QString(), target));
    // Far below the 25 s a D-Bus call may wait for an answer, however loaded the machine.
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestCredentialVault)
#include "TestCredentialVault.moc"
