#pragma once

#include <QObject>
#include <QPointer>

class QPainter;
class QRect;
class QWidget;

// The mark of the control that has the keyboard focus, on every page and in every state: the
// pages' controls are drawn by style sheets that leave no room for a focus frame of the style's
// own. While the member works with the keyboard, a ring in a dark accent colour is drawn over the
// focused control, as a child of its window; a mouse press takes it away until the next key.
class FocusRing final : public QObject {
    Q_OBJECT

public:
    explicit FocusRing(QObject *parent = nullptr);

    // Draws the ring just inside area: for views that mark their focused item themselves.
    static void paint(QPainter *painter, const QRect &area);

    // The ring's widget while it shows, else null.
    QWidget *mark() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(QWidget *widget);
    void place();

    QPointer<QWidget> focused;
    // A child of the focused control's window, made anew when that window takes it along.
    QPointer<QWidget> ring;
    bool keyboardInUse = false;
};
