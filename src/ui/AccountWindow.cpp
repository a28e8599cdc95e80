#include "ui/AccountWindow.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"
#include "widgets/CaptionFit.h"
#include "widgets/NavigationBar.h"
#include "widgets/PageChrome.h"
#include "widgets/ScreenPixmap.h"
#include "widgets/Theme.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

namespace {

QPixmap avatar()
{
    QPixmap picture = ScreenPixmap::canvas(QSize(30, 30));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(30 / 25.0, 30 / 25.0);
    p.setPen(
        QPen(QColor(QLatin1String(Theme::accent)), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(8.4, 5, 8.2, 8.2));
    p.drawArc(QRectF(5, 13, 15, 10), 20 * 16, 140 * 16);
    return picture;
}

} // namespace

AccountWindow::AccountWindow(QWidget *parent)
    : NavigablePage(parent)
{
    PageChrome::build(this, QStringLiteral("Account"));
    setWindowTitle(QStringLiteral("Account"));

    auto *avatarFrame = new QFrame(this);
    avatarFrame->setObjectName(QStringLiteral("frameAvatar"));
    avatarFrame->setGeometry(177, 310, 56, 56);
    avatarFrame->setStyleSheet(
        QStringLiteral("background: white; border: 1px solid rgba(0,0,0,34); border-radius: %1px;")
            .arg(28));
    auto *avatarIcon = new QLabel(avatarFrame);
    avatarIcon->setGeometry(13, 13, 30, 30);
    avatarIcon->setStyleSheet(QStringLiteral("background: transparent; border: 0;"));
    avatarIcon->setAlignment(Qt::AlignCenter);
    avatarIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    avatarIcon->setPixmap(avatar());

    titleLabel = new QLabel(QStringLiteral("Account page is being redesigned"), this);
    titleLabel->setObjectName(QStringLiteral("labelAccountTitle"));
    titleLabel->setGeometry(24, 384, 363, 30);
    titleLabel->setAlignment(Qt::AlignCenter);
    fitTitle();
    subtitleLabel =
        new QLabel(QStringLiteral("This page will be available in future iterations."), this);
    subtitleLabel->setObjectName(QStringLiteral("labelAccountSubtitle"));
    subtitleLabel->setGeometry(54, 424, 303, 44);
    subtitleLabel->setAlignment(Qt::AlignCenter);
    subtitleLabel->setWordWrap(true);
    subtitleLabel->setStyleSheet(
        QStringLiteral("background: transparent; border: 0; color: %1; font-family: "
                       "Roboto; font-size: 14px; line-height: 135%;")
            .arg(QLatin1String(Theme::secondaryText)));

    membersButton = new QPushButton(Deployment::membersSiteUrl(), this);
    membersButton->setObjectName(QStringLiteral("pushButtonMembers"));
    membersButton->setGeometry(52, 490, 307, 44);
    membersButton->setCursor(Qt::PointingHandCursor);
    membersButton->setStyleSheet(
        QStringLiteral("background: rgba(4,213,149,31); border: 1px solid rgba(4,213,149,82); "
                       "border-radius: 22px; color: "
                       "#027854; font-family: Roboto; font-size: 14px; font-weight: 400;"));
    connect(membersButton, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl(membersButton->text(), QUrl::TolerantMode)); });
    NavigationBar::build(this, NavigationBar::Account);
    setNavigationZones({{NavigationBar::Home, [this] { close(); }},
                        {NavigationBar::Servers, [this] { emit requestOpenServers(); }},
                        {NavigationBar::Settings, [this] { emit requestOpenSettings(); }}});
}

void AccountWindow::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
    connect(manager, &LanguageManager::translate, this, &AccountWindow::translate);
    translate();
}

void AccountWindow::fitTitle()
{
    CaptionFit::fitTextSize(titleLabel,
                            QStringLiteral("background: transparent; border: 0; color: %1; "
                                           "font-family: Roboto; font-weight: 400;")
                                .arg(QLatin1String(Theme::primaryText)),
                            {"20px", "18px", "16px"});
}

void AccountWindow::translate()
{
    const auto tr = [this](const char *key) { return languageManager->text(QLatin1String(key)); };
    if (auto *title = findChild<QLabel *>(QStringLiteral("mobileSectionTitle")))
        title->setText(tr("nav.account"));
    titleLabel->setText(tr("account.redesignTitle"));
    fitTitle();
    subtitleLabel->setText(tr("account.redesignSubtitle"));
    PageChrome::translate(this, languageManager);
    NavigationBar::translate(this, languageManager);
}
