#pragma once

#include <QWidget>

class QTimer;

// The large round connect button, painted in code and animated by connection state.
class ConnectionAnimation : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionAnimation(QWidget *parent = nullptr);

    void setTexts(const QString &connectedText, const QString &busyText, const QString &idleText);
    void setState(int state);

    int currentAngle() const { return angle; }
    double currentLevel() const { return level; }
    QString caption() const;
    // The arcs turn while the button shows and the tunnel is not connected; a connected ring is
    // still, and nothing runs while the button is hidden.
    bool isAnimating() const;

    static constexpr int tickMs = 33;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void slotTimerAlarm();

private:
    void runTimerWhileItMoves();

    QTimer *timer;
    int angle = 0;
    double level = 0.0;
    int state = 1;
    QString connectedText = QStringLiteral("DISCONNECT");
    QString busyText = QStringLiteral("CONNECTING...");
    QString idleText = QStringLiteral("DISCONNECTED");
};
