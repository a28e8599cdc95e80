#pragma once

#include <QObject>

// Enter and Return press the focused button, as Space does. Qt gives buttons that only inside
// dialogs; the login and home pages are not dialogs, and a member at the keyboard expects Enter
// to act on what is marked.
class EnterPressesButtons final : public QObject {
    Q_OBJECT

public:
    explicit EnterPressesButtons(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
