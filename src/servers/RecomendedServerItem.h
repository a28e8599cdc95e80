#pragma once

#include "types/ServerData.h"

#include <QWidget>

class LanguageManager;
class QLabel;
class QPushButton;

// A recommended location card on the home screen; a click chooses it and connects.
class RecomendedServerItem : public QWidget {
    Q_OBJECT

public:
    explicit RecomendedServerItem(QWidget *parent = nullptr);

    void setLanguageManager(LanguageManager *manager);
    void setServer(const ServerData &server);
    ServerData server() const { return serverData; }

signals:
    void setCurrent(int id, bool autoConnect);
    void favoriteToggled(int id, bool isFavorite);

public slots:
    void retranslate();

private slots:
    void on_pushButton_clicked();
    void on_pushButtonFavorite_clicked();

private:
    void layOutLatencyColumn();

    QLabel *labelFlag;
    QLabel *labelName;
    QLabel *labelSubtitle;
    QLabel *bars[4];
    QLabel *labelPing;
    QLabel *labelLatencyLabel;
    QLabel *labelFavorite;
    QPushButton *pushButtonFavorite;
    QPushButton *pushButton;

    ServerData serverData;
    LanguageManager *languageManager = nullptr;
    bool hasServer = false;
};
