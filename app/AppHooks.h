// Hooks the program installs in the layers below it at start: the thread
// layer's message pump (stopping a worker thread from the main thread keeps
// dispatching the window's pending messages) and Qt message windows for the
// components that receive window messages (the MP3 player).
//
// Main thread only, once at start and once at exit.
#pragma once

namespace sonvale::app {

void installAppHooks();
void removeAppHooks();

} // namespace sonvale::app
