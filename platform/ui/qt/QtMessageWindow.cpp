// Qt event-loop delivery of window messages.
#include "platform/ui/qt/QtMessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

namespace {

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent final : public QEvent {
public:
    MessageEvent(uint32_t m, uintptr_t w, intptr_t l)
        : QEvent(kMessageEventType), message(m), wparam(w), lparam(l) {}
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};

} // namespace

// Lives in the main thread; forwards its message events to the window.
class QtMessageReceiver final : public QObject {
public:
    explicit QtMessageReceiver(QtMessageWindow* w) : window_(w) {}

protected:
    void customEvent(QEvent* e) override {
        if (e->type() == kMessageEventType) {
            auto* m = static_cast<MessageEvent*>(e);
            window_->deliver(m->message, m->wparam, m->lparam);
        }
    }

private:
    QtMessageWindow* window_;
};

QtMessageWindow::QtMessageWindow(Handler handler) : MessageWindow(std::move(handler)) {
    auto* r = new QtMessageReceiver(this);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (r->thread() != app->thread()) {
            r->moveToThread(app->thread());
        }
    }
    receiver_ = r;
}

QtMessageWindow::~QtMessageWindow() {
    // No post can reach the receiver once the handle is gone; deleting the
    // receiver removes the events already queued for it.
    unregister();
    delete receiver_;
}

std::unique_ptr<MessageWindow> QtMessageWindow::create(Handler handler) {
    if (QCoreApplication::instance() == nullptr) {
        return nullptr;
    }
    return std::make_unique<QtMessageWindow>(std::move(handler));
}

void QtMessageWindow::install() {
    setMessageWindowFactory([](Handler h) { return QtMessageWindow::create(std::move(h)); });
}

void QtMessageWindow::enqueue(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (receiver_ == nullptr) {
        return;
    }
    // postEvent is thread-safe and takes ownership of the event.
    QCoreApplication::postEvent(receiver_, new MessageEvent(message, wparam, lparam));
}
