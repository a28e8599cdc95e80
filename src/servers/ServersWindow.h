#pragma once

#include "servers/ServerListView.h"
#include "widgets/NavigablePage.h"

#include <QModelIndex>

class FavoriteServerListItemDelegate;
class LanguageManager;
class QLabel;
class QLineEdit;
class QPushButton;
class ServerListItemDelegate;
class ServerListModel;

// The page on which the member browses, searches and picks a location.
class ServersWindow : public NavigablePage {
    Q_OBJECT

public:
    explicit ServersWindow(QWidget *parent = nullptr);

    void setModel(ServerListModel *model);
    void setLanguageManager(LanguageManager *manager);
    ServerListModel *model() const;
    // The search box takes the keyboard (Ctrl+F here and on the home page).
    void focusSearch();

signals:
    void currentServerChosed(int id, bool autoConnect);
    void requestUpdateFavoriteServers();
    void requestOpenAccount();
    void requestOpenSettings();

private slots:
    void on_pushButtonAllServers_clicked();
    void on_pushButtonFavorites_clicked();
    void on_lineEditSearch_textEdited(QString arg1);
    void on_pushButtonFastestLocation_clicked();
    void on_listViewServers_entered(QModelIndex index);
    void on_listViewFavoriteServers_entered(QModelIndex index);
    void setCurrentServer(int id);
    void favoritesServersChanged();
    void translate();

private:
    void buildPage();
    QPushButton *categoryButton(const char *name, const QRect &rect);
    ServerListView *serverView(const char *name);
    void actOnRow(const QModelIndex &index, ServerListView::RowAction action);
    void toggleFavorite(const QModelIndex &index);
    void selectCategory(QPushButton *active);
    void closeAllEditors();
    void openEditor(QListView *view, const QModelIndex &index);

    QLineEdit *lineEditSearch = nullptr;
    QPushButton *pushButtonAllServers = nullptr;
    QPushButton *pushButtonFavorites = nullptr;
    QPushButton *gamingButton = nullptr;
    QPushButton *p2pButton = nullptr;
    QPushButton *pushButtonFastestLocation = nullptr;
    ServerListView *listViewServers = nullptr;
    ServerListView *listViewFavoriteServers = nullptr;
    QLabel *recommendedLabel = nullptr;

    ServerListItemDelegate *serversDelegate = nullptr;
    FavoriteServerListItemDelegate *favoritesDelegate = nullptr;
    LanguageManager *languageManager = nullptr;
};
