#include "widgets/FocusScope.h"

#include <QWidget>

namespace {

bool takesTab(const QWidget *scope, const QWidget *candidate)
{
    return scope->isAncestorOf(candidate) && candidate->isVisible() && candidate->isEnabled() &&
           (candidate->focusPolicy() & Qt::TabFocus);
}

QWidget *step(QWidget *widget, bool next)
{
    return next ? widget->nextInFocusChain() : widget->previousInFocusChain();
}

} // namespace

namespace FocusScope {

bool move(QWidget *scope, bool next)
{
    QWidget *start = scope->focusWidget();
    if (!start || !scope->isAncestorOf(start))
        start = scope;
    for (QWidget *candidate = step(start, next); candidate != start;
         candidate = step(candidate, next)) {
        if (takesTab(scope, candidate)) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

void focusFirst(QWidget *scope)
{
    for (QWidget *candidate = scope->nextInFocusChain(); candidate != scope;
         candidate = candidate->nextInFocusChain()) {
        if (takesTab(scope, candidate)) {
            candidate->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

} // namespace FocusScope
