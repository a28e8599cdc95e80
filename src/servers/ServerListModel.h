#pragma once

#include "types/LatencyResult.h"
#include "types/ServerData.h"

#include <QAbstractListModel>
#include <QHash>
#include <QVector>

#include <functional>

// The server list as locations: one row per country, shown by its best server and the number of
// servers in it. Every change is announced with a full reset. The visible rows are kept until a
// change invalidates them; a latency result touches only the location of its server.
class ServerListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit ServerListModel(const QVector<ServerData> &servers, QObject *parent = nullptr);

    void setFilter(int filter);
    void setSearchText(const QString &text);
    void setSortOrder(int order);
    void sortServers(int mode);
    int filter() const { return filterValue; }
    int sortOrder() const { return sortOrderValue; }
    int sortMode() const { return sortModeValue; }

    // Whether the list holds a server with this id; serverById answers an empty record (id 0)
    // for any other, which no caller may write back.
    bool hasServer(int id) const { return storageIndexOf(id) >= 0; }
    ServerData serverById(int id) const;
    // New latencies for many servers at once (a batch of probe results).
    void updateLatencies(const QVector<Platform::LatencyResult> &results);
    bool updateServer(const ServerData &server);
    QVector<int> favoriteServers() const;
    int fastestServerId() const;
    QVector<int> recommendedServers() const;
    QModelIndex indexOfServer(int id) const;
    // What a screen reader says of a row (Qt::AccessibleTextRole): the view sets it, in the
    // member's language.
    using SpokenText = std::function<QString(const ServerData &)>;
    void setSpokenText(const SpokenText &describe) { spokenText = describe; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The latency ordering: the better server of two, for a location's best, the fastest
    // server and the recommendations.
    static bool comesBefore(const ServerData &a, const ServerData &b);

    static constexpr int noServerId = -1;

private:
    SpokenText spokenText;

    struct Location {
        QString key;
        int count = 0;
        bool matched = false;
        int best = -1;
        QVector<int> members;
    };

    const QVector<ServerData> &visibleRows() const;
    void buildLocations() const;
    void buildRows() const;
    void refreshBestOf(int location) const;
    bool matchesSearch(const ServerData &server) const;
    bool keepsGrouping(const ServerData &before, const ServerData &after) const;
    void rebuildIdIndex();
    void mergeChangedLatencies();
    int storageIndexOf(int id) const;

    QVector<ServerData> servers;
    int filterValue = 0;
    QString searchText;
    int sortOrderValue = 0;
    int sortModeValue = 0;

    QHash<int, int> firstIndexById;
    // Whether the servers are in latency order but for those whose latency changed since.
    bool latencyOrdered = false;
    QVector<int> latencyChangedSinceSort;
    mutable bool locationsValid = false;
    mutable QVector<Location> locations;
    mutable QVector<int> locationOfServer;
    mutable QVector<ServerData> rows;
};
