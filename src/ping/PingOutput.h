#pragma once

#include <QString>

// Reads a ping tool's output, Windows or iputils, into whole milliseconds.
namespace PingOutput {

// A figure no probe can give (beyond any wait of the tool, or too long to be a number): the
// output is unreadable, which is neither a latency nor "no reply".
constexpr int unreadable = -1;
constexpr double longestRoundTripMs = 60000;

// The average round-trip time; 0 when no reply was received, unreadable for a figure out of
// range. A reply that was received never counts as 0: less than 1 ms counts as 1.
int averageMs(const QString &output);

// True for a plain host name or IP address, the only text handed to the ping tool; anything
// else (an option such as "-t", blanks, control characters) is refused.
bool isPlainHost(const QString &host);

} // namespace PingOutput
