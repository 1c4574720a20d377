#include "platform/ui/ScriptedUiServices.h"

namespace sonvale::ui {

void ScriptedUiServices::messageBox(const std::string& text) {
    shown.push_back({Kind::Message, text});
    if (onMessage)
        onMessage(text);
}

bool ScriptedUiServices::confirm(const std::string& text) {
    shown.push_back({Kind::Confirm, text});
    if (confirms_.empty()) {
        ++unansweredQuestions;
        return false;
    }
    const bool yes = confirms_.front();
    confirms_.pop_front();
    return yes;
}

bool ScriptedUiServices::saveFileDialog(const SaveDialogOptions& options, std::string& fileName) {
    shown.push_back({Kind::SaveDialog, options.title});
    saveDialogs.push_back(options);
    if (saves_.empty()) {
        ++unansweredQuestions;
        return false;
    }
    auto answer = std::move(saves_.front());
    saves_.pop_front();
    if (!answer)
        return false;
    fileName = withDefaultExtension(*answer, options.defaultExtension);
    return true;
}

bool ScriptedUiServices::selectDirectory(const std::string& title, std::string& folder) {
    shown.push_back({Kind::FolderDialog, title});
    if (folders_.empty()) {
        ++unansweredQuestions;
        return false;
    }
    auto answer = std::move(folders_.front());
    folders_.pop_front();
    if (!answer)
        return false;
    folder = *answer;
    return true;
}

bool ScriptedUiServices::shellOpen(const std::string& target, ShowMode mode) {
    opened.push_back({target, mode});
    return shellOpenResult;
}

std::vector<std::string> ScriptedUiServices::messages() const {
    std::vector<std::string> texts;
    for (const auto& s : shown)
        if (s.kind == Kind::Message)
            texts.push_back(s.text);
    return texts;
}

void ScriptedUiServices::clear() {
    shown.clear();
    opened.clear();
    saveDialogs.clear();
    processCount = 0;
    unansweredQuestions = 0;
    confirms_.clear();
    saves_.clear();
    folders_.clear();
}

} // namespace sonvale::ui
