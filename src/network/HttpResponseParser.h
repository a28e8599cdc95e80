#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Reads one HTTP/1.1 response from the bytes of a connection as they come: the status line,
// the header fields and the body, whether its length is given, chunked or ends with the
// connection. Interim (1xx) responses are skipped. Whatever does not follow the protocol, or
// exceeds the limits below, fails the whole response.
class HttpResponseParser final {
public:
    static constexpr int maximumHeaderBytes = 64 * 1024;
    static constexpr int maximumHeaderFields = 100;
    // The largest body taken; a declared length or chunk past it fails the response at once.
    static constexpr qint64 maximumBodyBytes = 16 * 1024 * 1024;

    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    // What a field name may be (a token), and what a field value may hold: no control
    // characters but the tab, so never a line break.
    static bool isToken(const QByteArray &text);
    static bool isFieldValue(const QByteArray &text);

    // Takes the next bytes of the connection; bytes beyond the end of the response are kept,
    // unread, and mean the connection cannot carry another request.
    void feed(const QByteArray &bytes);
    // The connection has ended: a body that runs to the end is now complete; anything else
    // that is not complete has failed.
    void finishAtEndOfStream();

    bool headersComplete() const { return state > State::Headers && state != State::Failed; }
    bool complete() const { return state == State::Complete; }
    bool failed() const { return state == State::Failed; }
    // Nothing of any response has come yet.
    bool untouched() const { return !anyByteSeen; }

    int statusCode() const { return status; }
    QByteArray reasonPhrase() const { return reason; }
    HeaderList headers() const { return fields; }
    // The last value of the field, the name compared without case.
    QByteArray header(const QByteArray &name) const;
    // Body bytes decoded since the last call; none of a response that failed.
    QByteArray takeBody();
    // The response is complete, framed by its own length, nothing came after it, and neither
    // side asked to close: the connection may carry the next request.
    bool connectionReusable() const;

private:
    enum class State {
        StatusLine,
        Headers,
        LengthBody,
        ChunkSize,
        ChunkData,
        ChunkDataEnd,
        Trailers,
        BodyToEnd,
        Complete,
        Failed
    };

    bool step();
    bool readStatusLine();
    bool readHeaderLine();
    bool startBody();
    bool readLengthBody();
    bool readChunkSize();
    bool readChunkData();
    bool readChunkDataEnd();
    bool readTrailerLine();
    // The next line without its CRLF, or false when it has not all come yet (or is too long,
    // which fails the response).
    bool takeLine(QByteArray &line, int limit);
    // A line of the status, header or trailer section, all of which share one size limit.
    bool takeHeaderLine(QByteArray &line);
    // Moves what has come of the current length or chunk into the body.
    bool takeBodyBytes();
    // The body grows by count bytes; false (and failed) past the body's limit.
    bool admitBody(qint64 count);
    // The single value of a framing field: empty when it is absent, null when it is repeated or
    // empty, which fails the response.
    bool framingField(const char *name, QByteArray &value) const;
    bool fail();

    State state = State::StatusLine;
    // Bytes not yet read start at readPosition: reading moves it, and what was read is dropped
    // once per feed, so many small lines or chunks cost linear time.
    QByteArray pending;
    int readPosition = 0;
    QByteArray body;
    qint64 bodyBytes = 0;
    int headerBytes = 0;
    bool anyByteSeen = false;
    bool http10 = false;
    bool framedByItsLength = false;
    int status = 0;
    QByteArray reason;
    HeaderList fields;
    qint64 remaining = 0;
};
