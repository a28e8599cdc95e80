#include "ui/LoadingAnimation.h"

#include <QColor>
#include <QLabel>
#include <QTimer>

namespace {

const QColor baseColor(QStringLiteral("#ff192870"));
const int dotSize = 20;
const int fadingDots = 8;
const QPoint dotPositions[] = {
    {155, 70},  {190, 75},  {220, 90}, {235, 120}, {240, 155}, {235, 190}, {220, 220}, {190, 235},
    {155, 240}, {120, 235}, {90, 220}, {75, 190},  {70, 155},  {75, 120},  {90, 90},   {120, 75}};

QString dotStyle(int alpha)
{
    QColor color = baseColor;
    color.setAlpha(alpha);
    return QStringLiteral("background-color: %1; border-radius: 10;")
        .arg(color.name(QColor::HexArgb));
}

} // namespace

LoadingAnimation::LoadingAnimation(QWidget *parent)
    : QWidget(parent)
    , timer(new QTimer(this))
{
    resize(330, 330);
    int number = 1;
    for (const QPoint &position : dotPositions) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("label_%1").arg(number++));
        label->setGeometry(QRect(position, QSize(dotSize, dotSize)));
        label->setStyleSheet(dotStyle(5));
        labels.append(label);
    }
    timer->setInterval(tickMs);
    connect(timer, &QTimer::timeout, this, &LoadingAnimation::updateAnimation);
}

bool LoadingAnimation::isAnimating() const
{
    return timer->isActive();
}

// The dots turn only where someone can see them.
void LoadingAnimation::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    timer->start();
}

void LoadingAnimation::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    timer->stop();
}

void LoadingAnimation::updateAnimation()
{
    labels.append(labels.takeFirst());
    for (int position = 0; position < fadingDots; ++position)
        labels.at(position)->setStyleSheet(dotStyle(5 + 32 * position));
}
