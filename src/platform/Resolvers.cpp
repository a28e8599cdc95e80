#include "platform/Resolvers.h"

#include <QFile>
#include <QHostAddress>

namespace Platform {

QStringList resolverConfigurationFiles()
{
#ifdef Q_OS_WIN
    return {};
#else
    return {QStringLiteral("/etc/resolv.conf"), QStringLiteral("/run/systemd/resolve/resolv.conf")};
#endif
}

QStringList configuredResolvers(const QStringList &files)
{
    QStringList resolvers;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        // resolv.conf is a few lines; a huge file is not one.
        const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() != 2 || words.first() != "nameserver")
                continue;
            const QString text = QString::fromLatin1(words.at(1));
            const QHostAddress address(text);
            if (address.isNull() || text.contains(QLatin1Char('%')))
                continue;
            if (!resolvers.contains(address.toString()))
                resolvers << address.toString();
        }
    }
    return resolvers;
}

} // namespace Platform
