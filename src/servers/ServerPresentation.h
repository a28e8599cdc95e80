#pragma once

#include <QColor>
#include <QString>

class QLabel;
class LanguageManager;
struct ServerData;

// How rows and cards show a server: latency classes, flags and texts.
namespace ServerPresentation {

struct LatencyClass {
    QColor color;
    int litBars;
};

// A list row: 1 to 10000 ms counts as measured.
LatencyClass rowLatencyClass(int ping);
QString rowPingText(int ping);

// A recommended card: every latency above 0 counts as measured, with no upper bound.
int cardLitBars(int ping);
QString cardPingText(int ping);
// The latency word, upper-cased, or "--" without a measured latency.
QString cardLatencyWord(const LanguageManager *languages, bool hasServer, int ping);

QString locationCountText(const LanguageManager *languages, int locationCount);
QString displayName(const ServerData &server);
// A row or card as a screen reader says it: the location and the city of its best server, its
// number of servers, the latency in words and whether it is a favourite.
QString spokenText(const LanguageManager *languages, const ServerData &server);

// Shows the flag of countryCode in label, cropped to its opaque part; falls back to the UNKN
// picture, then to regional-indicator letters.
void setFlagImage(QLabel *label, const QString &countryCode, int emojiPixelSize);

} // namespace ServerPresentation
