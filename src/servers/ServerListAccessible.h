#pragma once

// The accessible form of a ServerListView: a list whose children are its rows, each a list item
// named by what it says aloud, with the row's actions.
namespace ServerListAccessible {

// Installs the interface factory; once, whatever the number of calls.
void install();

} // namespace ServerListAccessible
