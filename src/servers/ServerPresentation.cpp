#include "servers/ServerPresentation.h"

#include "i18n/LanguageManager.h"
#include "types/ServerData.h"
#include "widgets/ScreenPixmap.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPixmapCache>

namespace ServerPresentation {

LatencyClass rowLatencyClass(int ping)
{
    if (ping >= 1 && ping <= 99)
        return {QColor(QStringLiteral("#04D595")), 4};
    if (ping >= 100 && ping <= 179)
        return {QColor(QStringLiteral("#FFC642")), 3};
    if (ping >= 180 && ping <= 349)
        return {QColor(QStringLiteral("#FFC642")), 2};
    if (ping >= 350 && ping <= 10000)
        return {QColor(QStringLiteral("#FF6374")), 1};
    return {QColor(QStringLiteral("#7D8AA8")), 0};
}

QString rowPingText(int ping)
{
    return ping >= 1 && ping <= 10000 ? QStringLiteral("%1ms").arg(ping) : QStringLiteral("--");
}

int cardLitBars(int ping)
{
    if (ping <= 0)
        return 0;
    if (ping <= 99)
        return 4;
    if (ping <= 179)
        return 3;
    if (ping <= 349)
        return 2;
    return 1;
}

QString cardPingText(int ping)
{
    return ping > 0 ? QStringLiteral("%1ms").arg(ping) : QStringLiteral("--");
}

QString cardLatencyWord(const LanguageManager *languages, bool hasServer, int ping)
{
    if (!hasServer || ping <= 0)
        return QStringLiteral("--");
    struct Word {
        int upTo;
        const char *key;
        const char *english;
    };
    static const Word words[] = {{99, "latency.great", "Great"},
                                 {179, "latency.good", "Good"},
                                 {349, "latency.fair", "Fair"},
                                 {INT_MAX, "latency.poor", "Poor"}};
    for (const Word &word : words) {
        if (ping <= word.upTo)
            return textWithFallback(languages, QLatin1String(word.key), QLatin1String(word.english))
                .toUpper();
    }
    return QStringLiteral("--");
}

QString locationCountText(const LanguageManager *languages, int locationCount)
{
    if (locationCount == 1)
        return QStringLiteral("1 %1").arg(
            textWithFallback(languages, "locations.location", "Location"));
    return QStringLiteral("%1 %2")
        .arg(locationCount)
        .arg(textWithFallback(languages, "status.locations", "Locations"));
}

QString displayName(const ServerData &server)
{
    return server.country.isEmpty() ? server.city : server.country;
}

QString spokenText(const LanguageManager *languages, const ServerData &server)
{
    QStringList parts{displayName(server)};
    if (server.city != parts.first())
        parts << server.city;
    parts << locationCountText(languages, server.locationCount);
    parts << (server.ping >= 1 && server.ping <= 10000
                  ? textWithFallback(languages, "a11y.latency", "%1 milliseconds").arg(server.ping)
                  : textWithFallback(languages, "a11y.noLatency", "latency not measured"));
    if (server.isFavorite)
        parts << textWithFallback(languages, "a11y.favorite", "favourite");
    return parts.join(QStringLiteral(", "));
}

namespace {

QImage croppedToOpaque(const QImage &picture)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QRect opaque;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) != 0)
                opaque |= QRect(x, y, 1, 1);
        }
    }
    return opaque.isEmpty() ? argb : argb.copy(opaque);
}

QString regionalIndicators(const QString &code)
{
    const bool twoLetters = code.size() == 2 && code.at(0) >= 'A' && code.at(0) <= 'Z' &&
                            code.at(1) >= 'A' && code.at(1) <= 'Z';
    if (!twoLetters)
        return QString::fromUcs4(U"\U0001F30D");
    const char32_t letters[] = {char32_t(code.at(0).unicode() + 127397),
                                char32_t(code.at(1).unicode() + 127397)};
    return QString::fromUcs4(letters, 2);
}

// Each flag is decoded, cropped and scaled once per size; rows and cards showing it again take
// the cached picture. A null pixmap means there is no picture, not even the unknown flag's.
QPixmap flagPicture(const QString &code, const QSize &size)
{
    const QString key = QStringLiteral("corvane-flag:%1:%2x%3@%4")
                            .arg(code)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ScreenPixmap::ratio());
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    QImage picture(QStringLiteral(":/images/banners/%1.png").arg(code));
    if (picture.isNull())
        picture.load(QStringLiteral(":/images/banners/UNKN.png"));
    if (!picture.isNull())
        cached = ScreenPixmap::scaled(QPixmap::fromImage(croppedToOpaque(picture)), size);
    QPixmapCache::insert(key, cached);
    return cached;
}

} // namespace

void setFlagImage(QLabel *label, const QString &countryCode, int emojiPixelSize)
{
    const QString code = countryCode.trimmed().toUpper();
    const QSize target(label->width() > 0 ? label->width() : emojiPixelSize,
                       label->height() > 0 ? label->height() : emojiPixelSize);
    const QPixmap picture = flagPicture(code, target);
    if (!picture.isNull()) {
        label->clear();
        label->setPixmap(picture);
    } else {
        label->setPixmap(QPixmap());
        label->setText(regionalIndicators(code));
        QFont emoji(QStringLiteral("Segoe UI Emoji"));
        emoji.setPixelSize(emojiPixelSize);
        label->setFont(emoji);
    }
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("background: transparent; border: 0;"));
}

} // namespace ServerPresentation
