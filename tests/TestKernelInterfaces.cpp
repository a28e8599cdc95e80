#include "platform/KernelInterfaces.h"

#include <QTemporaryDir>
#include <QtTest>

using Platform::readInterfaceCounters;

class TestKernelInterfaces : public QObject {
    Q_OBJECT

private slots:
    void readsTheKernelsCountersOfAnInterface();
    void readsOnlyTwoWholeCounters_data();
    void readsOnlyTwoWholeCounters();
};

void TestKernelInterfaces::readsTheKernelsCountersOfAnInterface()
{
    QVERIFY(readInterfaceCounters(QStringLiteral("lo")).has_value());
    QVERIFY(!readInterfaceCounters(QStringLiteral("corvane_none")).has_value());
    QVERIFY(Platform::mayHaveInterface(QStringLiteral("lo")));
    QVERIFY(!Platform::mayHaveInterface(QStringLiteral("corvane_none")));
    QVERIFY(!Platform::mayHaveInterface(QStringLiteral("../net")));
}

void TestKernelInterfaces::readsOnlyTwoWholeCounters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("read");
    QTest::newRow("two counters") << "vpn_wg0" << QByteArray("1234\n") << QByteArray("99\n")
                                  << true;
    QTest::newRow("the largest 64-bit count")
        << "vpn_wg0" << QByteArray("18446744073709551615\n") << QByteArray("0\n") << true;
    QTest::newRow("not a number") << "vpn_wg0" << QByteArray("12ab\n") << QByteArray("1\n")
                                  << false;
    QTest::newRow("empty") << "vpn_wg0" << QByteArray() << QByteArray("1\n") << false;
    QTest::newRow("negative") << "vpn_wg0" << QByteArray("-5\n") << QByteArray("1\n") << false;
    QTest::newRow("a path, not a name")
        << "../vpn_wg0" << QByteArray("1\n") << QByteArray("1\n") << false;
    QTest::newRow("the parent") << ".." << QByteArray("1\n") << QByteArray("1\n") << false;
}

void TestKernelInterfaces::readsOnlyTwoWholeCounters()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, sent);
    QFETCH(bool, read);
    // The interface's files under <root>/net/<name>/statistics; "../vpn_wg0" would reach the
    // one beside the root.
    QTemporaryDir scratch;
    const QString root = scratch.path() + "/net";
    for (const QString &place : {root + "/vpn_wg0", scratch.path() + "/vpn_wg0", root}) {
        QVERIFY(QDir().mkpath(place + "/statistics"));
        QFile rx(place + "/statistics/rx_bytes");
        QFile tx(place + "/statistics/tx_bytes");
        QVERIFY(rx.open(QIODevice::WriteOnly) && tx.open(QIODevice::WriteOnly));
        rx.write(received);
        tx.write(sent);
    }
    const auto counters = readInterfaceCounters(name, root);
    QCOMPARE(counters.has_value(), read);
    if (read) {
        QCOMPARE(counters->receivedBytes, received.trimmed().toULongLong());
        QCOMPARE(counters->sentBytes, sent.trimmed().toULongLong());
    }
}

QTEST_GUILESS_MAIN(TestKernelInterfaces)
#include "TestKernelInterfaces.moc"
