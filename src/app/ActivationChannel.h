#pragma once

#include <QObject>

class QLocalServer;

// How a second launch reaches the Corvane that runs: the running one listens, the second asks it
// to show its window and exits. The single-instance guard still decides which one runs.
class ActivationChannel final : public QObject {
    Q_OBJECT

public:
    explicit ActivationChannel(QObject *parent = nullptr);

    // From the second launch: true when the running Corvane took the request.
    static bool askRunningInstanceToShow(int timeoutMs = 2000);

signals:
    void showRequested();

private:
    void readRequest();

    QLocalServer *server;
};
