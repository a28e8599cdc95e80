#include "storage/AppSettings.h"

#include "platform/StartupEntry.h"
#include "storage/CredentialVault.h"
#include "storage/Scramble.h"

#include <QSettings>

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

} // namespace

bool AppSettings::switchState(const Switch &key)
{
    if (key == Startup)
        return Platform::startupEntryExists();
    StoreGroup store(switchGroup);
    return store.settings.value(QString::number(key), false).toBool();
}

bool AppSettings::setSwitchState(const Switch &key, const bool &on)
{
    if (key == Startup) {
        Platform::setStartupEntry(on);
        return true;
    }
    StoreGroup store(switchGroup);
    store.settings.setValue(QString::number(key), on);
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
        store.settings.setValue(QString::number(key), value);
    return true;
}

QVector<int> AppSettings::favoriteServerIds()
{
    StoreGroup store(favoritesGroup);
    const int size = store.settings.beginReadArray(favoritesArray);
    QVector<int> ids;
    ids.reserve(size);
    for (int index = 0; index < size; ++index) {
        store.settings.setArrayIndex(index);
        ids.append(store.settings.value(favoriteIdKey).toInt());
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
