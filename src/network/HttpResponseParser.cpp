#include "network/HttpResponseParser.h"

namespace {

constexpr int maximumChunkLineBytes = 1024;

bool isTokenCharacter(char c)
{
    static const QByteArray punctuation("!#$%&'*+-.^_`|~");
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           punctuation.contains(c);
}

bool parseDecimal(const QByteArray &text, qint64 &value)
{
    // Eighteen digits cannot overflow a qint64; no real body comes near.
    if (text.isEmpty() || text.size() > 18)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool parseHex(const QByteArray &text, qint64 &value)
{
    // Fifteen hex digits cannot overflow a qint64.
    if (text.isEmpty() || text.size() > 15)
        return false;
    value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value * 16 + digit;
    }
    return true;
}

QList<QByteArray> listElements(const QByteArray &value)
{
    QList<QByteArray> elements;
    for (const QByteArray &element : value.split(',')) {
        const QByteArray trimmed = element.trimmed().toLower();
        if (!trimmed.isEmpty())
            elements << trimmed;
    }
    return elements;
}

} // namespace

bool HttpResponseParser::isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isTokenCharacter(c))
            return false;
    }
    return true;
}

bool HttpResponseParser::isFieldValue(const QByteArray &text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f)
            return false;
    }
    return true;
}

void HttpResponseParser::feed(const QByteArray &bytes)
{
    if (bytes.isEmpty() || state == State::Failed)
        return;
    anyByteSeen = true;
    pending += bytes;
    while (step()) {
    }
    pending.remove(0, readPosition);
    readPosition = 0;
}

void HttpResponseParser::finishAtEndOfStream()
{
    if (state == State::BodyToEnd)
        state = State::Complete;
    else if (state != State::Complete)
        fail();
}

QByteArray HttpResponseParser::header(const QByteArray &name) const
{
    QByteArray value;
    for (const auto &field : fields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            value = field.second;
    }
    return value;
}

QByteArray HttpResponseParser::takeBody()
{
    QByteArray taken;
    taken.swap(body);
    return taken;
}

bool HttpResponseParser::connectionReusable() const
{
    return complete() && framedByItsLength && pending.isEmpty() && !http10 &&
           !listElements(header("Connection")).contains("close");
}

bool HttpResponseParser::step()
{
    switch (state) {
    case State::StatusLine:
        return readStatusLine();
    case State::Headers:
        return readHeaderLine();
    case State::LengthBody:
        return readLengthBody();
    case State::ChunkSize:
        return readChunkSize();
    case State::ChunkData:
        return readChunkData();
    case State::ChunkDataEnd:
        return readChunkDataEnd();
    case State::Trailers:
        return readTrailerLine();
    case State::BodyToEnd:
        if (!admitBody(pending.size() - readPosition))
            return false;
        body += pending.mid(readPosition);
        readPosition = pending.size();
        return false;
    case State::Complete:
    case State::Failed:
        return false;
    }
    return false;
}

bool HttpResponseParser::takeLine(QByteArray &line, int limit)
{
    const int newline = pending.indexOf('\n', readPosition);
    if (newline < 0) {
        if (pending.size() - readPosition > limit)
            return fail();
        return false;
    }
    const int end = newline - readPosition;
    if (end > limit)
        return fail();
    line = pending.mid(readPosition, end);
    readPosition = newline + 1;
    // A bare LF ends a line too, as recipients are allowed to accept.
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

bool HttpResponseParser::takeHeaderLine(QByteArray &line)
{
    if (!takeLine(line, maximumHeaderBytes - headerBytes))
        return false;
    headerBytes += line.size() + 2;
    return true;
}

bool HttpResponseParser::readStatusLine()
{
    QByteArray line;
    if (!takeHeaderLine(line))
        return false;
    // HTTP/1.1 200 OK: the version, a three-digit code and an optional reason.
    if (line.size() < 12 || !(line.startsWith("HTTP/1.1 ") || line.startsWith("HTTP/1.0 ")))
        return fail();
    qint64 code = 0;
    if (!parseDecimal(line.mid(9, 3), code) || code < 100 || code > 599)
        return fail();
    if (line.size() > 12 && line.at(12) != ' ')
        return fail();
    http10 = line.startsWith("HTTP/1.0");
    status = int(code);
    reason = line.mid(13);
    if (!isFieldValue(reason))
        return fail();
    fields.clear();
    state = State::Headers;
    return true;
}

bool HttpResponseParser::readHeaderLine()
{
    QByteArray line;
    if (!takeHeaderLine(line))
        return false;
    if (line.isEmpty())
        return startBody();
    const int colon = line.indexOf(':');
    // No whitespace before the colon, no folded continuation lines.
    const QByteArray name = line.left(colon);
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (colon <= 0 || !isToken(name) || !isFieldValue(value) ||
        fields.size() >= maximumHeaderFields)
        return fail();
    fields.append({name, value});
    return true;
}

bool HttpResponseParser::startBody()
{
    if (status == 101)
        return fail();
    if (status < 200) {
        state = State::StatusLine;
        return true;
    }
    const QByteArray coding = header("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity")
        return fail();
    framedByItsLength = true;
    if (status == 204 || status == 304) {
        state = State::Complete;
        return false;
    }
    // Framing must be said once and plainly: a response that could be read two ways is not
    // read at all (a proxy in between may read it the other way).
    QByteArray transferEncoding;
    QByteArray contentLength;
    if (!framingField("Transfer-Encoding", transferEncoding) ||
        !framingField("Content-Length", contentLength))
        return fail();
    if (!transferEncoding.isEmpty() && !contentLength.isEmpty())
        return fail();
    if (!transferEncoding.isEmpty()) {
        if (listElements(transferEncoding) != QList<QByteArray>{"chunked"})
            return fail();
        state = State::ChunkSize;
        return true;
    }
    if (contentLength.isEmpty()) {
        framedByItsLength = false;
        state = State::BodyToEnd;
        return true;
    }
    QByteArray lengthText;
    for (const QByteArray &element : listElements(contentLength)) {
        if (!lengthText.isEmpty() && element != lengthText)
            return fail();
        lengthText = element;
    }
    if (!parseDecimal(lengthText, remaining) || remaining > maximumBodyBytes)
        return fail();
    state = remaining == 0 ? State::Complete : State::LengthBody;
    return state != State::Complete;
}

bool HttpResponseParser::framingField(const char *name, QByteArray &value) const
{
    value.clear();
    int seen = 0;
    for (const auto &field : fields) {
        if (field.first.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        value = field.second;
        ++seen;
    }
    return seen == 0 || (seen == 1 && !value.isEmpty());
}

bool HttpResponseParser::admitBody(qint64 count)
{
    bodyBytes += count;
    return bodyBytes <= maximumBodyBytes || fail();
}

bool HttpResponseParser::takeBodyBytes()
{
    const qint64 count = qMin<qint64>(remaining, pending.size() - readPosition);
    if (count == 0)
        return false;
    body += pending.mid(readPosition, int(count));
    readPosition += int(count);
    remaining -= count;
    return true;
}

bool HttpResponseParser::readLengthBody()
{
    if (!takeBodyBytes())
        return false;
    if (remaining == 0)
        state = State::Complete;
    return state != State::Complete;
}

bool HttpResponseParser::readChunkSize()
{
    QByteArray line;
    if (!takeLine(line, maximumChunkLineBytes))
        return false;
    // Chunk extensions are allowed and carry nothing this client uses.
    const int extension = line.indexOf(';');
    qint64 size = 0;
    if (!parseHex((extension < 0 ? line : line.left(extension)).trimmed(), size) ||
        !admitBody(size))
        return fail();
    remaining = size;
    state = size == 0 ? State::Trailers : State::ChunkData;
    return true;
}

bool HttpResponseParser::readChunkData()
{
    if (!takeBodyBytes())
        return false;
    if (remaining == 0)
        state = State::ChunkDataEnd;
    return true;
}

bool HttpResponseParser::readChunkDataEnd()
{
    QByteArray line;
    if (!takeLine(line, maximumChunkLineBytes))
        return false;
    if (!line.isEmpty())
        return fail();
    state = State::ChunkSize;
    return true;
}

bool HttpResponseParser::readTrailerLine()
{
    QByteArray line;
    if (!takeHeaderLine(line))
        return false;
    if (line.isEmpty()) {
        state = State::Complete;
        return false;
    }
    return true;
}

bool HttpResponseParser::fail()
{
    state = State::Failed;
    pending.clear();
    readPosition = 0;
    body.clear();
    return false;
}
