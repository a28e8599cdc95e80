#include "ui/MainForm.h"

#include <QLabel>
#include <QPushButton>

MainForm::MainForm(QWidget *parent)
    : QWidget(parent)
    , labelServerCount(new QLabel(this))
    , pushButtonLogOut(new QPushButton(QStringLiteral("Log Out"), this))
{
    setObjectName(QStringLiteral("MainForm"));
    labelServerCount->setObjectName(QStringLiteral("labelServerCount"));
    labelServerCount->setGeometry(24, 400, 363, 40);
    labelServerCount->setAlignment(Qt::AlignCenter);
    pushButtonLogOut->setObjectName(QStringLiteral("pushButtonLogOut"));
    pushButtonLogOut->setGeometry(24, 500, 363, 48);
    connect(pushButtonLogOut, &QPushButton::clicked, this, &MainForm::logOutClicked);
}

void MainForm::setNetworkManager(NetworkManager *manager)
{
    networkManager = manager;
}

void MainForm::setLanguageManager(LanguageManager *manager)
{
    languageManager = manager;
}

void MainForm::setServers(const QVector<ServerData> &servers)
{
    serverList = servers;
    labelServerCount->setText(QStringLiteral("%1 servers").arg(servers.size()));
}

void MainForm::setFavoriteServers(const QVector<int> &favoriteServersIds)
{
    favoriteIds = favoriteServersIds;
}

void MainForm::resetView() {}

void MainForm::trayIconChangeConnectionStateCLicked() {}
