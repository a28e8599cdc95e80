#pragma once

#include <QLabel>

// A label that holds a link the keyboard follows: Tab onto it marks the link at once, so Enter
// follows it, where a plain label needs a second Tab to reach the link inside it.
class LinkLabel final : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(QWidget *parent = nullptr);

protected:
    void focusInEvent(QFocusEvent *event) override;
};
