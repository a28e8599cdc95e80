#include "app/Startup.h"

#include "widgets/Theme.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QtGlobal>

void initResourceTree()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(generated);
}

void applyApplicationVersion()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
}

void prepareProcess()
{
    // Icons pick their largest image for a screen at a scale of 2 instead of stretching one.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Qt's bearer management would wake every ten seconds to list the network interfaces; the
    // client watches the routes itself. (A negative value makes Qt warn at every start.)
    if (qEnvironmentVariableIsEmpty("QT_BEARER_POLL_TIMEOUT"))
        qputenv("QT_BEARER_POLL_TIMEOUT", "2147483647");
}

void setUpApplication()
{
    applyApplicationVersion();
    // The desktop finds the entry, icon and window group by this name (Wayland's app id too).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.corvane.Corvane"));
    initResourceTree();
    installApplicationFont();
}

bool installApplicationFont(const QString &fontPath)
{
    const int fontId = QFontDatabase::addApplicationFont(fontPath);
    if (fontId < 0)
        return false;
    const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
    if (families.isEmpty())
        return false;
    const QString family = families.first();
    QFont::insertSubstitution(QLatin1String(Theme::fontFamily), family);
    QApplication::setFont(QFont(family));
    return true;
}
