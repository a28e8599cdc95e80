#pragma once

#include <QWidget>

class QLabel;
class LoadingAnimation;

class LoadingForm : public QWidget {
    Q_OBJECT

public:
    explicit LoadingForm(QWidget *parent = nullptr);

    void setMessage(const QString &text);

private:
    QLabel *labelLoadingMessage;
    LoadingAnimation *widgetLoadingAnimation;
};
