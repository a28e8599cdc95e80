#pragma once

class QAbstractButton;
class QWidget;

// What assistive technology (a screen reader, through AT-SPI or UI Automation) is told of the
// hand-drawn pages beyond Qt's own: decorations it should skip, and switches drawn as buttons.
namespace Accessibility {

// Installs the accessible interfaces below; once, before the first window.
void install();

// A picture, or a transparent button laid over a control that has a name of its own: left out
// of what a screen reader reads.
void hide(QWidget *widget);

// A button drawn as an on/off switch: a check box with its state to a screen reader, toggled by
// Space like one.
void makeSwitch(QAbstractButton *button);

} // namespace Accessibility
