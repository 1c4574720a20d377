#include "app/AppHooks.h"

#include "core/unaThread.h"
#include "platform/ui/UiServices.h"
#include "platform/ui/qt/QtMessageWindow.h"

namespace sonvale::app {

void installAppHooks() {
    unaThread::setMessagePumpHook(&sonvale::ui::processPendingMessages);
    QtMessageWindow::install();
}

void removeAppHooks() {
    unaThread::setMessagePumpHook(nullptr);
}

} // namespace sonvale::app
