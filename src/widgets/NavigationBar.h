#pragma once

class LanguageManager;
class QPushButton;
class QRect;
class QWidget;

// The bottom navigation bar (Home, Servers, Account, Settings) every page carries. Its labels
// let the mouse through: each page recognises clicks by position.
namespace NavigationBar {

enum Item { Home = 0, Servers = 1, Account = 2, Settings = 3 };

void build(QWidget *page, int activeItem);

// Where an item lies on the page (corners inclusive); pages recognise clicks by it.
QRect itemArea(int item);

// A key over one item of the bar: the keyboard's and a screen reader's way to it. It lets the
// mouse through, so the page's recognition by position stays the only mouse path.
QPushButton *addKey(QWidget *page, int item);

// Sets the page's own bar labels from the catalogue (no fallback), upper-cased; bars of pages
// laid over this one are left alone. The page's keys are named after their items.
void translate(QWidget *page, const LanguageManager *languages);

} // namespace NavigationBar
