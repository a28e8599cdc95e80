#include "widgets/PageChrome.h"

#include "i18n/LanguageManager.h"
#include "widgets/IconPainter.h"
#include "widgets/Theme.h"

#include <QFrame>
#include <QLabel>
#include <QPainterPath>
#include <QPushButton>
#include <QRegion>
#include <QWidget>

namespace PageChrome {

namespace {

void addBlob(QWidget *page, const QRect &rect, const QString &gradient)
{
    auto *blob = new QFrame(page);
    blob->setGeometry(rect);
    blob->setStyleSheet(QStringLiteral("background-color: %1; border: 0;").arg(gradient));
    blob->setAttribute(Qt::WA_TransparentForMouseEvents);
    blob->lower();
}

} // namespace

QPushButton *build(QWidget *page, const QString &title)
{
    page->setWindowFlags(Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    page->setFixedSize(411, 914);
    page->setAttribute(Qt::WA_StyledBackground);
    page->setStyleSheet(
        QStringLiteral("%1 { background-color: qlineargradient(spread:pad, x1:0, y1:0, x2:0, "
                       "y2:1, stop:0 #F9FBFD, stop:0.42 #F2F6FA, stop:0.72 #EDF3F8, "
                       "stop:1 #F7FAFD); }")
            .arg(QLatin1String(page->metaObject()->className())));
    page->setWindowIcon(QIcon(QStringLiteral(":/images/windowIcon.png")));
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, 411, 914), 18, 18);
    page->setMask(QRegion(shape.toFillPolygon().toPolygon()));

    addBlob(page, QRect(-140, 150, 691, 360),
            QStringLiteral(
                "qradialgradient(spread:pad, cx:0.5, cy:0.5, radius:0.52, fx:0.5, fy:0.5, stop:0 "
                "#1F04D595, stop:0.46 #1A14A85A, stop:1 #0014A85A)"));
    addBlob(page, QRect(-120, 579, 651, 280),
            QStringLiteral(
                "qradialgradient(spread:pad, cx:0.5, cy:0.5, radius:0.55, fx:0.5, fy:0.5, stop:0 "
                "#3314A85A, stop:0.48 #1A14A85A, stop:1 #0014A85A)"));

    auto *back = new QPushButton(page);
    back->setObjectName(QStringLiteral("pushButtonBack"));
    back->setGeometry(4, 38, 56, 56);
    back->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
    back->setIcon(IconPainter::paint(IconPainter::BackChevron,
                                     QColor(QLatin1String(Theme::primaryText)), QSize(24, 24)));
    back->setIconSize(QSize(24, 24));
    QObject::connect(back, &QPushButton::clicked, page, &QWidget::close);

    auto *sectionTitle = new QLabel(title, page);
    sectionTitle->setObjectName(QStringLiteral("mobileSectionTitle"));
    sectionTitle->setGeometry(88, 48, 235, 36);
    sectionTitle->setAlignment(Qt::AlignCenter);
    sectionTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    sectionTitle->setStyleSheet(
        QStringLiteral("background: transparent; color: %1; font-family: Roboto; "
                       "font-size: 20px; font-weight: 400; border: 0;")
            .arg(QLatin1String(Theme::primaryText)));
    return back;
}

void translate(QWidget *page, const LanguageManager *languages)
{
    if (auto *back = page->findChild<QPushButton *>(QStringLiteral("pushButtonBack"),
                                                    Qt::FindDirectChildrenOnly))
        back->setAccessibleName(languages->text(QStringLiteral("a11y.back")));
}

} // namespace PageChrome
