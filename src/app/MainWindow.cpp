#include "app/MainWindow.h"

#include "i18n/LanguageManager.h"
#include "network/Deployment.h"
#include "network/NetworkManager.h"
#include "ui/LoadingForm.h"

#include <QFrame>
#include <QGridLayout>
#include <QIcon>
#include <QPainterPath>
#include <QRegion>
#include <QStackedWidget>

namespace {

const char pageStyle[] = "background-color: rgb(255, 255, 255);";

QWidget *addPage(QStackedWidget *stack, const QString &name, QWidget *content)
{
    auto *page = new QWidget(stack);
    page->setObjectName(name);
    page->setStyleSheet(QString::fromLatin1(pageStyle));
    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    if (content)
        layout->addWidget(content);
    stack->addWidget(page);
    return page;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    qRegisterMetaType<AppStyleUtil::ApplicationForm::Form>("AppStyleUtil::ApplicationForm::Form");
    buildInterface();
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    setFixedSize(windowWidth, windowHeight);
    applyRoundedShape();
    setWindowTitle(QStringLiteral("Corvane"));
    createServiceClient();
    showForm(AppStyleUtil::ApplicationForm::LoadingPage);
    emit requestBrandId(Deployment::brandDomain());
}

void MainWindow::createServiceClient()
{
    networkManager = new NetworkManager(this);
    connect(this, &MainWindow::requestBrandId, networkManager, &NetworkManager::requestBrandId);
    connect(networkManager, &NetworkManager::brandIdReceived, this, &MainWindow::brandIdResolved);

    languageManager = new LanguageManager(this);
    networkManager->setLanguageManager(languageManager);
}

void MainWindow::buildInterface()
{
    setFixedSize(windowWidth, windowHeight);
    setWindowIcon(QIcon(QStringLiteral(":/images/windowIcon.png")));

    auto *centralwidget = new QWidget(this);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    auto *gridLayout = new QGridLayout(centralwidget);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setContentsMargins(0, 0, 0, 0);
    stackedWidget = new QStackedWidget(centralwidget);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    gridLayout->addWidget(stackedWidget);
    setCentralWidget(centralwidget);

    widgetLoading = new LoadingForm;
    widgetLoading->setObjectName(QStringLiteral("widgetLoading"));
    addPage(stackedWidget, QStringLiteral("pageLoading"), widgetLoading);
    addPage(stackedWidget, QStringLiteral("pageMessage"), nullptr);
    addPage(stackedWidget, QStringLiteral("pageLogin"), nullptr);
    addPage(stackedWidget, QStringLiteral("pageMain"), nullptr);
}

void MainWindow::applyRoundedShape()
{
    QPainterPath path;
    path.addRoundedRect(rect(), cornerRadius, cornerRadius, Qt::AbsoluteSize);
    setMask(QRegion(path.toFillPolygon().toPolygon()));

    auto *border = new QFrame(centralWidget());
    border->setObjectName(QStringLiteral("windowLightBorder"));
    border->setGeometry(0, 0, windowWidth, windowHeight);
    border->setStyleSheet(
        QStringLiteral("background: transparent; border: 1px solid #D9E1EA; border-radius: 18px;"));
    border->setAttribute(Qt::WA_TransparentForMouseEvents);
    border->raise();
}

void MainWindow::brandIdResolved(QString resolvedBrandId)
{
    brandId = resolvedBrandId;
}

void MainWindow::showForm(AppStyleUtil::ApplicationForm::Form form)
{
    stackedWidget->setCurrentIndex(form);
}
