#include "ui/ConnectionAnimation.h"

#include "types/ConnectionState.h"
#include "widgets/Theme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTimer>
#include <cmath>

namespace {

bool isBusy(int state)
{
    return state == ConnectionState::Connecting || state == ConnectionState::Disconnecting;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(std::clamp(alpha, 0.0, 1.0));
    return color;
}

int sixteenths(double degrees)
{
    return int(std::lround(degrees * 16));
}

} // namespace

ConnectionAnimation::ConnectionAnimation(QWidget *parent)
    : QWidget(parent)
    , timer(new QTimer(this))
{
    timer->setInterval(tickMs);
    connect(timer, &QTimer::timeout, this, &ConnectionAnimation::slotTimerAlarm);
}

bool ConnectionAnimation::isAnimating() const
{
    return timer->isActive();
}

void ConnectionAnimation::runTimerWhileItMoves()
{
    if (isVisible() && state != ConnectionState::Connected)
        timer->start();
    else
        timer->stop();
}

void ConnectionAnimation::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    runTimerWhileItMoves();
}

void ConnectionAnimation::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    runTimerWhileItMoves();
}

void ConnectionAnimation::setTexts(const QString &connected, const QString &busy,
                                   const QString &idle)
{
    connectedText = connected;
    busyText = busy;
    idleText = idle;
    update();
}

void ConnectionAnimation::setState(int newState)
{
    state = newState;
    angle = 0;
    if (state == ConnectionState::Connected)
        level = 1.0;
    else if (isBusy(state))
        level = 0.5;
    else if (state == ConnectionState::Disconnected || state == ConnectionState::Error)
        level = 0.0;
    runTimerWhileItMoves();
    update();
}

QString ConnectionAnimation::caption() const
{
    if (state == ConnectionState::Connected)
        return connectedText;
    return isBusy(state) ? busyText : idleText;
}

void ConnectionAnimation::slotTimerAlarm()
{
    angle = (angle + 5) % 360;
    update();
}

void ConnectionAnimation::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = std::min(width(), height());
    const double u = s / 246.0;
    const double w = 9.5 * u;
    const double m = w / 2 + 2;
    const QRectF ring(m, m, s - 2 * m, s - 2 * m);
    const bool connected = state == ConnectionState::Connected;
    const QColor ringColor(connected ? "#159452" : isBusy(state) ? "#21AB63" : "#56B97F");

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(withAlpha(ringColor, 0.16), w, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(ring);
    if (connected) {
        p.setPen(QPen(ringColor, w, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(ring);
    } else {
        const double span = (level * 0.72 + 0.18) * 360;
        const double start = angle * ((1 - level) * 0.85 + 0.15);
        p.setPen(QPen(withAlpha(ringColor, 0.96), 4.8 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(ring, sixteenths(start), sixteenths(span));
        p.setPen(QPen(withAlpha(ringColor, 0.72), 3.3 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(ring, sixteenths(start + 69.9), sixteenths(span * 0.72));
        p.setPen(QPen(withAlpha(ringColor, 0.46), 2.1 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(ring, sixteenths(start + 134.6), sixteenths(span * 0.48));
        p.setPen(QPen(withAlpha(ringColor, level * 0.28), w, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(ring);
    }

    const double d = 152 * u;
    const QRectF disc((s - d) / 2, (s - d) / 2, d, d);
    p.setPen(Qt::NoPen);
    const bool gradient = connected || isBusy(state);
    if (gradient) {
        QLinearGradient fill(disc.topLeft(), disc.bottomLeft());
        fill.setColorAt(0, QColor(connected ? "#22C275" : "#36BC73"));
        fill.setColorAt(1, QColor(connected ? "#149251" : "#239E5D"));
        p.setBrush(fill);
    } else {
        p.setBrush(QColor("#FFFFFF"));
    }
    p.drawEllipse(disc);

    const QColor foreground(gradient ? "#FFFFFF" : "#2A8A58");
    const QPointF centre = disc.center();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(foreground, 4.2 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(centre.x() - 20 * u, centre.y() - 36 * u, 40 * u, 40 * u), 135 * 16, 270 * 16);
    p.drawLine(QPointF(centre.x(), centre.y() - 43 * u), QPointF(centre.x(), centre.y() - 21 * u));

    QFont font(QLatin1String(Theme::fontFamily));
    font.setPixelSize(int(std::lround(10 * u)));
    font.setWeight(63);
    p.setFont(font);
    p.setPen(foreground);
    p.drawText(QRectF(disc.left(), centre.y() + 24 * u, d, 18 * u), Qt::AlignCenter, caption());
}
