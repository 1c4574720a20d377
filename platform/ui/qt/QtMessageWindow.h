// Message windows over the Qt event loop.
//
// A QtMessageWindow turns each post into a Qt event for a receiver object that
// lives in the application's main thread, so the handler runs inside the
// running event loop (or inside QCoreApplication::processEvents). Destroying
// the window unregisters its handle and deletes the receiver, which discards
// the events still queued for it.
//
// Threads: construction and destruction on the main thread only, with a
// QCoreApplication in existence; posts from any thread (MessageWindow::post).
#pragma once

#include "platform/ui/MessageWindow.h"

#include <memory>

class QObject;

class QtMessageWindow final : public MessageWindow {
public:
    // Needs a QCoreApplication; use create() to get nullptr instead of a
    // window that can never receive anything.
    explicit QtMessageWindow(Handler handler);
    ~QtMessageWindow() override;

    // nullptr when no QCoreApplication exists.
    static std::unique_ptr<MessageWindow> create(Handler handler);

    // Makes createMessageWindow() build Qt windows. Main thread, at start.
    static void install();

protected:
    void enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam) override;

private:
    friend class QtMessageReceiver;
    void deliver(uint32_t message, uintptr_t wparam, intptr_t lparam) {
        dispatch(message, wparam, lparam);
    }
    QObject* receiver_ = nullptr;
};
