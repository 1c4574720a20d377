// Ends the program cleanly when the desktop or a terminal asks it to stop
// (SIGTERM, SIGINT, SIGHUP): the signal is turned into a call on the main
// thread, which by default quits the message loop, so the main window's
// shut-down still runs and a changed list of recordings is written.
//
// The signal handler only writes one byte to a pipe; everything else runs on
// the main thread through the Qt event loop. Install once, on the main thread,
// after the QApplication exists.
#pragma once

#include <functional>

namespace sonvale::app {

// `onSignal` runs on the main thread for each signal received (empty: quit
// the application).
void quitOnTerminationSignals(std::function<void()> onSignal = {});

// Puts the default actions back and stops listening.
void restoreTerminationSignals();

} // namespace sonvale::app
