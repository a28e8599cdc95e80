#include "widgets/FocusScope.h"

#include <QWidget>

#include <algorithm>

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

void orderByPosition(QWidget *scope)
{
    QList<QWidget *> controls;
    for (QWidget *candidate : scope->findChildren<QWidget *>()) {
        // A pop-up's own widgets (a combo box's list) belong to another window.
        if ((candidate->focusPolicy() & Qt::TabFocus) && candidate->window() == scope->window())
            controls << candidate;
    }
    const auto place = [scope](const QWidget *control) { return control->mapTo(scope, QPoint()); };
    std::stable_sort(controls.begin(), controls.end(),
                     [&place](const QWidget *first, const QWidget *second) {
                         const QPoint a = place(first);
                         const QPoint b = place(second);
                         return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x();
                     });
    for (int index = 1; index < controls.size(); ++index)
        QWidget::setTabOrder(controls.at(index - 1), controls.at(index));
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
