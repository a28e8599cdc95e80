#include "platform/KernelInterfaces.h"

#include <QFile>
#include <QFileInfo>

namespace Platform {

#ifdef Q_OS_LINUX
namespace {

std::optional<quint64> readCounter(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const quint64 value = file.read(32).trimmed().toULongLong(&ok);
    return ok ? std::optional<quint64>(value) : std::nullopt;
}

bool isPlainInterfaceName(const QString &name)
{
    return !name.isEmpty() && name.size() < 16 && !name.contains(QLatin1Char('/')) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace
#endif

bool mayHaveInterface(const QString &interfaceName, const QString &interfacesRoot)
{
#ifdef Q_OS_LINUX
    return isPlainInterfaceName(interfaceName) &&
           QFileInfo::exists(interfacesRoot + QLatin1Char('/') + interfaceName);
#else
    Q_UNUSED(interfaceName)
    Q_UNUSED(interfacesRoot)
    return true;
#endif
}

std::optional<InterfaceCounters> readInterfaceCounters(const QString &interfaceName,
                                                       const QString &interfacesRoot)
{
#ifdef Q_OS_LINUX
    if (!isPlainInterfaceName(interfaceName))
        return std::nullopt;
    const QString statistics =
        interfacesRoot + QLatin1Char('/') + interfaceName + QLatin1String("/statistics/");
    const auto received = readCounter(statistics + QLatin1String("rx_bytes"));
    const auto sent = readCounter(statistics + QLatin1String("tx_bytes"));
    if (!received || !sent)
        return std::nullopt;
    return InterfaceCounters{*received, *sent};
#else
    Q_UNUSED(interfaceName)
    Q_UNUSED(interfacesRoot)
    return std::nullopt;
#endif
}

} // namespace Platform
