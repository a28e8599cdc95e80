#include "i18n/LanguageManager.h"

#include <QFile>
#include <QJsonDocument>

LanguageManager::LanguageManager(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<Translation::Language>("Translation::Language");
    loadCatalogue();
}

QStringList LanguageManager::languages()
{
    return {QStringLiteral("English"),   QStringLiteral("German"),     QStringLiteral("Danish"),
            QStringLiteral("Spanish"),   QStringLiteral("Finnish"),    QStringLiteral("French"),
            QStringLiteral("Italian"),   QStringLiteral("Japanese"),   QStringLiteral("Dutch"),
            QStringLiteral("Norwegian"), QStringLiteral("Portuguese"), QStringLiteral("Swedish")};
}

QString LanguageManager::languageName() const
{
    return languages().value(language);
}

QString LanguageManager::text(const QString &key) const
{
    return catalogue.value(key).toString();
}

void LanguageManager::languageChanged(Translation::Language newLanguage)
{
    language = newLanguage;
    loadCatalogue();
    emit translate();
}

void LanguageManager::loadCatalogue()
{
    QFile file(QStringLiteral(":/languages/%1.json").arg(languageName()));
    QByteArray contents;
    if (file.open(QIODevice::ReadOnly))
        contents = file.readAll();
    catalogue = QJsonDocument::fromJson(contents).object();
}

QString textWithFallback(const LanguageManager *manager, const QString &key,
                         const QString &fallback)
{
    if (!manager)
        return fallback;
    const QString translated = manager->text(key);
    return translated.isEmpty() ? fallback : translated;
}
