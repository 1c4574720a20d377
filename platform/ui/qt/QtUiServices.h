// Qt implementation of the user-interface services: QMessageBox for message
// boxes and Yes/No questions, QFileDialog for the file-save dialog and the
// folder chooser, QDesktopServices for the shell's open, and
// QCoreApplication::processEvents for pending messages.
//
// `parent` (may be null) is the window the modal boxes belong to; it can be
// changed once the main window exists. Main thread only.
#pragma once

#include "platform/ui/UiServices.h"

class QWidget;

namespace sonvale::ui {

class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* parent = nullptr) : parent_(parent) {}

    void setParentWindow(QWidget* parent) { parent_ = parent; }

    void messageBox(const std::string& text) override;
    bool confirm(const std::string& text) override;
    bool saveFileDialog(const SaveDialogOptions& options, std::string& fileName) override;
    bool selectDirectory(const std::string& title, std::string& folder) override;
    bool shellOpen(const std::string& target, ShowMode mode) override;
    void processMessages() override;

private:
    QWidget* parent_;
};

} // namespace sonvale::ui
