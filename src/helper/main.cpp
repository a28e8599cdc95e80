#include "helper/HelperService.h"
#include "helper/PolkitAuthority.h"
#include "vpn/HelperInterface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

// systemd's RuntimeDirectory=, else the same place by hand; only root may enter it.
QString runtimeDirectory()
{
    const QString fromSystemd = qEnvironmentVariable("RUNTIME_DIRECTORY").section(':', 0, 0);
    const QString path =
        fromSystemd.isEmpty() ? QStringLiteral("/run/corvane-helper") : fromSystemd;
    QDir().mkpath(path);
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Corvane's system helper: tunnel and kill switch for the Corvane client, "
                       "on the system bus as org.corvane.Helper1"));
    parser.addHelpOption();
    const QCommandLineOption idleExit(QStringLiteral("idle-exit-seconds"),
                                      QStringLiteral("Exit after this long with nothing to keep."),
                                      QStringLiteral("seconds"), QStringLiteral("60"));
    parser.addOption(idleExit);
    // The bus starts the helper with no PATH at all (and a PATH from elsewhere is not to be
    // trusted by a root service): the tools and what they run themselves (wg-quick runs ip, wg,
    // resolvconf) are found in the system's folders only.
    const QCommandLineOption toolPath(
        QStringLiteral("tool-path"),
        QStringLiteral("Where the tools are found, folders separated by colons."),
        QStringLiteral("folders"),
        QStringLiteral("/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"));
    parser.addOption(toolPath);
    parser.process(app);
    qputenv("PATH", parser.value(toolPath).toLocal8Bit());

    PolkitAuthority::registerTypes();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "corvane-helper: no system bus\n");
        return 1;
    }
    HelperService service(bus, runtimeDirectory(), parser.value(idleExit).toInt() * 1000);
    if (!bus.registerObject(QLatin1String(HelperInterface::objectPath), &service,
                            QDBusConnection::ExportAdaptors) ||
        !bus.registerService(QLatin1String(HelperInterface::serviceName))) {
        std::fprintf(stderr, "corvane-helper: cannot own %s\n", HelperInterface::serviceName);
        return 1;
    }
    return app.exec();
}
