#include "ui/LoadingForm.h"

#include "ui/LoadingAnimation.h"

#include <QFont>
#include <QLabel>

LoadingForm::LoadingForm(QWidget *parent)
    : QWidget(parent)
    , labelLoadingMessage(new QLabel(QStringLiteral("Loading..."), this))
    , widgetLoadingAnimation(new LoadingAnimation(this))
{
    setObjectName(QStringLiteral("LoadingForm"));
    resize(411, 914);
    setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));

    widgetLoadingAnimation->setObjectName(QStringLiteral("widgetLoadingAnimation"));
    widgetLoadingAnimation->setGeometry(41, 292, 330, 330);

    labelLoadingMessage->setObjectName(QStringLiteral("labelLoadingMessage"));
    labelLoadingMessage->setGeometry(41, 640, 330, 24);
    QFont font = labelLoadingMessage->font();
    font.setPointSize(10);
    font.setBold(true);
    labelLoadingMessage->setFont(font);
    labelLoadingMessage->setAlignment(Qt::AlignCenter);
}

void LoadingForm::setMessage(const QString &text)
{
    labelLoadingMessage->setText(text);
}
