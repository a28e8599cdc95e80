#include "servers/RecomendedServerItem.h"

#include "i18n/LanguageManager.h"
#include "servers/ServerPresentation.h"
#include "widgets/Accessibility.h"
#include "widgets/CaptionFit.h"
#include "widgets/Theme.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

const char unlitColor[] = "#666666";

QLabel *cardLabel(QWidget *parent, const char *name, const QRect &rect, const QString &style)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    label->setStyleSheet(style);
    return label;
}

QString barStyle(bool lit)
{
    return QStringLiteral("background-color: %1; border: 0; border-radius: 1px;")
        .arg(QLatin1String(lit ? Theme::accent : unlitColor));
}

// The right-hand column: the ping over the latency word, right-aligned, with the signal bars
// 8 pixels to its left and the names up to 10 pixels before the bars.
constexpr int columnRight = 349;
constexpr int narrowestColumn = 34;
constexpr int barsWidth = 22;
constexpr int barBottom = 47;
constexpr int nameLeft = 80;
constexpr int widestName = 190;

int barHeight(int bar)
{
    return 6 + 4 * bar;
}

} // namespace

RecomendedServerItem::RecomendedServerItem(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(363, 72);
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setGeometry(0, 0, 363, 72);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setStyleSheet(QStringLiteral(
        "background-color: #FFFFFF; border: 1px solid rgba(0,0,0,34); border-radius: 36px;"));

    const QString plain = QStringLiteral("border: 0; background: transparent;");
    labelFlag = cardLabel(frame, "labelFlag", QRect(28, 26, 28, 20), plain);
    labelName =
        cardLabel(frame, "labelName", QRect(nameLeft, 15, widestName, 22),
                  plain + QStringLiteral(" color: %1; font-family: Roboto; font-size: 14pt;")
                              .arg(QLatin1String(Theme::primaryText)));
    labelSubtitle = cardLabel(frame, "labelSubtitle", QRect(nameLeft, 37, widestName, 18), plain);
    for (int bar = 0; bar < 4; ++bar) {
        bars[bar] = cardLabel(frame, "",
                              QRect(285 + 6 * bar, barBottom - barHeight(bar), 4, barHeight(bar)),
                              barStyle(false));
        bars[bar]->setObjectName(QStringLiteral("barSignal_%1").arg(bar + 1));
    }
    labelPing =
        cardLabel(frame, "labelPing", QRect(315, 16, 34, 18),
                  plain + QStringLiteral(" color: %1; font-family: Roboto; font-size: 10px;")
                              .arg(QLatin1String(Theme::accentText)));
    labelPing->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labelLatencyLabel =
        cardLabel(frame, "labelLatencyLabel", QRect(315, 34, 34, 16),
                  plain + QStringLiteral(" color: %1; font-family: Roboto; font-size: 8pt; "
                                         "letter-spacing: 0.8px;")
                              .arg(QLatin1String(Theme::secondaryText)));
    labelLatencyLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    labelFavorite = cardLabel(frame, "labelFavorite", QRect(), plain);
    labelFavorite->setPixmap(QPixmap(QStringLiteral(":/images/buttons/unfavoriteState.png")));
    pushButtonFavorite = new QPushButton(frame);
    pushButtonFavorite->setObjectName(QStringLiteral("pushButtonFavorite"));
    pushButtonFavorite->setGeometry(QRect());
    // It has no area on the card: nothing for the keyboard or a screen reader to land on.
    Accessibility::hide(pushButtonFavorite);
    connect(pushButtonFavorite, &QPushButton::clicked, this,
            &RecomendedServerItem::on_pushButtonFavorite_clicked);

    pushButton = new QPushButton(frame);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(0, 0, 363, 72);
    pushButton->setFont(QFont(QStringLiteral("Open Sans")));
    pushButton->setCursor(Qt::PointingHandCursor);
    pushButton->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
    connect(pushButton, &QPushButton::clicked, this, &RecomendedServerItem::on_pushButton_clicked);
    retranslate();
}

void RecomendedServerItem::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
    if (manager)
        connect(manager, &LanguageManager::translate, this, &RecomendedServerItem::retranslate,
                Qt::UniqueConnection);
    retranslate();
}

void RecomendedServerItem::retranslate()
{
    // The card is one button to a screen reader, named by what it shows.
    pushButton->setAccessibleName(
        hasServer ? ServerPresentation::spokenText(languageManager, serverData) : QString());
    labelSubtitle->setText(
        textWithFallback(languageManager, "connection.selectedlocation", "Selected Location"));
    labelLatencyLabel->setText(
        ServerPresentation::cardLatencyWord(languageManager, hasServer, serverData.ping));
    layOutLatencyColumn();
}

// A latency word longer than the column (most, in French and Spanish) widens the column to the
// left; the bars and the names make room.
void RecomendedServerItem::layOutLatencyColumn()
{
    const auto textWidth = [](QLabel *label) {
        label->ensurePolished();
        return label->fontMetrics().horizontalAdvance(label->text());
    };
    const int width =
        qMax(narrowestColumn, qMax(textWidth(labelPing), textWidth(labelLatencyLabel)));
    const int left = columnRight - width;
    labelPing->setGeometry(left, 16, width, 18);
    labelLatencyLabel->setGeometry(left, 34, width, 16);
    const int barsLeft = left - 8 - barsWidth;
    for (int bar = 0; bar < 4; ++bar)
        bars[bar]->move(barsLeft + 6 * bar, barBottom - barHeight(bar));
    const int nameWidth = qMin(widestName, barsLeft - 10 - nameLeft);
    labelName->resize(nameWidth, labelName->height());
    labelSubtitle->resize(nameWidth, labelSubtitle->height());
    CaptionFit::fitTextSize(labelSubtitle,
                            QStringLiteral("border: 0; background: transparent; color: %1; "
                                           "font-family: Roboto;")
                                .arg(QLatin1String(Theme::accentText)),
                            {"10pt", "9pt", "8pt"});
}

void RecomendedServerItem::setServer(const ServerData &server)
{
    serverData = server;
    hasServer = true;
    labelName->setText(ServerPresentation::displayName(server));
    ServerPresentation::setFlagImage(labelFlag, server.countryCode, 28);
    labelPing->setText(ServerPresentation::cardPingText(server.ping));
    const int lit = ServerPresentation::cardLitBars(server.ping);
    for (int bar = 0; bar < 4; ++bar)
        bars[bar]->setStyleSheet(barStyle(bar < lit));
    labelFavorite->setPixmap(QPixmap());
    retranslate();
}

void RecomendedServerItem::on_pushButton_clicked()
{
    emit setCurrent(serverData.id, true);
}

void RecomendedServerItem::on_pushButtonFavorite_clicked()
{
    serverData.isFavorite = !serverData.isFavorite;
    const QString icon =
        QStringLiteral(":/images/buttons/%1State.png")
            .arg(serverData.isFavorite ? QStringLiteral("favorite") : QStringLiteral("unfavorite"));
    labelFavorite->setPixmap(
        QPixmap(icon).scaled(24, 24, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    emit favoriteToggled(serverData.id, serverData.isFavorite);
}
