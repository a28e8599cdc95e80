#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>

class QHostInfo;

// The addresses of the client's own services, which the kill switch always lets through. Host
// names are resolved in the background and the last answer is kept, so putting the block in
// place never waits for DNS on the GUI thread.
class ServiceAddresses : public QObject {
    Q_OBJECT

public:
    explicit ServiceAddresses(QObject *parent = nullptr);

    // The services' URLs; their hosts are let through from now on.
    void setServiceUrls(const QStringList &urls);

    QStringList addresses() const;
    // The services' TCP ports, from their URLs (443 for https, 80 for http unless given).
    QVector<quint16> ports() const { return servicePorts; }
    // Asks again for the addresses of every service host name.
    void refresh();

signals:
    void changed();

private:
    void takeAnswer(const QString &hostName, const QHostInfo &answer);

    QStringList literalAddresses;
    QVector<quint16> servicePorts;
    QStringList hostNames;
    QHash<QString, QStringList> lastAnswers;
};
