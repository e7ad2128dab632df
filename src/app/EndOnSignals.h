// SIGTERM and SIGINT (a logout, a service stop, Ctrl+C) end the program in whatever state it is.
#pragma once

#include <functional>

class DRUI;
class QObject;

// From now on SIGTERM and SIGINT end the program as its Quit does, without asking anything: a
// running cut or merge is canceled (its files go), a box waiting for an answer is closed, the
// window closes (a recording is finalised first) and the event loop ends. `window` gives the
// window, or null before it exists. The handler only writes to a pipe; `context`'s event loop
// does the rest. `ended` runs once a signal has arrived.
void EndOnSignals(QObject* context, std::function<DRUI*()> window, std::function<void()> ended);

// After the event loop a second signal ends the program at once.
void RestoreDefaultSignals();
