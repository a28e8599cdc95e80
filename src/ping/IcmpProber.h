#pragma once

#include "platform/IcmpSocket.h"
#include "types/LatencyResult.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QVector>

#include <deque>
#include <memory>
#include <vector>

class QSocketNotifier;
class QTimer;

// Measures latency with ICMP echo through the system's echo sockets (Platform::IcmpSocket):
// every host in flight at once from the thread this object lives in. Two echoes per host: the
// second as soon as the first is answered, or a second after it; an echo unanswered after
// replyWaitMs is lost. Results are handed over in batches, never one call per host. Elsewhere, or
// where such sockets are not allowed, isOpen() is false and callers use the ping tool.
class IcmpProber : public QObject {
    Q_OBJECT

public:
    struct Timing {
        int replyWaitMs = 2000;
        int echoIntervalMs = 1000;
        int batchIntervalMs = 150;
    };

    explicit IcmpProber(QObject *parent = nullptr);
    ~IcmpProber() override;

    bool isOpen() const { return ipv4->isOpen(); }
    void setTiming(const Timing &newTiming) { timing = newTiming; }

public slots:
    // address is a literal IPv4 or IPv6 address; anything else is 0 at once.
    void probe(int id, const QString &address);
    void probeAll(const QVector<QPair<int, QString>> &hosts);

signals:
    void measured(QVector<Platform::LatencyResult> results);

private:
    struct Probe {
        int id = 0;
        bool ipv6 = false;
        QHostAddress address;
        int echoesSent = 0;
        int replies = 0;
        double totalMs = 0;
        qint64 lastSentNs = 0;
        bool done = false;
    };
    struct Echo {
        int probe = -1;
        qint64 sentNs = 0;
    };

    void sendFirstEchoes();
    // False when the socket's buffer is full: the echo was not sent and goes again later.
    bool sendEcho(int probeIndex);
    void readReplies(Platform::IcmpSocket &socket);
    void advance();
    void finish(int probeIndex);
    void flush();

    std::unique_ptr<Platform::IcmpSocket> ipv4;
    std::unique_ptr<Platform::IcmpSocket> ipv6;
    QSocketNotifier *ipv4Notifier = nullptr;
    QSocketNotifier *ipv6Notifier = nullptr;
    QTimer *clock = nullptr;
    QTimer *batchTimer = nullptr;
    QElapsedTimer monotonic;
    Timing timing;

    std::vector<Probe> probes;
    // Sequence number to the echo it carried; a sequence is reused after 65536 echoes.
    std::vector<Echo> echoes;
    // Random from the start, with a random identifier and a random payload each reply must bring
    // back: a reply guessed by someone off the path is no measurement.
    quint16 nextSequence = 0;
    quint64 nonce = 0;
    // Probes waiting for their second echo, and for their last reply, in send order.
    std::deque<int> unsentFirstEchoes;
    std::deque<int> awaitingSecond;
    std::deque<int> awaitingLast;
    int unfinished = 0;
    QVector<Platform::LatencyResult> pending;
};
