#pragma once

class QWidget;

// The bottom navigation bar (Home, Servers, Account, Settings) every page carries. Its labels
// let the mouse through: each page recognises clicks by position.
namespace NavigationBar {

enum Item { Home = 0, Servers = 1, Account = 2, Settings = 3 };

void build(QWidget *page, int activeItem);

// The English texts; pages translate the labels by their object names.
const char *labelObjectName(int item);

} // namespace NavigationBar
