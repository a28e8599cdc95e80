#include "storage/Scramble.h"

#include <QtTest>

class TestScramble : public QObject {
    Q_OBJECT

private slots:
    void scrambleIsItsOwnInverseAndChangesEveryByte();
    void encoding_data();
    void encoding();
    void decodeStopsAtTheFirstNul();
    void strictDecodingRefusesWhatEncodeCannotWrite_data();
    void strictDecodingRefusesWhatEncodeCannotWrite();
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

void TestScramble::strictDecodingRefusesWhatEncodeCannotWrite_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("ASCII") << QByteArray("secret") << true;
    QTest::newRow("two-byte character") << QByteArray("j\xc3\xb6rg") << true;
    QTest::newRow("the replacement character itself") << QByteArray("a\xef\xbf\xbd") << true;
    QTest::newRow("a byte no character starts with") << QByteArray("a\xff") << false;
    QTest::newRow("a character cut short at the end") << QByteArray("ab\xc3") << false;
    QTest::newRow("an overlong slash") << QByteArray("\xc0\xaf") << false;
    QTest::newRow("a surrogate") << QByteArray("\xed\xa0\x80") << false;
}

void TestScramble::strictDecodingRefusesWhatEncodeCannotWrite()
{
    QFETCH(QByteArray, plain);
    const QByteArray encoded = Scramble::scramble(plain).toBase64(QByteArray::OmitTrailingEquals);
    QString text;
    QTEST(Scramble::decodeStrictly(encoded, text), "accepted");
    if (Scramble::decodeStrictly(encoded, text))
        QCOMPARE(text, QString::fromUtf8(plain));
}

QTEST_GUILESS_MAIN(TestScramble)
#include "TestScramble.moc"
