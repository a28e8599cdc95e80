#include "widgets/FocusRing.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

const int ringWidth = 2;
const int margin = ringWidth + 1;
// The accent's darker shade: more than 3:1 against the pages' white and pale backgrounds.
const QColor ringColor(0x0B, 0x7A, 0x3E);

class RingMark final : public QWidget {
public:
    explicit RingMark(QWidget *window)
        : QWidget(window)
    {
        setObjectName(QStringLiteral("focusRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        FocusRing::paint(&painter, rect());
    }
};

} // namespace

FocusRing::FocusRing(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusRing::paint(QPainter *painter, const QRect &area)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(ringColor, ringWidth));
    painter->setBrush(Qt::NoBrush);
    const qreal inset = ringWidth / 2.0;
    const QRectF outline = QRectF(area).adjusted(inset, inset, -inset, -inset);
    const qreal radius = qMin(outline.height() / 2, 12.0);
    painter->drawRoundedRect(outline, radius, radius);
    painter->restore();
}

QWidget *FocusRing::mark() const
{
    return ring && ring->isVisible() ? ring.data() : nullptr;
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (!keyboardInUse) {
            keyboardInUse = true;
            follow(QApplication::focusWidget());
        }
        break;
    case QEvent::MouseButtonPress:
        keyboardInUse = false;
        place();
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched == focused)
            place();
        break;
    default:
        break;
    }
    return false;
}

void FocusRing::follow(QWidget *widget)
{
    focused = widget;
    place();
}

void FocusRing::place()
{
    if (!keyboardInUse || !focused || !focused->isVisible()) {
        if (ring)
            ring->hide();
        return;
    }
    QWidget *window = focused->window();
    if (!ring || ring->parentWidget() != window) {
        delete ring;
        ring = new RingMark(window);
    }
    const QRect area(focused->mapTo(window, QPoint(0, 0)), focused->size());
    ring->setGeometry(area.adjusted(-margin, -margin, margin, margin));
    ring->show();
    ring->raise();
}
