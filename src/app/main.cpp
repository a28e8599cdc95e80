#include "app/ActivationChannel.h"
#include "app/MainWindow.h"
#include "app/RunGuard.h"
#include "app/Startup.h"
#include "platform/ActivationChannelName.h"
#include "platform/TerminationSignals.h"
#include "storage/DiagnosticLog.h"
#include "types/LogCategories.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>

#include <memory>

namespace {

// --help and --version answer and exit here: before the single-instance guard, and without a
// display, which a QApplication would need. Other options are left alone: Qt's own (-platform,
// -style) are QApplication's to read. True when --hidden was given.
bool readCommandLine(int &argc, char *argv[])
{
    QCoreApplication core(argc, argv);
    applyApplicationVersion();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvane VPN client"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption hidden(
        QStringLiteral("hidden"),
        QStringLiteral("Start in the tray without showing the window, when the tray icon is on."));
    parser.addOption(hidden);
    parser.parse(core.arguments());
    if (parser.isSet(help))
        parser.showHelp();
    if (parser.isSet(version))
        parser.showVersion();
    return parser.isSet(hidden);
}

} // namespace

int main(int argc, char *argv[])
{
    const bool startHidden = readCommandLine(argc, argv);
    prepareProcess();
    auto app = std::make_unique<QApplication>(argc, argv);
    DiagnosticLog::install();
    setUpApplication();
    Platform::quitOnTerminationSignals();

    auto guard = std::make_unique<RunGuard>(
        Platform::instanceGuardKey(QStringLiteral("VPN_APP_EXAMPLE_NAME_RunGuard")));
    const bool guarded = guard->tryToAcquire();
    if (!guarded && !guard->problem().isEmpty())
        qCDebug(lcApp).noquote()
            << "The single-instance guard cannot be taken; starting without it:"
            << guard->problem();
    if (!guarded && guard->problem().isEmpty()) {
        // Members expect a second launch to bring up the Corvane that runs.
        ActivationChannel::askRunningInstanceToShow();
        guard.reset();
        app.reset();
        return 0;
    }

    int exitCode = 0;
    {
        MainWindow window;
        ActivationChannel channel;
        QObject::connect(&channel, &ActivationChannel::showRequested, &window,
                         &MainWindow::bringToFront);
        window.start(startHidden);
        exitCode = app->exec();
    }
    guard.reset();
    app.reset();
    return exitCode;
}
