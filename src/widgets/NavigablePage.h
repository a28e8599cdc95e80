#pragma once

#include "widgets/WindowDrag.h"

#include <QDialog>
#include <QVector>

#include <functional>

// A page laid over the home screen (servers, settings, account): a press in one of its
// navigation zones runs that zone's action, a press anywhere else drags the main window.
class NavigablePage : public QDialog {
    Q_OBJECT

public:
    using QDialog::QDialog;

signals:
    // The page went out of sight: closed, or left for another page or a choice.
    void hidden();

protected:
    // What a press on one item of the page's navigation bar does.
    struct Zone {
        int item;
        std::function<void()> action;
    };

    // Called once the page is built: Tab then follows the page from top to bottom, the bar's
    // keys last.
    void setNavigationZones(const QVector<Zone> &zones);

    // Tab and Backtab go round the page's own controls, not the home page's beneath it.
    bool focusNextPrevChild(bool next) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QVector<Zone> navigationZones;
    WindowDrag drag;
};
