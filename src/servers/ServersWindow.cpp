#include "servers/ServersWindow.h"

#include "i18n/LanguageManager.h"
#include "servers/ServerListItemDelegate.h"
#include "servers/ServerListModel.h"
#include "servers/ServerListView.h"
#include "servers/ServerPresentation.h"
#include "widgets/IconPainter.h"
#include "widgets/NavigationBar.h"
#include "widgets/PageChrome.h"
#include "widgets/Theme.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>

namespace {

QString activeCategoryStyle()
{
    return QStringLiteral("border: 0; border-radius: 20px; background-color: %1; color: "
                          "white; font-family: Roboto; font-size: 13px; font-weight: 400;")
        .arg(QLatin1String(Theme::accentFill));
}
const char inactiveCategoryStyle[] = "border: 1px solid rgba(0,0,0,34); border-radius: 20px; "
                                     "background-color: #F0F3F7; color: #3C4555; "
                                     "font-family: Roboto; font-size: 13px; font-weight: 400;";

} // namespace

ServersWindow::ServersWindow(QWidget *parent)
    : NavigablePage(parent)
{
    setFixedSize(411, 914);
    buildPage();
    serversDelegate = new ServerListItemDelegate(this);
    favoritesDelegate = new FavoriteServerListItemDelegate(this);
    listViewServers->setItemDelegate(serversDelegate);
    listViewFavoriteServers->setItemDelegate(favoritesDelegate);
    for (ServerListItemDelegate *delegate :
         {static_cast<ServerListItemDelegate *>(serversDelegate),
          static_cast<ServerListItemDelegate *>(favoritesDelegate)}) {
        connect(delegate, &ServerListItemDelegate::currentServerChoosed, this,
                &ServersWindow::setCurrentServer);
        connect(delegate, &ServerListItemDelegate::serverFavoriteStateChanged, this,
                &ServersWindow::favoritesServersChanged);
    }
    setNavigationZones({{NavigationBar::Home, [this] { close(); }},
                        {NavigationBar::Account, [this] { emit requestOpenAccount(); }},
                        {NavigationBar::Settings, [this] { emit requestOpenSettings(); }}});
}

void ServersWindow::buildPage()
{
    PageChrome::build(this, QStringLiteral("Servers"));

    auto *searchBox = new QFrame(this);
    searchBox->setObjectName(QStringLiteral("frame"));
    searchBox->setGeometry(24, 96, 363, 56);
    searchBox->setStyleSheet(
        QStringLiteral("#frame { border: 1px solid rgba(0,0,0,34);\nborder-radius: "
                       "24px;\nbackground-color: rgb(255, 255, 255); }"));
    auto *searchIcon = new QLabel(searchBox);
    searchIcon->setObjectName(QStringLiteral("labelSearchIcon"));
    searchIcon->setGeometry(18, 18, 20, 20);
    searchIcon->setAlignment(Qt::AlignCenter);
    searchIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    searchIcon->setPixmap(
        IconPainter::paint(IconPainter::Search, QColor(QStringLiteral("#8D96A4")), QSize(20, 20)));
    lineEditSearch = new QLineEdit(searchBox);
    lineEditSearch->setObjectName(QStringLiteral("lineEditSearch"));
    lineEditSearch->setGeometry(48, 13, 292, 30);
    lineEditSearch->setStyleSheet(QStringLiteral("border: none;\ncolor: %1; font-size: 15px;")
                                      .arg(QLatin1String(Theme::primaryText)));
    auto *findShortcut = new QShortcut(QKeySequence::Find, this);
    connect(findShortcut, &QShortcut::activated, this, &ServersWindow::focusSearch);
    connect(lineEditSearch, &QLineEdit::textEdited, this,
            &ServersWindow::on_lineEditSearch_textEdited);

    pushButtonAllServers = categoryButton("pushButtonAllServers", QRect(24, 160, 88, 40));
    pushButtonFavorites = categoryButton("pushButtonFavorites", QRect(122, 160, 110, 40));
    gamingButton = categoryButton("pushButtonGaming", QRect(242, 160, 82, 40));
    p2pButton = categoryButton("pushButtonP2P", QRect(334, 160, 53, 40));
    connect(pushButtonAllServers, &QPushButton::clicked, this,
            &ServersWindow::on_pushButtonAllServers_clicked);
    connect(pushButtonFavorites, &QPushButton::clicked, this,
            &ServersWindow::on_pushButtonFavorites_clicked);
    connect(gamingButton, &QPushButton::clicked, this, [this] { selectCategory(gamingButton); });
    connect(p2pButton, &QPushButton::clicked, this, [this] { selectCategory(p2pButton); });

    recommendedLabel = new QLabel(QStringLiteral("RECOMMENDED"), this);
    recommendedLabel->setObjectName(QStringLiteral("labelRecommended"));
    recommendedLabel->setGeometry(32, 216, 220, 16);
    recommendedLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    recommendedLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    recommendedLabel->setStyleSheet(
        QStringLiteral("background: transparent; border: 0; color: %1; "
                       "font-family: Roboto; font-size: 11px; font-weight: 400; "
                       "letter-spacing: 2.2px;")
            .arg(QLatin1String(Theme::accentText)));

    listViewServers = serverView("listViewServers");
    listViewFavoriteServers = serverView("listViewFavoriteServers");
    listViewFavoriteServers->hide();
    connect(listViewServers, &QListView::entered, this, &ServersWindow::on_listViewServers_entered);
    connect(listViewFavoriteServers, &QListView::entered, this,
            &ServersWindow::on_listViewFavoriteServers_entered);

    pushButtonFastestLocation = new QPushButton(this);
    pushButtonFastestLocation->setObjectName(QStringLiteral("pushButtonFastestLocation"));
    pushButtonFastestLocation->setGeometry(24, 792, 363, 48);
    pushButtonFastestLocation->setStyleSheet(
        QStringLiteral("background-color: %1;\nborder-radius: 24px;\ncolor: rgb(255, 255, 255);\n")
            .arg(QLatin1String(Theme::accentFill)));
    pushButtonFastestLocation->setIcon(QIcon(QStringLiteral(":/images/buttons/fastestServer.png")));
    pushButtonFastestLocation->hide();
    connect(pushButtonFastestLocation, &QPushButton::clicked, this,
            &ServersWindow::on_pushButtonFastestLocation_clicked);

    NavigationBar::build(this, NavigationBar::Servers);
}

QPushButton *ServersWindow::categoryButton(const char *name, const QRect &rect)
{
    auto *button = new QPushButton(this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(rect);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QString::fromLatin1(inactiveCategoryStyle));
    return button;
}

ServerListView *ServersWindow::serverView(const char *name)
{
    auto *view = new ServerListView(this);
    view->setObjectName(QLatin1String(name));
    view->setGeometry(24, 244, 363, 536);
    view->setMouseTracking(true);
    view->setFrameShape(QFrame::NoFrame);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setMovement(QListView::Free);
    view->setResizeMode(QListView::Adjust);
    view->setSpacing(0);
    view->setUniformItemSizes(false);
    view->setStyleSheet(QStringLiteral("background: transparent; border: 0;"));
    connect(view, &ServerListView::rowActionRequested, this, &ServersWindow::actOnRow);
    return view;
}

void ServersWindow::focusSearch()
{
    lineEditSearch->setFocus(Qt::ShortcutFocusReason);
    lineEditSearch->selectAll();
}

ServerListModel *ServersWindow::model() const
{
    return qobject_cast<ServerListModel *>(listViewServers->model());
}

void ServersWindow::setModel(ServerListModel *model)
{
    model->setSpokenText([this](const ServerData &server) {
        return ServerPresentation::spokenText(languageManager, server);
    });
    listViewServers->setModel(model);
    listViewFavoriteServers->setModel(model);
    // A row a screen reader selects becomes the row Enter acts on, as the arrow keys make it.
    for (ServerListView *view : {listViewServers, listViewFavoriteServers}) {
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, view,
                [view](const QItemSelection &selected) {
                    if (!selected.indexes().isEmpty())
                        view->setCurrentIndex(selected.indexes().first());
                });
    }
    model->setSortOrder(0);
    model->sortServers(3);
    on_pushButtonAllServers_clicked();
}

void ServersWindow::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
    serversDelegate->setLanguageManager(manager);
    favoritesDelegate->setLanguageManager(manager);
    connect(manager, &LanguageManager::translate, this, &ServersWindow::translate);
    translate();
}

void ServersWindow::translate()
{
    const auto text = [this](const char *key) { return languageManager->text(QLatin1String(key)); };
    if (auto *title = findChild<QLabel *>(QStringLiteral("mobileSectionTitle")))
        title->setText(text("nav.servers"));
    recommendedLabel->setText(text("locations.recommended").toUpper());
    pushButtonAllServers->setText(text("locations.all.short"));
    pushButtonFavorites->setText(text("locations.streaming"));
    gamingButton->setText(text("locations.gaming"));
    p2pButton->setText(text("locations.p2p"));
    pushButtonFastestLocation->setText(text("locations.fastest"));
    lineEditSearch->setPlaceholderText(text("locations.searchServers"));
    lineEditSearch->setAccessibleName(text("locations.searchServers"));
    for (ServerListView *view : {listViewServers, listViewFavoriteServers}) {
        view->setAccessibleName(text("a11y.locationList"));
        view->setActionTexts(
            {text("a11y.choose"), text("action.connect"), text("a11y.toggleFavorite")});
    }
    PageChrome::translate(this, languageManager);
    NavigationBar::translate(this, languageManager);
}

void ServersWindow::selectCategory(QPushButton *active)
{
    if (ServerListModel *servers = model())
        servers->setFilter(0);
    for (QPushButton *button : {pushButtonAllServers, pushButtonFavorites, gamingButton, p2pButton})
        button->setStyleSheet(button == active ? activeCategoryStyle()
                                               : QString::fromLatin1(inactiveCategoryStyle));
    listViewServers->show();
    listViewFavoriteServers->hide();
    listViewServers->update();
    listViewFavoriteServers->update();
}

void ServersWindow::on_pushButtonAllServers_clicked()
{
    selectCategory(pushButtonAllServers);
}

void ServersWindow::on_pushButtonFavorites_clicked()
{
    selectCategory(pushButtonFavorites);
}

void ServersWindow::on_lineEditSearch_textEdited(QString arg1)
{
    model()->setSearchText(arg1);
}

void ServersWindow::on_pushButtonFastestLocation_clicked()
{
    emit currentServerChosed(model()->fastestServerId(), true);
}

void ServersWindow::closeAllEditors()
{
    ServerListModel *servers = model();
    if (!servers)
        return;
    for (int row = 0; row < servers->rowCount(); ++row) {
        const QModelIndex index = servers->index(row, 0);
        listViewServers->closePersistentEditor(index);
        listViewFavoriteServers->closePersistentEditor(index);
    }
}

void ServersWindow::openEditor(QListView *view, const QModelIndex &index)
{
    closeAllEditors();
    view->openPersistentEditor(index);
}

void ServersWindow::on_listViewServers_entered(QModelIndex index)
{
    openEditor(listViewServers, index);
}

void ServersWindow::on_listViewFavoriteServers_entered(QModelIndex index)
{
    openEditor(listViewFavoriteServers, index);
}

void ServersWindow::setCurrentServer(int id)
{
    closeAllEditors();
    emit currentServerChosed(id, true);
    close();
}

void ServersWindow::actOnRow(const QModelIndex &index, ServerListView::RowAction action)
{
    const ServerData server = index.data().value<ServerData>();
    switch (action) {
    case ServerListView::RowAction::Connect:
        setCurrentServer(server.id);
        break;
    case ServerListView::RowAction::Choose:
        closeAllEditors();
        emit currentServerChosed(server.id, false);
        close();
        break;
    case ServerListView::RowAction::ToggleFavorite:
        toggleFavorite(index);
        break;
    }
}

void ServersWindow::toggleFavorite(const QModelIndex &index)
{
    ServerData server = index.data().value<ServerData>();
    server.isFavorite = !server.isFavorite;
    QVector<ServerListView *> onTheRow;
    for (ServerListView *view : {listViewServers, listViewFavoriteServers}) {
        if (view->currentIndex() == index)
            onTheRow << view;
    }
    model()->setData(index, QVariant::fromValue(server), Qt::EditRole);
    // The model starts afresh on the change; the keyboard stays on the row it was on.
    for (ServerListView *view : qAsConst(onTheRow))
        view->setCurrentIndex(model()->indexOfServer(server.id));
    favoritesServersChanged();
}

void ServersWindow::favoritesServersChanged()
{
    emit requestUpdateFavoriteServers();
}
