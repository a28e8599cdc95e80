#pragma once

#include "widgets/NavigablePage.h"

class LanguageManager;
class QLabel;
class QPushButton;

// The account page: for now a note that it is being redesigned and a link to the members' site.
class AccountWindow : public NavigablePage {
    Q_OBJECT

public:
    explicit AccountWindow(QWidget *parent = nullptr);

    void setLanguageManager(LanguageManager *manager);

signals:
    void requestOpenServers();
    void requestOpenSettings();

public slots:
    void translate();

private:
    void fitTitle();

    QLabel *titleLabel;
    QLabel *subtitleLabel;
    QPushButton *membersButton;
    LanguageManager *languageManager = nullptr;
};
