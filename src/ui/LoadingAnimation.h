#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QTimer;

// Sixteen dots on a circle; the brightest advances clockwise one dot per tick, followed by seven
// fading ones.
class LoadingAnimation : public QWidget {
    Q_OBJECT

public:
    explicit LoadingAnimation(QWidget *parent = nullptr);

    static constexpr int tickMs = 41;

    bool isAnimating() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void updateAnimation();

private:
    QTimer *timer;
    QList<QLabel *> labels;
};
