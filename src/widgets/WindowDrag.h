#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

// A frameless window moved by the program after the pointer, from a press to its release, with
// a window that goes along with it where there is one. The main window's drag of any empty spot
// and the pages' drag both move windows through it.
class WindowDrag {
public:
    void start(QWidget *window, const QPoint &globalPos, QWidget *companion = nullptr);
    // Moves the windows for the pointer at globalPos; false when no drag is under way or the
    // left button is no longer held.
    bool follow(const QPoint &globalPos, Qt::MouseButtons buttons);
    void stop();

private:
    QPointer<QWidget> window;
    QPointer<QWidget> companion;
    QPoint pressPosition;
    QPoint windowStart;
    QPoint companionStart;
};
