#include "servers/ServerListItem.h"

#include "i18n/LanguageManager.h"
#include "servers/ServerPresentation.h"
#include "widgets/Contrast.h"
#include "widgets/Theme.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel *label(QWidget *parent, const char *name, const QRect &rect)
{
    auto *created = new QLabel(parent);
    created->setObjectName(QLatin1String(name));
    created->setGeometry(rect);
    return created;
}

} // namespace

ServerListItem::ServerListItem(const ServerData &record, LanguageManager *languages,
                               QWidget *parent)
    : QWidget(parent)
    , server(record)
    , languageManager(languages)
{
    setFixedSize(363, 76);
    setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);\ncolor: black;"));

    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setGeometry(0, 0, 363, 76);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setStyleSheet(QStringLiteral("border: 1px solid;\n  border-radius: 32px;\nborder-color: "
                                        "rgba(0,0,0,34);\nbackground-color: rgb(255, 255, 255);"));

    QLabel *flag = label(frame, "labelFlag", QRect(28, 28, 28, 20));
    ServerPresentation::setFlagImage(flag, server.countryCode, 28);

    QLabel *name = label(frame, "labelName", QRect(80, 14, 165, 25));
    name->setText(ServerPresentation::displayName(server));
    name->setStyleSheet(QStringLiteral("border: 0; background: transparent; color: %1; "
                                       "font-family: Roboto; font-size: 16pt; font-weight: 400;")
                            .arg(QLatin1String(Theme::primaryText)));

    QLabel *locations = label(frame, "labelLocations", QRect(80, 42, 86, 18));
    locations->setText(
        ServerPresentation::locationCountText(languageManager, server.locationCount));
    locations->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    locations->setStyleSheet(QStringLiteral("border: 0; background: transparent; color: %1; "
                                            "font-family: Roboto; font-size: 11px;")
                                 .arg(QLatin1String(Theme::secondaryText)));
    // The bars and the ping follow the location count, 6 pixels after it where a translation
    // is longer than the count's room.
    locations->ensurePolished();
    locations->resize(
        qMax(locations->width(), locations->fontMetrics().horizontalAdvance(locations->text())),
        locations->height());
    const int barsLeft = qMax(160, locations->geometry().right() + 1 + 6);

    const ServerPresentation::LatencyClass latency =
        ServerPresentation::rowLatencyClass(server.ping);
    for (int bar = 0; bar < 4; ++bar) {
        QLabel *signal = label(frame, "", QRect(barsLeft + 4 * bar, 52 - 3 * bar, 3, 5 + 3 * bar));
        signal->setObjectName(QStringLiteral("barSignal_%1").arg(bar + 1));
        signal->setStyleSheet(
            QStringLiteral("background: %1; border: 0; border-radius: 1px;")
                .arg(bar < latency.litBars ? latency.color.name() : QStringLiteral("#D9E1EA")));
    }

    QLabel *ping = label(frame, "labelPing", QRect(barsLeft + 21, 43, 56, 16));
    ping->setText(ServerPresentation::rowPingText(server.ping));
    ping->setStyleSheet(QStringLiteral("background-color: #00000000; border: none; color: %1; "
                                       "font-family: Roboto; font-size: 12px; font-weight: 400;")
                            .arg(Contrast::readableOn(latency.color, Qt::white).name()));

    QLabel *connectPill = label(frame, "labelFavorite", QRect(250, 24, 95, 28));
    connectPill->setText(textWithFallback(languageManager, "action.connect", "Connect"));
    connectPill->setAlignment(Qt::AlignCenter);
    connectPill->setStyleSheet(
        QStringLiteral("color: #344054; background-color: #F0F3F7; border: 0; "
                       "border-radius: 14px; font-family: Roboto; font-size: 12px;"));
}

ServerListItemEditor::ServerListItemEditor(const ServerData &server, QWidget *parent)
    : QWidget(parent)
    , id(server.id)
{
    resize(363, 76);
    setStyleSheet(QStringLiteral("border : 0;\nbackground: transparent;"));
    const auto button = [this](const char *name, const QRect &rect) {
        auto *created = new QPushButton(this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(rect);
        created->setFlat(true);
        created->setCursor(Qt::PointingHandCursor);
        created->setFont(QFont(QStringLiteral("Open Sans")));
        created->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
        return created;
    };
    QPushButton *setCurrentButton = button("pushButtonSetCurrent", QRect(5, 0, 272, 76));
    QPushButton *setFavoriteButton = button("pushButtonSetFavorite", QRect(291, 14, 66, 48));
    setFavoriteButton->setIconSize(QSize(30, 30));
    connect(setCurrentButton, &QPushButton::clicked, this,
            &ServerListItemEditor::on_pushButtonSetCurrent_clicked);
    connect(setFavoriteButton, &QPushButton::clicked, this,
            &ServerListItemEditor::on_pushButtonSetFavorite_clicked);
}

void ServerListItemEditor::on_pushButtonSetCurrent_clicked()
{
    emit setCurrent(id);
}

void ServerListItemEditor::on_pushButtonSetFavorite_clicked()
{
    emit setCurrent(id);
}
