#include "vpn/ServiceAddresses.h"

#include "types/LogCategories.h"

#include <QDebug>
#include <QHostAddress>
#include <QHostInfo>
#include <QUrl>

ServiceAddresses::ServiceAddresses(QObject *parent)
    : QObject(parent)
{}

void ServiceAddresses::setServiceUrls(const QStringList &urls)
{
    literalAddresses.clear();
    servicePorts.clear();
    hostNames.clear();
    lastAnswers.clear();
    for (const QString &text : urls) {
        const QUrl url(text, QUrl::TolerantMode);
        const QString host = url.host();
        if (host.isEmpty())
            continue;
        const quint16 port = quint16(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
        if (!servicePorts.contains(port))
            servicePorts << port;
        const QHostAddress literal(host);
        QStringList &list = literal.isNull() ? hostNames : literalAddresses;
        const QString entry = literal.isNull() ? host : literal.toString();
        if (!list.contains(entry))
            list << entry;
    }
    refresh();
    emit changed();
}

QStringList ServiceAddresses::addresses() const
{
    QStringList all = literalAddresses;
    for (const QString &hostName : hostNames) {
        for (const QString &address : lastAnswers.value(hostName)) {
            if (!all.contains(address))
                all << address;
        }
    }
    return all;
}

void ServiceAddresses::refresh()
{
    for (const QString &hostName : hostNames)
        QHostInfo::lookupHost(hostName, this, [this, hostName](const QHostInfo &answer) {
            takeAnswer(hostName, answer);
        });
}

void ServiceAddresses::takeAnswer(const QString &hostName, const QHostInfo &answer)
{
    // A failed lookup keeps the last good answer: the service has not moved because DNS failed.
    if (answer.error() != QHostInfo::NoError || answer.addresses().isEmpty())
        return;
    // A name answered with hundreds of addresses would make every block fail (the helper takes
    // a bounded list): a service needs only a few.
    constexpr int maximumAddressesPerHost = 8;
    QStringList addresses;
    for (const QHostAddress &address : answer.addresses()) {
        if (addresses.size() == maximumAddressesPerHost) {
            qCDebug(lcVpn) << "Service host" << hostName << "answered more than"
                           << maximumAddressesPerHost << "addresses; the first are kept";
            break;
        }
        addresses << address.toString();
    }
    if (addresses == lastAnswers.value(hostName))
        return;
    lastAnswers.insert(hostName, addresses);
    emit changed();
}
