#pragma once

#include "servers/PageChrome.h"

#include <QDialog>

class LanguageManager;
class QLabel;
class QPushButton;

// The account page: for now a note that it is being redesigned and a link to the members' site.
class AccountWindow : public QDialog {
    Q_OBJECT

public:
    explicit AccountWindow(QWidget *parent = nullptr);

    void setLanguageManager(LanguageManager *manager);

signals:
    void requestOpenServers();
    void requestOpenSettings();

public slots:
    void translate();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QLabel *titleLabel;
    QLabel *subtitleLabel;
    QPushButton *membersButton;
    LanguageManager *languageManager = nullptr;
    PageChrome::Dragger dragger;
};
