#include "app/Startup.h"

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

bool installApplicationFont(const QString &fontPath)
{
    const int fontId = QFontDatabase::addApplicationFont(fontPath);
    if (fontId < 0)
        return false;
    const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
    if (families.isEmpty())
        return false;
    const QString family = families.first();
    QFont::insertSubstitution(QStringLiteral("Roboto"), family);
    QApplication::setFont(QFont(family));
    return true;
}
