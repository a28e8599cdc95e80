#pragma once

#include <QObject>

// Tells when the machine wakes from sleep: on Linux logind's PrepareForSleep(false) on the
// system bus, on Windows the power-resume broadcast.
class SleepMonitor : public QObject {
    Q_OBJECT

public:
    explicit SleepMonitor(QObject *parent = nullptr);
    ~SleepMonitor() override;

signals:
    void resumed();

private slots:
    void prepareForSleep(bool goingToSleep);

private:
    class WindowsFilter;
    WindowsFilter *windowsFilter = nullptr;
};
