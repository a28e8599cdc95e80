#include "network/HttpResponseParser.h"

#include <QtTest>

class TestHttpResponseParser : public QObject {
    Q_OBJECT

private slots:
    void responses_data();
    void responses();
    void oversizedHeaderSectionFails();
    void tooManyFieldsFail();
    void repeatedFieldsKeepTheLastValue();
    void aFailureAtTheEndHandsOutNoBody();
    void bodyToTheEndStopsAtTheLimit();
};

namespace {

struct Outcome {
    bool complete = false;
    bool failed = false;
    int status = 0;
    QByteArray body;
    bool reusable = false;
};

Outcome parse(const QByteArray &bytes, bool endOfStream, bool byteByByte)
{
    HttpResponseParser parser;
    QByteArray body;
    if (byteByByte) {
        for (const char c : bytes) {
            parser.feed(QByteArray(1, c));
            body += parser.takeBody();
        }
    } else {
        parser.feed(bytes);
    }
    if (endOfStream)
        parser.finishAtEndOfStream();
    body += parser.takeBody();
    return {parser.complete(), parser.failed(), parser.statusCode(), body,
            parser.connectionReusable()};
}

} // namespace

void TestHttpResponseParser::responses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("endOfStream");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("reusable");

    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("length") << ok + "Content-Length: 5\r\n\r\nhello" << false << true << false
                            << 200 << QByteArray("hello") << true;
    QTest::newRow("length not all there") << ok + "Content-Length: 9\r\n\r\nhello" << false << false
                                          << false << 200 << QByteArray("hello") << false;
    QTest::newRow("length cut by the end of the stream")
        << ok + "Content-Length: 9\r\n\r\nhello" << true << false << true << 200 << QByteArray()
        << false;
    QTest::newRow("same length twice") << ok + "Content-Length: 5, 5\r\n\r\nhello" << false << true
                                       << false << 200 << QByteArray("hello") << true;
    QTest::newRow("chunked, extensions and trailers")
        << ok + "Transfer-Encoding: chunked\r\n\r\n5;name=value\r\nhello\r\nA\r\n and more\n\r\n"
                "0\r\nX-Checksum: 1\r\n\r\n"
        << false << true << false << 200 << QByteArray("hello and more\n") << true;
    QTest::newRow("to the end of the stream")
        << ok + "\r\n[1,2]" << true << true << false << 200 << QByteArray("[1,2]") << false;
    QTest::newRow("to the end, stream still open")
        << ok + "\r\n[1,2]" << false << false << false << 200 << QByteArray("[1,2]") << false;
    QTest::newRow("interim responses skipped")
        << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: 1\r\n\r\n" + ok +
               "Content-Length: 2\r\n\r\nok"
        << false << true << false << 200 << QByteArray("ok") << true;
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false << true
                                << false << 204 << QByteArray() << true;
    QTest::newRow("bare line feeds") << QByteArray("HTTP/1.1 401 Unauthorized\nContent-Length: "
                                                   "2\n\n{}")
                                     << false << true << false << 401 << QByteArray("{}") << true;
    QTest::newRow("no reason phrase") << QByteArray("HTTP/1.1 503\r\nContent-Length: 0\r\n\r\n")
                                      << false << true << false << 503 << QByteArray() << true;
    QTest::newRow("server closes") << ok + "Connection: keep-alive, Close\r\nContent-Length: "
                                           "0\r\n\r\n"
                                   << false << true << false << 200 << QByteArray() << false;
    QTest::newRow("HTTP/1.0") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")
                              << false << true << false << 200 << QByteArray("ok") << false;
    QTest::newRow("bytes after the response")
        << ok + "Content-Length: 2\r\n\r\nokHTTP/1.1 200 OK\r\n"
        << false << true << false << 200 << QByteArray("ok") << false;

    const auto fails = [](const char *name, const QByteArray &bytes) {
        QTest::newRow(name) << bytes << true << false << true << 0 << QByteArray() << false;
    };
    fails("not HTTP", "SSH-2.0-OpenSSH_9.2\r\n");
    fails("HTTP/2", "HTTP/2 200\r\n\r\n");
    fails("status too small", "HTTP/1.1 099 Odd\r\n\r\n");
    fails("status too large", "HTTP/1.1 600 Odd\r\n\r\n");
    fails("status not digits", "HTTP/1.1 2x0 Odd\r\n\r\n");
    fails("switching protocols", "HTTP/1.1 101 Switching Protocols\r\n\r\n");
    fails("blank before the colon", ok + "Content-Length : 2\r\n\r\nok");
    fails("folded field", ok + "X-Long: a\r\n b\r\nContent-Length: 2\r\n\r\nok");
    fails("line break inside a value", ok + "X-Value: a\rb\r\nContent-Length: 2\r\n\r\nok");
    fails("lengths that differ", ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nokk");
    fails("negative length", ok + "Content-Length: -1\r\n\r\n");
    fails("length too long to hold", ok + "Content-Length: 99999999999999999999\r\n\r\n");
    fails("chunk size with a prefix",
          ok + "Transfer-Encoding: chunked\r\n\r\n0x2\r\nok\r\n0\r\n\r\n");
    fails("chunk size too long to hold",
          ok + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\nok\r\n0\r\n\r\n");
    fails("chunk without its line end", ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nokX0\r\n\r\n");
    fails("compressed transfer", ok + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n");
    fails("compressed content", ok + "Content-Encoding: gzip\r\nContent-Length: 2\r\n\r\nok");
    // Framing said twice, or said empty, could be read another way by whatever stands between.
    fails("length and chunked both",
          ok + "Content-Length: 100\r\nTransfer-Encoding: Chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n");
    fails("transfer coding said twice",
          ok + "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n");
    fails("empty transfer coding", ok + "Transfer-Encoding:\r\nContent-Length: 2\r\n\r\nok");
    fails("empty length", ok + "Content-Length: \r\n\r\nok");
    fails("length said twice", ok + "Content-Length: 2\r\nContent-Length: 2\r\n\r\nok");
    fails("length past the body's limit", ok + "Content-Length: 16777217\r\n\r\n");
    fails("chunk past the body's limit", ok + "Transfer-Encoding: chunked\r\n\r\n1000001\r\nok");
}

void TestHttpResponseParser::responses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, endOfStream);
    QFETCH(bool, complete);
    QFETCH(bool, failed);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, reusable);
    for (const bool byteByByte : {false, true}) {
        const Outcome outcome = parse(bytes, endOfStream, byteByByte);
        QCOMPARE(outcome.failed, failed);
        QCOMPARE(outcome.complete, complete);
        if (outcome.failed)
            continue;
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.body, body);
        QCOMPARE(outcome.reusable, reusable);
    }
}

void TestHttpResponseParser::oversizedHeaderSectionFails()
{
    HttpResponseParser parser;
    parser.feed("HTTP/1.1 200 OK\r\nX-Padding: ");
    // A header that never ends is refused once it passes the limit, without waiting for its end.
    parser.feed(QByteArray(HttpResponseParser::maximumHeaderBytes, 'a'));
    QVERIFY(parser.failed());
}

void TestHttpResponseParser::tooManyFieldsFail()
{
    HttpResponseParser parser;
    QByteArray bytes = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i <= HttpResponseParser::maximumHeaderFields; ++i)
        bytes += "X-Field-" + QByteArray::number(i) + ": 1\r\n";
    parser.feed(bytes + "Content-Length: 0\r\n\r\n");
    QVERIFY(parser.failed());
}

void TestHttpResponseParser::repeatedFieldsKeepTheLastValue()
{
    HttpResponseParser parser;
    parser.feed(
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\nContent-Length: 0\r\n\r\n");
    QVERIFY(parser.complete());
    QCOMPARE(parser.header("SET-COOKIE"), QByteArray("b=2"));
    QCOMPARE(parser.headers().size(), 3);
}

void TestHttpResponseParser::aFailureAtTheEndHandsOutNoBody()
{
    HttpResponseParser parser;
    parser.feed("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello");
    parser.finishAtEndOfStream();
    QVERIFY(parser.failed());
    QCOMPARE(parser.takeBody(), QByteArray());
}

void TestHttpResponseParser::bodyToTheEndStopsAtTheLimit()
{
    HttpResponseParser parser;
    parser.feed("HTTP/1.1 200 OK\r\n\r\n");
    const QByteArray piece(1024 * 1024, 'x');
    for (int i = 0; i < 16; ++i)
        parser.feed(piece);
    QVERIFY(!parser.failed());
    parser.feed("y");
    QVERIFY(parser.failed());
}

QTEST_APPLESS_MAIN(TestHttpResponseParser)
#include "TestHttpResponseParser.moc"
