// Scripted user-interface services for tests: every question is answered from
// answers queued in advance, and every text shown, every dialog run and every
// shell open is recorded in order, so a test can run any dialog path of the
// program headless and check exactly what the user would have seen.
//
// A question with no queued answer gets the configured default (No, cancel)
// and is counted in `unansweredQuestions`, so a test notices a question it did
// not expect.
//
// Threads: main thread only.
#pragma once

#include "platform/ui/UiServices.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sonvale::ui {

class ScriptedUiServices : public UiServices {
public:
    enum class Kind { Message, Confirm, SaveDialog, FolderDialog };

    struct Shown {
        Kind kind;
        std::string text; // message or question text, dialog title
    };

    struct Opened {
        std::string target;
        ShowMode mode;
    };

    // Answers, consumed in order.
    void queueConfirm(bool yes) { confirms_.push_back(yes); }
    void queueSaveFile(std::optional<std::string> path) { saves_.push_back(std::move(path)); }
    void queueFolder(std::optional<std::string> folder) { folders_.push_back(std::move(folder)); }

    // Called after each message box is recorded (e.g. to check state while
    // the box would be up); may be empty.
    std::function<void(const std::string&)> onMessage;

    // What shellOpen answers.
    bool shellOpenResult = true;

    void messageBox(const std::string& text) override;
    bool confirm(const std::string& text) override;
    bool saveFileDialog(const SaveDialogOptions& options, std::string& fileName) override;
    bool selectDirectory(const std::string& title, std::string& folder) override;
    bool shellOpen(const std::string& target, ShowMode mode) override;
    void processMessages() override { ++processCount; }

    // Only the texts of message boxes, in order.
    std::vector<std::string> messages() const;

    // Forgets everything recorded and queued.
    void clear();

    std::vector<Shown> shown;
    std::vector<Opened> opened;
    std::vector<SaveDialogOptions> saveDialogs; // options of each save dialog run
    int processCount = 0;
    int unansweredQuestions = 0;

private:
    std::deque<bool> confirms_;
    std::deque<std::optional<std::string>> saves_;
    std::deque<std::optional<std::string>> folders_;
};

} // namespace sonvale::ui
