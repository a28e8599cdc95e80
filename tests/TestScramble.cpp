#include "storage/Scramble.h"

#include <QtTest>

class TestScramble : public QObject {
    Q_OBJECT

private slots:
    void scrambleIsItsOwnInverseAndChangesEveryByte();
    void encoding_data();
    void encoding();
    void decodeStopsAtTheFirstNul();
};

void TestScramble::scrambleIsItsOwnInverseAndChangesEveryByte()
{
    QVERIFY(Scramble::key != 0);
    const QByteArray plain("member@example.com");
    const QByteArray scrambled = Scramble::scramble(plain);
    for (int i = 0; i < plain.size(); ++i)
        QVERIFY(scrambled.at(i) != plain.at(i));
    QCOMPARE(Scramble::scramble(scrambled), plain);
}

void TestScramble::encoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("encodedLength");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("one character") << "a" << 2;
    QTest::newRow("two characters") << "ab" << 3;
    QTest::newRow("three characters") << "abc" << 4;
    QTest::newRow("non-ASCII") << QStringLiteral("jörg.ñandú@exämple.com") << -1;
    QTest::newRow("signs") << QStringLiteral("p\"a\\s:s=w\to\nrd") << -1;
}

void TestScramble::encoding()
{
    QFETCH(QString, text);
    QFETCH(int, encodedLength);
    const QByteArray encoded = Scramble::encode(text);
    if (encodedLength >= 0)
        QCOMPARE(encoded.size(), encodedLength);
    QVERIFY(!encoded.contains('='));
    QVERIFY(QRegularExpression("^[A-Za-z0-9+/]*$").match(QString::fromLatin1(encoded)).hasMatch());
    QVERIFY(text.isEmpty() || !encoded.contains(text.toUtf8()));
    QCOMPARE(Scramble::decode(encoded), text);
}

void TestScramble::decodeStopsAtTheFirstNul()
{
    const QByteArray withNul =
        Scramble::scramble(QByteArray("pass\0tail", 9)).toBase64(QByteArray::OmitTrailingEquals);
    QCOMPARE(Scramble::decode(withNul), QStringLiteral("pass"));
}

QTEST_GUILESS_MAIN(TestScramble)
#include "TestScramble.moc"
