#pragma once

#include <QPoint>
#include <QString>

class LanguageManager;
class QLabel;
class QMouseEvent;
class QPushButton;
class QWidget;

// The look the servers, settings and account pages share: rounded 411 x 914 panel with a soft
// gradient, two colour blobs, a back button and a section title; and dragging the main window
// by any empty spot.
namespace PageChrome {

// Returns the back button; the title label is named "mobileSectionTitle".
QPushButton *build(QWidget *page, const QString &title);

// Names the back button in the member's language.
void translate(QWidget *page, const LanguageManager *languages);

class Dragger {
public:
    // Starts dragging page's top-level window (or page itself when it has no parent).
    void press(QWidget *page, QMouseEvent *event);
    // True when the event moved a window.
    bool move(QWidget *page, QMouseEvent *event);
    void release();

private:
    bool dragging = false;
    QWidget *target = nullptr;
    QPoint pressPosition;
    QPoint pageStart;
    QPoint targetStart;
};

} // namespace PageChrome
