// A response in pieces of the sizes its first bytes say: whatever comes, the parser ends in one
// state, hands out no more body than the limit, and keeps to its framing.
#include "network/HttpResponseParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int piece = 1 + data[0] % 64;
    const bool endOfStream = data[1] & 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), int(size - 2));
    HttpResponseParser parser;
    qint64 body = 0;
    for (int offset = 0; offset < bytes.size(); offset += piece) {
        parser.feed(bytes.mid(offset, piece));
        body += parser.takeBody().size();
    }
    if (endOfStream)
        parser.finishAtEndOfStream();
    body += parser.takeBody().size();
    if (body > HttpResponseParser::maximumBodyBytes || (parser.complete() && parser.failed()))
        __builtin_trap();
    return 0;
}
