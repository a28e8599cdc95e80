#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>

namespace Translation {

enum Language {
    English = 0,
    German = 1,
    Danish = 2,
    Spanish = 3,
    Finnish = 4,
    French = 5,
    Italian = 6,
    Japanese = 7,
    Dutch = 8,
    Norwegian = 9,
    Portuguese = 10,
    Swedish = 11,
};

} // namespace Translation

Q_DECLARE_METATYPE(Translation::Language)

class LanguageManager : public QObject {
    Q_OBJECT

public:
    explicit LanguageManager(QObject *parent = nullptr);

    static QStringList languages();
    QString languageName() const;
    QString text(const QString &key) const;

public slots:
    void languageChanged(Translation::Language language);

signals:
    void translate();

private:
    void loadCatalogue();

    QJsonObject catalogue;
    Translation::Language language = Translation::English;
};

// The text of key, or the English fallback when there is no manager or the catalogue lacks it.
QString textWithFallback(const LanguageManager *manager, const QString &key,
                         const QString &fallback);
