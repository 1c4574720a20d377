// Handle registry, dispatch and the plain queue of the message windows.
#include "platform/ui/MessageWindow.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace {

// One registry per process (the platform library is shared, so the program
// and the run-time libraries see the same one).
struct Registry {
    std::mutex lock;
    std::unordered_map<sv_window_t, MessageWindow*> windows;
    sv_window_t next = 1;
};

Registry& registry() {
    static Registry r;
    return r;
}

struct Posted {
    sv_window_t window;
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};

struct PlainQueue {
    std::mutex lock;
    std::condition_variable posted;
    std::deque<Posted> items;
};

PlainQueue& plainQueue() {
    static PlainQueue q;
    return q;
}

std::mutex factoryLock;
MessageWindowFactory& factorySlot() {
    static MessageWindowFactory f;
    return f;
}

} // namespace

// Registry access for the windows (friend-free: file-local helpers above).

MessageWindow::MessageWindow(Handler handler)
    : handler_(std::make_shared<Handler>(std::move(handler))) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    handle_ = r.next++;
    r.windows.emplace(handle_, this);
    registered_ = true;
}

MessageWindow::~MessageWindow() {
    unregister();
}

void MessageWindow::unregister() noexcept {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    if (registered_) {
        r.windows.erase(handle_);
        registered_ = false;
    }
}

void MessageWindow::setHandler(Handler handler) {
    handler_ = std::make_shared<Handler>(std::move(handler));
}

bool MessageWindow::post(sv_window_t window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.windows.find(window);
    if (it == r.windows.end()) {
        return false;
    }
    it->second->enqueue(message, wparam, lparam);
    return true;
}

void MessageWindow::dispatch(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    // Keep the handler alive even if it destroys this window or replaces
    // its own handler.
    std::shared_ptr<Handler> h = handler_;
    if (h && *h) {
        (*h)(message, wparam, lparam);
    }
}

void MessageWindow::dispatchTo(sv_window_t window, uint32_t message, uintptr_t wparam,
                               intptr_t lparam) {
    MessageWindow* target = nullptr;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        auto it = r.windows.find(window);
        if (it != r.windows.end()) {
            target = it->second;
        }
    }
    // Windows are destroyed only on the main thread, which is this one, so
    // the window found above is still alive here.
    if (target != nullptr) {
        target->dispatch(message, wparam, lparam);
    }
}

extern "C" int sv_post_message(sv_window_t window, uint32_t message, uintptr_t wparam,
                               intptr_t lparam) {
    return MessageWindow::post(window, message, wparam, lparam) ? 1 : 0;
}

// ---- plain implementation ----

PlainMessageWindow::PlainMessageWindow(Handler handler) : MessageWindow(std::move(handler)) {}

PlainMessageWindow::~PlainMessageWindow() {
    unregister();
    // Drop whatever is still queued for this window.
    PlainQueue& q = plainQueue();
    std::lock_guard<std::mutex> g(q.lock);
    const sv_window_t h = handle();
    std::erase_if(q.items, [h](const Posted& p) { return p.window == h; });
}

void PlainMessageWindow::enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    PlainQueue& q = plainQueue();
    {
        std::lock_guard<std::mutex> g(q.lock);
        q.items.push_back(Posted{handle(), message, wparam, lparam});
    }
    q.posted.notify_all();
}

size_t PlainMessageWindow::processMessages() {
    PlainQueue& q = plainQueue();
    size_t handled = 0;
    for (;;) {
        Posted p;
        {
            std::lock_guard<std::mutex> g(q.lock);
            if (q.items.empty()) {
                return handled;
            }
            p = q.items.front();
            q.items.pop_front();
        }
        dispatchTo(p.window, p.message, p.wparam, p.lparam);
        ++handled;
    }
}

size_t PlainMessageWindow::waitAndProcessMessages(uint32_t timeoutMs) {
    PlainQueue& q = plainQueue();
    {
        std::unique_lock<std::mutex> g(q.lock);
        q.posted.wait_for(g, std::chrono::milliseconds(timeoutMs),
                          [&] { return !q.items.empty(); });
    }
    return processMessages();
}

bool PlainMessageWindow::processMessagesUntil(const std::function<bool()>& pred,
                                              uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    processMessages();
    while (!pred()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        // Short waits so that a predicate that turns true without a message
        // (a flag set by another thread) is noticed too.
        waitAndProcessMessages(static_cast<uint32_t>(std::min<int64_t>(left.count() + 1, 20)));
    }
    return true;
}

size_t PlainMessageWindow::pendingMessages() {
    PlainQueue& q = plainQueue();
    std::lock_guard<std::mutex> g(q.lock);
    return q.items.size();
}

// ---- factory ----

std::unique_ptr<MessageWindow> createMessageWindow(MessageWindow::Handler handler) {
    MessageWindowFactory f;
    {
        std::lock_guard<std::mutex> g(factoryLock);
        f = factorySlot();
    }
    if (f) {
        return f(std::move(handler));
    }
    return std::make_unique<PlainMessageWindow>(std::move(handler));
}

void setMessageWindowFactory(MessageWindowFactory factory) {
    std::lock_guard<std::mutex> g(factoryLock);
    factorySlot() = std::move(factory);
}
