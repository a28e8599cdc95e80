#pragma once

class QWidget;

// Keyboard focus kept inside one part of a window: a page laid over another, whose controls
// stay visible to Qt underneath and would otherwise take their turn at Tab.
namespace FocusScope {

// Moves the focus to the next (or previous) control inside scope that Tab reaches, going round
// at the ends. False when scope holds none.
bool move(QWidget *scope, bool next);

// Puts the controls inside scope in the Tab order a reader of the page expects: top to bottom,
// then left to right, as they are placed.
void orderByPosition(QWidget *scope);

// Gives the focus to the first control inside scope that Tab reaches.
void focusFirst(QWidget *scope);

} // namespace FocusScope
