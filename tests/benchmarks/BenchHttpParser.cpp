// How long the response parser takes over 1 MiB of one-byte chunks, the worst framing a server
// can send: fed whole, and in the 16 KiB pieces a socket hands over. Prints medians of 7 runs.

#include "Median.h"
#include "network/HttpResponseParser.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

QByteArray oneByteChunks(int count)
{
    QByteArray response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    response.reserve(response.size() + count * 6 + 5);
    for (int i = 0; i < count; ++i)
        response += "1\r\nx\r\n";
    return response + "0\r\n\r\n";
}

double parseMs(const QByteArray &response, int pieceSize)
{
    QElapsedTimer clock;
    clock.start();
    HttpResponseParser parser;
    for (int offset = 0; offset < response.size(); offset += pieceSize)
        parser.feed(response.mid(offset, pieceSize));
    if (!parser.complete() || parser.takeBody().size() != 1024 * 1024)
        std::fprintf(stderr, "the response was not read whole\n");
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main()
{
    const QByteArray response = oneByteChunks(1024 * 1024);
    for (const int pieceSize : {int(response.size()), 16 * 1024}) {
        std::vector<double> runs;
        for (int run = 0; run < 7; ++run)
            runs.push_back(parseMs(response, pieceSize));
        std::printf("1 MiB of 1-byte chunks (%d bytes of framing) in pieces of %d bytes: %.1f ms\n",
                    int(response.size()), pieceSize, median(runs));
    }
    return 0;
}
