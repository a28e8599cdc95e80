#include "ui/MessageForm.h"

#include "network/Deployment.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

MessageForm::MessageForm(QWidget *parent)
    : QWidget(parent)
    , labelMessage(new QLabel(QStringLiteral("Message"), this))
    , pushButtonApplyMessage(new QPushButton(QStringLiteral("Apply"), this))
{
    setObjectName(QStringLiteral("MessageForm"));
    resize(350, 700);
    setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);\ncolor: rgb(0, 0, 0);"));

    labelMessage->setObjectName(QStringLiteral("labelMessage"));
    labelMessage->setGeometry(10, 10, 330, 550);
    QFont messageFont = labelMessage->font();
    messageFont.setPointSize(12);
    messageFont.setBold(true);
    labelMessage->setFont(messageFont);
    labelMessage->setAlignment(Qt::AlignCenter);
    labelMessage->setWordWrap(true);

    pushButtonApplyMessage->setObjectName(QStringLiteral("pushButtonApplyMessage"));
    pushButtonApplyMessage->setGeometry(10, 620, 330, 40);
    QFont buttonFont = pushButtonApplyMessage->font();
    buttonFont.setPointSize(10);
    buttonFont.setBold(true);
    pushButtonApplyMessage->setFont(buttonFont);
    pushButtonApplyMessage->setStyleSheet(QStringLiteral(
        "background-color: qlineargradient(spread:pad, x1:0, y1:0, x2:1, y2:0, stop:0 #192870, "
        "stop:1 #3E3EFF);\nborder-radius: 20;\ncolor: rgb(255, 255, 255);"));
    connect(pushButtonApplyMessage, &QPushButton::clicked, this,
            &MessageForm::on_pushButtonApplyMessage_clicked);
}

void MessageForm::setMessage(const QString &text, const QString &buttonText, bool openMembers,
                             AppStyleUtil::ApplicationForm::Form form)
{
    labelMessage->setText(text);
    pushButtonApplyMessage->setText(buttonText);
    openMembersPage = openMembers;
    returnForm = form;
}

void MessageForm::on_pushButtonApplyMessage_clicked()
{
    if (openMembersPage)
        QDesktopServices::openUrl(QUrl(Deployment::membersLoginUrl(), QUrl::TolerantMode));
    emit returnToForm(returnForm);
}
