#pragma once

#include "app/AppStyleUtil.h"

#include <QMainWindow>

class QGridLayout;
class QStackedWidget;
class LoadingForm;

// The program's only top-level window: a frameless, rounded page host.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr int windowWidth = 411;
    static constexpr int windowHeight = 914;
    static constexpr int cornerRadius = 18;

private slots:
    void showForm(AppStyleUtil::ApplicationForm::Form form);

private:
    void buildInterface();
    void applyRoundedShape();

    QStackedWidget *stackedWidget = nullptr;
    LoadingForm *widgetLoading = nullptr;
};
