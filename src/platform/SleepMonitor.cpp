#include "platform/SleepMonitor.h"

#include <QCoreApplication>
#include <QDBusConnection>

#ifdef Q_OS_WIN
#include <QAbstractNativeEventFilter>
#include <windows.h>

class SleepMonitor::WindowsFilter final : public QAbstractNativeEventFilter {
public:
    explicit WindowsFilter(SleepMonitor *monitor)
        : monitor(monitor)
    {}

    bool nativeEventFilter(const QByteArray &, void *message, long *) override
    {
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_POWERBROADCAST && msg->wParam == PBT_APMRESUMEAUTOMATIC)
            emit monitor->resumed();
        return false;
    }

private:
    SleepMonitor *monitor;
};
#else
class SleepMonitor::WindowsFilter {};
#endif

SleepMonitor::SleepMonitor(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_WIN
    windowsFilter = new WindowsFilter(this);
    QCoreApplication::instance()->installNativeEventFilter(windowsFilter);
#else
    // QtDBus connects bus signals by slot name only.
    QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(prepareForSleep(bool)));
#endif
}

SleepMonitor::~SleepMonitor()
{
#ifdef Q_OS_WIN
    QCoreApplication::instance()->removeNativeEventFilter(windowsFilter);
#endif
    delete windowsFilter;
}

void SleepMonitor::prepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        emit resumed();
}
