// Message windows: the way other threads and loaded libraries hand work to the
// main thread.
//
// A MessageWindow owns a handle (message_window.h) and a handler. Anyone may
// post (message, wparam, lparam) to the handle from any thread; the handler
// runs later on the main thread, one message at a time, in posting order per
// posting thread. Destroying a window unregisters its handle first: later
// posts fail, and messages still queued for it are dropped, never delivered.
//
// Two implementations:
// - PlainMessageWindow (here): one process-wide queue that the main thread
//   drains explicitly with processMessages(); for tests and headless tools.
// - QtMessageWindow (platform/ui/qt): posts into the Qt event loop.
// createMessageWindow() builds a window with the implementation installed by
// setMessageWindowFactory() (plain until the program installs another).
//
// Threads: construction, destruction, setHandler and the pumping functions on
// the main thread only; post() and handle() from any thread.
#pragma once

#include "platform/ui/message_window.h"

#include <cstdint>
#include <functional>
#include <memory>

class MessageWindow {
public:
    using Handler = std::function<void(uint32_t message, uintptr_t wparam, intptr_t lparam)>;

    virtual ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Any thread. Never 0 while the window exists.
    sv_window_t handle() const noexcept { return handle_; }

    // Main thread only.
    void setHandler(Handler handler);

    // Any thread: queues the message for the window named by the handle.
    // False when there is no such window.
    static bool post(sv_window_t window, uint32_t message, uintptr_t wparam, intptr_t lparam);

protected:
    // Registers the handle; the derived class must call unregister() first
    // thing in its destructor so no post reaches a half-destroyed object.
    explicit MessageWindow(Handler handler);
    void unregister() noexcept;

    // Called by post() with the registry locked, from any thread: must only
    // enqueue the message for later dispatch on the main thread.
    virtual void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam) = 0;

    // Main thread: runs the handler for a message taken from the queue.
    void dispatch(uint32_t message, uintptr_t wparam, intptr_t lparam);

    // Main thread: runs the handler of the window named by the handle, when it
    // still exists. Used by queues that outlive their windows.
    static void dispatchTo(sv_window_t window, uint32_t message, uintptr_t wparam, intptr_t lparam);

private:
    sv_window_t handle_;
    bool registered_ = false;
    std::shared_ptr<Handler> handler_;
};

// The plain implementation: every plain window shares one queue, drained by
// whichever thread acts as the main thread (the test's own thread).
class PlainMessageWindow final : public MessageWindow {
public:
    explicit PlainMessageWindow(Handler handler = {});
    ~PlainMessageWindow() override;

    // Main thread: handles every message queued so far (and those posted by
    // the handlers meanwhile). Returns how many were handled.
    static size_t processMessages();
    // Main thread: waits up to timeoutMs for a message to be queued, then
    // handles all queued messages. Returns how many were handled.
    static size_t waitAndProcessMessages(uint32_t timeoutMs);
    // Main thread: handles messages until pred() is true or timeoutMs passes.
    // Returns pred()'s last value.
    static bool processMessagesUntil(const std::function<bool()>& pred, uint32_t timeoutMs);
    // Any thread: messages queued and not yet handled (all plain windows).
    static size_t pendingMessages();

protected:
    void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam) override;
};

// Builds a window with the installed implementation; nullptr when the
// implementation cannot make one (for example no event loop exists).
// Main thread only.
using MessageWindowFactory = std::function<std::unique_ptr<MessageWindow>(MessageWindow::Handler)>;
std::unique_ptr<MessageWindow> createMessageWindow(MessageWindow::Handler handler);
// Installs the implementation createMessageWindow uses; an empty factory
// restores the plain one. Main thread only, normally once at start.
void setMessageWindowFactory(MessageWindowFactory factory);
