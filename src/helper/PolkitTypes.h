#pragma once

#include <QDBusArgument>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// polkit's details, "a{ss}".
using PolkitDetails = QMap<QString, QString>;

// polkit's subject, "(sa{sv})": a kind ("system-bus-name") and its details ({"name": ":1.42"}).
struct PolkitSubject {
    QString kind;
    QVariantMap details;
};
Q_DECLARE_METATYPE(PolkitSubject)

// polkit's answer, "(bba{ss})".
struct PolkitResult {
    bool isAuthorized = false;
    bool isChallenge = false;
    PolkitDetails details;
};
Q_DECLARE_METATYPE(PolkitResult)

QDBusArgument &operator<<(QDBusArgument &argument, const PolkitSubject &subject);
const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitSubject &subject);
QDBusArgument &operator<<(QDBusArgument &argument, const PolkitResult &result);
const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitResult &result);
