#pragma once

#include "types/AppStyleUtil.h"

#include <QWidget>

class QLabel;
class QPushButton;

// One message with one button, which then returns to another page.
class MessageForm : public QWidget {
    Q_OBJECT

public:
    explicit MessageForm(QWidget *parent = nullptr);

    void setMessage(const QString &text, const QString &buttonText, bool openMembersPage,
                    AppStyleUtil::ApplicationForm::Form returnForm);

signals:
    void returnToForm(AppStyleUtil::ApplicationForm::Form form);

private slots:
    void on_pushButtonApplyMessage_clicked();

private:
    QLabel *labelMessage;
    QPushButton *pushButtonApplyMessage;
    AppStyleUtil::ApplicationForm::Form returnForm = AppStyleUtil::ApplicationForm::LoginPage;
    bool openMembersPage = false;
};
