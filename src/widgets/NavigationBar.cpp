#include "widgets/NavigationBar.h"

#include "i18n/LanguageManager.h"
#include "widgets/Contrast.h"
#include "widgets/IconPainter.h"
#include "widgets/Theme.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>

namespace NavigationBar {

namespace {

const int barX = 16;
// What the bar's labels stand on at the darkest: the active item's green glow over white.
const QColor barBackground(0xCD, 0xF3, 0xE7);
const int barY = 806;
const int itemX[] = {8, 101, 194, 286};
const char *const itemTexts[] = {"HOME", "SERVERS", "ACCOUNT", "SETTINGS"};
const char *const itemLabelNames[] = {"mobileNavHomeLabel", "mobileNavServersLabel",
                                      "mobileNavAccountLabel", "mobileNavSettingsLabel"};
const char *const itemKeyNames[] = {"pushButtonNavigationHome", "pushButtonNavigationServers",
                                    "pushButtonNavigationAccount", "pushButtonNavigationSettings"};
const char *const itemTextKeys[] = {"nav.home", "nav.servers", "nav.account", "nav.settings"};

QLabel *passiveLabel(QWidget *parent, const QRect &rect)
{
    auto *label = new QLabel(parent);
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignCenter);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

QRect itemArea(int item)
{
    return QRect(barX + itemX[item], barY + 8, 85, 59);
}

QPushButton *addKey(QWidget *page, int item)
{
    auto *key = new QPushButton(page);
    key->setObjectName(QLatin1String(itemKeyNames[item]));
    key->setGeometry(itemArea(item));
    key->setFlat(true);
    key->setStyleSheet(QStringLiteral("border: 0; background: transparent;"));
    key->setAttribute(Qt::WA_TransparentForMouseEvents);
    key->setFocusPolicy(Qt::TabFocus);
    return key;
}

void translate(QWidget *page, const LanguageManager *languages)
{
    for (int item = Home; item <= Settings; ++item) {
        const QString text = languages->text(QLatin1String(itemTextKeys[item]));
        for (QLabel *label : page->findChildren<QLabel *>(QLatin1String(itemLabelNames[item]))) {
            if (label->parentWidget()->parentWidget() == page)
                label->setText(text.toUpper());
        }
        if (auto *key = page->findChild<QPushButton *>(QLatin1String(itemKeyNames[item]),
                                                       Qt::FindDirectChildrenOnly))
            key->setAccessibleName(text);
    }
}

void build(QWidget *page, int activeItem)
{
    auto *bar = new QFrame(page);
    bar->setObjectName(QStringLiteral("frameBottomNavigation"));
    bar->setGeometry(barX, barY, 379, 75);
    bar->setStyleSheet(QStringLiteral("background: rgba(255,255,255,247); border: 1px solid "
                                      "rgba(0,0,0,31); border-radius: 37px;"));
    auto *shadow = new QGraphicsDropShadowEffect(bar);
    shadow->setBlurRadius(18);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, 18));
    bar->setGraphicsEffect(shadow);
    bar->setAttribute(Qt::WA_TransparentForMouseEvents);

    for (int item = Home; item <= Settings; ++item) {
        const bool active = item == activeItem;
        const QColor color(QLatin1String(active ? Theme::accent : "#7A8493"));
        if (active) {
            auto *highlight = new QFrame(bar);
            highlight->setObjectName(QStringLiteral("frameNavigationHighlight"));
            highlight->setGeometry(itemX[item], 8, 85, 59);
            highlight->setStyleSheet(
                QStringLiteral("background-color: rgba(4,213,149,46); border: 1px "
                               "solid rgba(4,213,149,87); border-radius: 29px;"));
            highlight->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        QLabel *icon = passiveLabel(bar, QRect(itemX[item], 12, 85, 31));
        icon->setStyleSheet(QStringLiteral("background: transparent; border: 0;"));
        icon->setPixmap(IconPainter::paint(item + 1, color, QSize(29, 29)));
        QLabel *text = passiveLabel(bar, QRect(itemX[item], 41, 85, 14));
        text->setObjectName(QLatin1String(itemLabelNames[item]));
        text->setText(QLatin1String(itemTexts[item]));
        text->setStyleSheet(
            QStringLiteral("background: transparent; border: 0; color: %1; font-family: "
                           "Roboto; font-size: 9px; font-weight: 400;")
                .arg(Contrast::readableOn(color, barBackground).name()));
    }
    bar->raise();
}

} // namespace NavigationBar
