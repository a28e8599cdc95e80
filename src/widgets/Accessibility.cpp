#include "widgets/Accessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>

namespace {

const char hiddenProperty[] = "accessibleHidden";

// An interface that says "invisible, nothing to read": screen readers and the AT-SPI tree
// walkers skip it.
class HiddenWidget final : public QAccessibleWidget {
public:
    explicit HiddenWidget(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::NoRole)
    {}

    QAccessible::State state() const override
    {
        QAccessible::State hidden = QAccessibleWidget::state();
        hidden.invisible = true;
        hidden.focusable = false;
        return hidden;
    }

    QString text(QAccessible::Text) const override { return QString(); }
};

QAccessibleInterface *hiddenWidgetFactory(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType() || !object->property(hiddenProperty).toBool())
        return nullptr;
    return new HiddenWidget(static_cast<QWidget *>(object));
}

} // namespace

namespace Accessibility {

void install()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(hiddenWidgetFactory);
    installed = true;
}

void hide(QWidget *widget)
{
    widget->setProperty(hiddenProperty, true);
    widget->setFocusPolicy(Qt::NoFocus);
}

void makeSwitch(QAbstractButton *button)
{
    // Qt reports a checkable button as a check box, with its checked state.
    button->setCheckable(true);
}

} // namespace Accessibility
