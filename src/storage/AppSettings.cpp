#include "storage/AppSettings.h"

#include "platform/StartupEntry.h"
#include "storage/CredentialVault.h"
#include "storage/Scramble.h"

#include <QSettings>

#include <algorithm>

namespace {

// One short-lived view of the store, opened on one group.
class StoreGroup final {
public:
    explicit StoreGroup(const QString &group)
        : settings(QSettings::NativeFormat, QSettings::UserScope,
                   QString::fromLatin1(AppSettings::organizationName()),
                   QString::fromLatin1(AppSettings::applicationName()))
    {
        if (!group.isEmpty())
            settings.beginGroup(group);
    }

    QSettings settings;
};

const QString switchGroup = QStringLiteral("data1");
const QString valueGroup = QStringLiteral("data2");
const QString favoritesGroup = QStringLiteral("favorites");
const QString favoritesArray = QStringLiteral("ids");
const QString favoriteIdKey = QStringLiteral("id");

// The file is input like any other: only what this program writes for "on" reads as on.
bool isTrue(const QVariant &stored)
{
    if (stored.type() == QVariant::Bool)
        return stored.toBool();
    const QString text = stored.toString();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}

// Every write replaces the file and waits for the disk: a value already stored is left alone.
void writeIfChanged(QSettings &settings, const QString &key, const QVariant &value)
{
    const QVariant stored = settings.value(key);
    if (stored.isValid() && stored == value)
        return;
    settings.setValue(key, value);
}

} // namespace

bool AppSettings::switchState(const Switch &key)
{
    if (key == Startup)
        return Platform::startupEntryExists();
    StoreGroup store(switchGroup);
    return isTrue(store.settings.value(QString::number(key), false));
}

bool AppSettings::setSwitchState(const Switch &key, const bool &on)
{
    if (key == Startup) {
        Platform::setStartupEntry(on);
        return true;
    }
    StoreGroup store(switchGroup);
    writeIfChanged(store.settings, QString::number(key), on);
    return true;
}

QVariant AppSettings::value(const Value &key)
{
    StoreGroup store(valueGroup);
    return store.settings.value(QString::number(key));
}

bool AppSettings::setValue(const Value &key, const QVariant &value)
{
    StoreGroup store(valueGroup);
    if (key == CredentialTarget)
        store.settings.setValue(QString::number(key), Scramble::encode(value.toString()));
    else
        writeIfChanged(store.settings, QString::number(key), value);
    return true;
}

QVector<int> AppSettings::favoriteServerIds()
{
    StoreGroup store(favoritesGroup);
    // The stored size is only a claim: never more entries than the file holds.
    store.settings.beginGroup(favoritesArray);
    const int present = store.settings.childGroups().size();
    store.settings.endGroup();
    const int size = std::min(store.settings.beginReadArray(favoritesArray), present);
    QVector<int> ids;
    ids.reserve(std::max(size, 0));
    for (int index = 0; index < size; ++index) {
        store.settings.setArrayIndex(index);
        bool isNumber = false;
        const int id = store.settings.value(favoriteIdKey).toInt(&isNumber);
        if (isNumber && !ids.contains(id))
            ids.append(id);
    }
    store.settings.endArray();
    return ids;
}

void AppSettings::setFavoriteServerIds(const QVector<int> &ids)
{
    StoreGroup store(favoritesGroup);
    store.settings.remove(favoritesArray);
    store.settings.beginWriteArray(favoritesArray, ids.size());
    for (int index = 0; index < ids.size(); ++index) {
        store.settings.setArrayIndex(index);
        store.settings.setValue(favoriteIdKey, ids.at(index));
    }
    store.settings.endArray();
}

void AppSettings::resetApplication()
{
    CredentialVault::write(QString(), QString(), value(CredentialTarget).toByteArray());
    StoreGroup store{QString()};
    store.settings.clear();
}
