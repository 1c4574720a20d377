// User-interface services the application asks of the desktop: modal message
// boxes with fixed texts, Yes/No confirmations, the file-save dialog, the folder
// chooser, the shell's "open" of a file or web address, and processing pending
// window messages.
//
// The interface has no Qt in it: the Qt implementation lives in ui/qt
// (QtUiServices), and ScriptedUiServices answers from a queue for tests.
// The program installs one instance as the process-wide current services at
// start and hands processPendingMessages() to the thread layer as its message
// pump, so that stopping a thread from the main thread keeps the window
// responsive.
//
// Threads: main thread only, like every window of the program.
#pragma once

#include <string>
#include <vector>

namespace sonvale::ui {

// How the shell should show the window of whatever it opens.
enum class ShowMode { Normal, Maximized };

// The file-save dialog's settings for one use. `filter` uses the classic
// "Description|pattern[|Description|pattern...]" form, e.g.
// "Wave files (*.wav)|*.wav".
struct SaveDialogOptions {
    std::string title;            // empty: the desktop's own title
    std::string defaultExtension; // ".wav"; added when the chosen name has none
    std::string filter;
    std::string initialDir; // empty: the dialog's own choice
    std::string fileName;   // proposed name, may be empty
};

class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows `text` in a modal box with an OK button; returns when it is closed.
    virtual void messageBox(const std::string& text) = 0;

    // Asks `text` with the buttons Yes and No; true for Yes. Closing the box
    // any other way counts as No.
    virtual bool confirm(const std::string& text) = 0;

    // Runs the file-save dialog. On OK stores the chosen full path in
    // `fileName` (with the default extension added when the name had none) and
    // returns true; on cancel leaves `fileName` alone and returns false.
    virtual bool saveFileDialog(const SaveDialogOptions& options, std::string& fileName) = 0;

    // Runs the folder chooser titled `title`, file-system folders only,
    // starting in `folder` (the home folder when empty or missing). On OK
    // stores the chosen folder (no trailing "/" is promised) and returns true.
    virtual bool selectDirectory(const std::string& title, std::string& folder) = 0;

    // Asks the desktop to open a local file or a web address with its default
    // application. Returns false when the desktop refused at once.
    virtual bool shellOpen(const std::string& target, ShowMode mode) = 0;

    // Dispatches the window messages waiting in the main thread's queue.
    virtual void processMessages() = 0;
};

// The text used as the caption of every message box.
inline constexpr const char* kMessageCaption = "Sonvale";

// Turns "Desc|*.a|Desc2|*.b" into a list of (description, pattern) pairs.
// A trailing description without a pattern is dropped.
struct FilterEntry {
    std::string description;
    std::string pattern;
};
std::vector<FilterEntry> parseDialogFilter(const std::string& filter);

// Adds `defaultExtension` to `path` when the file-name part has no extension.
std::string withDefaultExtension(const std::string& path, const std::string& defaultExtension);

// Process-wide current services (main thread only). Never null after the
// program or a test has installed one; null before.
UiServices* currentUiServices();
void setCurrentUiServices(UiServices* services);

// Dispatches pending messages through the current services, if any.
void processPendingMessages();

} // namespace sonvale::ui
