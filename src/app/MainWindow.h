#pragma once

#include "app/AppStyleUtil.h"

#include <QMainWindow>

class QGridLayout;
class QStackedWidget;
class LanguageManager;
class LoadingForm;
class NetworkManager;

// The program's only top-level window: a frameless, rounded page host.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr int windowWidth = 411;
    static constexpr int windowHeight = 914;
    static constexpr int cornerRadius = 18;

signals:
    void requestBrandId(QString domain);

private slots:
    void showForm(AppStyleUtil::ApplicationForm::Form form);
    void brandIdResolved(QString resolvedBrandId);

private:
    void buildInterface();
    void applyRoundedShape();
    void createServiceClient();

    QStackedWidget *stackedWidget = nullptr;
    LoadingForm *widgetLoading = nullptr;
    NetworkManager *networkManager = nullptr;
    LanguageManager *languageManager = nullptr;
    QString brandId;
};
