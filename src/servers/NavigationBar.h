#pragma once

class LanguageManager;
class QRect;
class QWidget;

// The bottom navigation bar (Home, Servers, Account, Settings) every page carries. Its labels
// let the mouse through: each page recognises clicks by position.
namespace NavigationBar {

enum Item { Home = 0, Servers = 1, Account = 2, Settings = 3 };

void build(QWidget *page, int activeItem);

// Where an item lies on the page (corners inclusive); pages recognise clicks by it.
QRect itemArea(int item);

// Sets the page's own bar labels from the catalogue (no fallback), upper-cased; bars of pages
// laid over this one are left alone.
void translate(QWidget *page, const LanguageManager *languages);

} // namespace NavigationBar
