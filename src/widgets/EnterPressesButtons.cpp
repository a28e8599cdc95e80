#include "widgets/EnterPressesButtons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

EnterPressesButtons::EnterPressesButtons(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool EnterPressesButtons::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    auto *button = qobject_cast<QAbstractButton *>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled())
        return false;
    // A dialog's buttons take Enter themselves.
    if (const auto *pushButton = qobject_cast<QPushButton *>(button);
        pushButton && pushButton->autoDefault())
        return false;
    button->click();
    return true;
}
