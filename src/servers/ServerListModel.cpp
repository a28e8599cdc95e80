#include "servers/ServerListModel.h"

#include <QSet>

#include <algorithm>

namespace {

const int filterFavorites = 1;
const int sortByLatency = 3;

QString locationKey(const ServerData &server)
{
    QString key = server.country.trimmed();
    if (key.isEmpty())
        key = server.countryCode.trimmed();
    if (key.isEmpty())
        key = server.name.trimmed();
    return key;
}

bool latencySortBefore(const ServerData &a, const ServerData &b)
{
    const bool aValid = a.hasValidLatency();
    if (aValid != b.hasValidLatency())
        return aValid;
    if (a.ping != b.ping)
        return a.ping < b.ping;
    return a.country < b.country;
}

QString textKey(const ServerData &server, int mode)
{
    const QString pattern = mode == 1   ? QStringLiteral("%2%1%3")
                            : mode == 2 ? QStringLiteral("%3%1%2")
                                        : QStringLiteral("%1%2%3");
    return pattern.arg(server.continent, server.country, server.city);
}

void sortBy(QVector<ServerData> &list, int mode)
{
    if (mode == sortByLatency) {
        std::stable_sort(list.begin(), list.end(), latencySortBefore);
        return;
    }
    QVector<std::pair<QString, ServerData>> keyed;
    keyed.reserve(list.size());
    for (const ServerData &server : list)
        keyed.append({textKey(server, mode), server});
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        if (a.first == b.first)
            return a.second.ping < b.second.ping;
        return a.first < b.first;
    });
    for (int i = 0; i < list.size(); ++i)
        list[i] = keyed.at(i).second;
}

// The first three by comesBefore, read in place: no record is copied.
std::vector<const ServerData *> bestThree(std::vector<const ServerData *> list)
{
    const size_t take = std::min<size_t>(3, list.size());
    std::partial_sort(
        list.begin(), list.begin() + take, list.end(),
        [](const auto *a, const auto *b) { return ServerListModel::comesBefore(*a, *b); });
    list.resize(take);
    return list;
}

} // namespace

ServerListModel::ServerListModel(const QVector<ServerData> &servers, QObject *parent)
    : QAbstractListModel(parent)
    , servers(servers)
{
    registerServerDataMetaTypes();
    rebuildIdIndex();
}

bool ServerListModel::comesBefore(const ServerData &a, const ServerData &b)
{
    const bool aValid = a.hasValidLatency();
    const bool bValid = b.hasValidLatency();
    if (aValid != bValid)
        return aValid;
    if (aValid && a.ping != b.ping)
        return a.ping < b.ping;
    return a.city < b.city;
}

void ServerListModel::setFilter(int filter)
{
    beginResetModel();
    filterValue = filter;
    locationsValid = false;
    endResetModel();
}

void ServerListModel::setSearchText(const QString &text)
{
    beginResetModel();
    searchText = text;
    locationsValid = false;
    endResetModel();
}

void ServerListModel::setSortOrder(int order)
{
    if (order == sortOrderValue)
        return;
    beginResetModel();
    sortOrderValue = order;
    if (locationsValid)
        buildRows();
    endResetModel();
}

void ServerListModel::sortServers(int mode)
{
    beginResetModel();
    sortModeValue = mode;
    // A sweep changes a few latencies between sorts: those few are merged into the rest, which
    // is still in order, instead of sorting the whole list again.
    if (mode == sortByLatency && latencyOrdered &&
        latencyChangedSinceSort.size() < servers.size() / 4)
        mergeChangedLatencies();
    else
        sortBy(servers, mode);
    latencyOrdered = mode == sortByLatency;
    latencyChangedSinceSort.clear();
    rebuildIdIndex();
    locationsValid = false;
    endResetModel();
}

// The same order as a stable sort of the whole list: both parts are in (latency, position)
// order, and so is their merge.
void ServerListModel::mergeChangedLatencies()
{
    std::vector<bool> changed(size_t(servers.size()), false);
    std::vector<int> moved;
    for (const int index : qAsConst(latencyChangedSinceSort)) {
        if (!changed[size_t(index)])
            moved.push_back(index);
        changed[size_t(index)] = true;
    }
    std::sort(moved.begin(), moved.end());
    std::stable_sort(moved.begin(), moved.end(), [this](int a, int b) {
        return latencySortBefore(servers.at(a), servers.at(b));
    });
    const auto movedGoesFirst = [this](int movedIndex, int stayingIndex) {
        const ServerData &movedServer = servers.at(movedIndex);
        const ServerData &staying = servers.at(stayingIndex);
        if (latencySortBefore(movedServer, staying))
            return true;
        return !latencySortBefore(staying, movedServer) && movedIndex < stayingIndex;
    };
    QVector<ServerData> merged;
    merged.reserve(servers.size());
    auto next = moved.cbegin();
    for (int index = 0; index < servers.size(); ++index) {
        if (changed[size_t(index)])
            continue;
        for (; next != moved.cend() && movedGoesFirst(*next, index); ++next)
            merged.append(std::move(servers[*next]));
        merged.append(std::move(servers[index]));
    }
    for (; next != moved.cend(); ++next)
        merged.append(std::move(servers[*next]));
    servers.swap(merged);
}

void ServerListModel::rebuildIdIndex()
{
    firstIndexById.clear();
    firstIndexById.reserve(servers.size());
    for (int i = servers.size() - 1; i >= 0; --i)
        firstIndexById.insert(servers.at(i).id, i);
}

int ServerListModel::storageIndexOf(int id) const
{
    return firstIndexById.value(id, -1);
}

ServerData ServerListModel::serverById(int id) const
{
    const int index = storageIndexOf(id);
    return index < 0 ? ServerData() : servers.at(index);
}

bool ServerListModel::updateServer(const ServerData &server)
{
    const int index = storageIndexOf(server.id);
    if (index < 0)
        return false;
    beginResetModel();
    const ServerData before = servers.at(index);
    servers[index] = server;
    latencyChangedSinceSort.append(index);
    if (locationsValid && keepsGrouping(before, server)) {
        const int location = locationOfServer.at(index);
        if (location >= 0) {
            refreshBestOf(location);
            buildRows();
        }
    } else {
        locationsValid = false;
    }
    endResetModel();
    return true;
}

// Latencies change no grouping: each changed server's location elects its best again, and the
// rows change in place, one notification for the whole batch.
void ServerListModel::updateLatencies(const QVector<Platform::LatencyResult> &results)
{
    QSet<int> changedLocations;
    for (const Platform::LatencyResult &result : results) {
        const int index = storageIndexOf(result.id);
        if (index < 0)
            continue;
        servers[index].ping = result.ping;
        latencyChangedSinceSort.append(index);
        if (locationsValid && locationOfServer.at(index) >= 0)
            changedLocations.insert(locationOfServer.at(index));
    }
    if (!locationsValid) {
        beginResetModel();
        endResetModel();
        return;
    }
    const int rowsBefore = rows.size();
    for (const int location : qAsConst(changedLocations))
        refreshBestOf(location);
    buildRows();
    if (rows.size() != rowsBefore) {
        beginResetModel();
        endResetModel();
        return;
    }
    if (!rows.isEmpty())
        emit dataChanged(index(0, 0), index(rows.size() - 1, 0));
}

// A change that leaves every grouping, filter and search input alone moves only the best server
// of one location.
bool ServerListModel::keepsGrouping(const ServerData &before, const ServerData &after) const
{
    if (filterValue == filterFavorites && before.isFavorite != after.isFavorite)
        return false;
    return before.country == after.country && before.countryCode == after.countryCode &&
           before.name == after.name && before.continent == after.continent &&
           before.city == after.city && before.hostname == after.hostname;
}

QVector<int> ServerListModel::favoriteServers() const
{
    QVector<int> ids;
    for (const ServerData &server : servers) {
        if (server.isFavorite)
            ids.append(server.id);
    }
    return ids;
}

int ServerListModel::fastestServerId() const
{
    if (servers.isEmpty())
        return noServerId;
    // Only the record an id looks up is that id's server.
    int best = 0;
    for (int index = 1; index < servers.size(); ++index) {
        if (storageIndexOf(servers.at(index).id) == index &&
            comesBefore(servers.at(index), servers.at(best)))
            best = index;
    }
    return servers.at(best).id;
}

QVector<int> ServerListModel::recommendedServers() const
{
    std::vector<const ServerData *> favorites;
    std::vector<const ServerData *> others;
    others.reserve(size_t(servers.size()));
    for (const ServerData &server : servers)
        (server.isFavorite ? favorites : others).push_back(&server);
    QVector<int> ids;
    for (const auto &best : {bestThree(favorites), bestThree(others)}) {
        for (const ServerData *server : best) {
            if (ids.size() < 3)
                ids.append(server->id);
        }
    }
    return ids;
}

QModelIndex ServerListModel::indexOfServer(int id) const
{
    const QVector<ServerData> &visible = visibleRows();
    for (int row = 0; row < visible.size(); ++row) {
        if (visible.at(row).id == id)
            return index(row, 0);
    }
    return {};
}

int ServerListModel::rowCount(const QModelIndex &parent) const
{
    // A list has no children; answering rows under a valid parent would claim a tree.
    return parent.isValid() ? 0 : visibleRows().size();
}

QVariant ServerListModel::data(const QModelIndex &index, int role) const
{
    // Every reader takes the whole record through the display role; the roles views read for
    // fonts, colours, sizes and check states get nothing, so views keep their defaults.
    const bool spoken = role == Qt::AccessibleTextRole && spokenText;
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::UserRole && !spoken)
        return {};
    const QVector<ServerData> &visible = visibleRows();
    if (!index.isValid() || index.row() >= visible.size())
        return {};
    if (spoken)
        return spokenText(visible.at(index.row()));
    return QVariant::fromValue(visible.at(index.row()));
}

bool ServerListModel::setData(const QModelIndex &index, const QVariant &value, int)
{
    if (!index.isValid() || index.row() >= visibleRows().size())
        return false;
    const ServerData server =
        value.canConvert<ServerData>() ? value.value<ServerData>() : ServerData();
    return updateServer(server);
}

Qt::ItemFlags ServerListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable;
}

const QVector<ServerData> &ServerListModel::visibleRows() const
{
    if (!locationsValid) {
        buildLocations();
        buildRows();
        locationsValid = true;
    }
    return rows;
}

bool ServerListModel::matchesSearch(const ServerData &server) const
{
    if (searchText.isEmpty())
        return true;
    for (const QString *field : {&server.country, &server.continent, &server.name, &server.city,
                                 &server.countryCode, &server.hostname}) {
        if (field->contains(searchText, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

void ServerListModel::buildLocations() const
{
    locations.clear();
    locationOfServer.fill(-1, servers.size());
    QHash<QString, int> locationByFoldedKey;
    for (int i = 0; i < servers.size(); ++i) {
        const ServerData &server = servers.at(i);
        if (filterValue == filterFavorites && !server.isFavorite)
            continue;
        const QString key = locationKey(server);
        const QString folded = key.toCaseFolded();
        auto found = locationByFoldedKey.constFind(folded);
        if (found == locationByFoldedKey.constEnd()) {
            found = locationByFoldedKey.insert(folded, locations.size());
            Location location;
            location.key = key;
            location.best = i;
            locations.append(location);
        }
        Location &location = locations[found.value()];
        ++location.count;
        location.matched = location.matched || matchesSearch(server);
        location.members.append(i);
        locationOfServer[i] = found.value();
        if (comesBefore(server, servers.at(location.best)))
            location.best = i;
    }
}

void ServerListModel::refreshBestOf(int locationIndex) const
{
    Location &location = locations[locationIndex];
    location.best = location.members.first();
    for (const int member : qAsConst(location.members)) {
        if (comesBefore(servers.at(member), servers.at(location.best)))
            location.best = member;
    }
}

void ServerListModel::buildRows() const
{
    rows.clear();
    rows.reserve(locations.size());
    for (const Location &location : qAsConst(locations)) {
        if (!searchText.isEmpty() && !location.matched)
            continue;
        ServerData row = servers.at(location.best);
        row.locationCount = location.count;
        rows.append(row);
    }
    sortBy(rows, sortModeValue);
    if (sortOrderValue == 1)
        std::reverse(rows.begin(), rows.end());
}
