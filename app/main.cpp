// Program entry: the audio warm-up, the application object, the dialog
// services, the main window (its creation runs the start-up, which reads
// every setting, the dialog skin included), the options dialog (made when
// first opened), and the message loop.
// The window icon is set once the window has drawn its first frame: loading
// it reads image plugins the first picture does not need.
#include "app/AppHooks.h"
#include "app/AppPaths.h"
#include "app/QuitOnSignal.h"
#include "app/smain.h"
#include "app/soptions.h"
#include "app/svar.h"
#include "platform/audio/AudioBackend.h"
#include "platform/ui/qt/QtUiServices.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

namespace {

// The application icon in every size the build made of it; a program built
// without the icon resources simply shows the desktop's default icon.
QIcon applicationIcon() {
    QIcon icon;
    const QDir sizes(QStringLiteral(":/sonvale/icons"));
    for (const QString& size : sizes.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        icon.addFile(sizes.filePath(size + QStringLiteral("/sonvale.png")));
    return icon;
}

} // namespace

int main(int argc, char** argv) {
    // On X11, window updates travel in the requests themselves rather than
    // through shared memory: with shared memory, Qt asks the X server for a
    // round trip before it repaints any part it sent last, so the level
    // meter's 25 frames a second woke two threads of ours twice a frame.
    // The window is small, so sending its pixels costs less than waiting.
    // The setting is read once, when the display is opened, and taken back
    // then, so programs started from here (the help's browser) do not
    // inherit it. The environment changes only while no thread of ours can
    // be reading it: before the warm-up starts, and after it has ended.
    const bool directUpdates = !qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (directUpdates)
        qputenv("QT_XCB_NO_MITSHM", "1");
    // The sound system (libpulse, the server's sources) gets ready on another
    // core while the application is set up.
    AudioWarmUp audioWarmUp;
    QApplication app(argc, argv);
    if (directUpdates) {
        audioWarmUp.finish(); // the window's first audio call would wait for it anyway
        qunsetenv("QT_XCB_NO_MITSHM");
    }
    QApplication::setApplicationName(QStringLiteral("Sonvale"));
    QApplication::setApplicationDisplayName(QStringLiteral("Sonvale"));
    // Ties the windows to the desktop entry (Wayland's app id) and gives them
    // the icon the menu shows.
    QApplication::setDesktopFileName(QStringLiteral("org.sonvale.Sonvale"));

    sonvale::ui::QtUiServices ui;
    sonvale::ui::setCurrentUiServices(&ui);
    sonvale::app::installAppHooks();

    const sonvale::app::AppPaths paths = sonvale::app::AppPaths::forRunningProgram();
    svar::ResetSharedState();

    auto* mainFrm = new TMainFrm(paths, ui, nullptr, TMainFrm::LibraryStart::AfterFirstFrame);
    ui.setParentWindow(mainFrm);
    // The options dialog is made when first opened.
    mainFrm->setOptionsFactory(
        [&paths, &ui, mainFrm] { return new TOptionsFrm(paths, ui, mainFrm); });

    mainFrm->afterFirstFrame([] { QApplication::setWindowIcon(applicationIcon()); });
    mainFrm->show();
    sonvale::app::quitOnTerminationSignals();
    const int rc = app.exec();
    sonvale::app::restoreTerminationSignals();

    delete mainFrm; // runs the shut-down and writes the list when it changed
    ui.setParentWindow(nullptr);
    sonvale::app::removeAppHooks();
    sonvale::ui::setCurrentUiServices(nullptr);
    return rc;
}
