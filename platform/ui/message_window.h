/* Window-message handles shared by the program and the libraries it loads at
 * run time.
 *
 * A handle names a message window of the platform layer (see MessageWindow.h).
 * Any thread, and any library loaded into the process, may post a message
 * (identifier, wparam, lparam) to it; the window's handler runs later on the
 * main thread. A handle is never reused: posting to a window that has been
 * destroyed fails cleanly and the message is dropped. Plain C so that the
 * run-time libraries can include it. */
#ifndef SONVALE_PLATFORM_UI_MESSAGE_WINDOW_H
#define SONVALE_PLATFORM_UI_MESSAGE_WINDOW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 0 names no window. */
typedef uintptr_t sv_window_t;

#define SV_WINDOW_NONE ((sv_window_t)0)

/* Queues a message for the window. Returns 1 when queued, 0 when no such
 * window exists (never created or already destroyed). Any thread. */
int sv_post_message(sv_window_t window, uint32_t message, uintptr_t wparam, intptr_t lparam);

#ifdef __cplusplus
}
#endif

#endif
