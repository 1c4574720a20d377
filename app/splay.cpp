// The list of recordings: Save (a copy under a chosen name), Remove and
// Remove all, and the MP3 player's notifications (forwarded to the
// transport, which plays the recordings).
#include "app/RecordSettings.h"
#include "app/smain.h"
#include "app/svar.h"
#include "core/unaUtils.h"
#include "platform/ui/UiServices.h"
#include "player/TXaudioPlayer.h"

#include <QLabel>
#include <QListWidget>
#include <QToolButton>

#include <filesystem>

using namespace sonvale::app;

namespace {

QListWidgetItem* selectedItem(QListWidget* list) {
    QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

} // namespace

void TMainFrm::attachPlayerEvents() {
    mp3Player->OnNotifyInputPosition = [this](TXaudioPlayer* sender, uint32_t offset,
                                              uint32_t range) {
        mp3PlayerNotifyInputPosition(sender, offset, range);
    };
    mp3Player->OnNotifyPlayerState = [this](TXaudioPlayer* sender, int state) {
        mp3PlayerNotifyPlayerState(sender, state);
    };
    mp3Player->OnNotifyStreamDuration = [this](TXaudioPlayer*, uint32_t milliseconds) {
        Control->playerDuration(milliseconds);
    };
    mp3Player->OnNotifyError = [this](TXaudioPlayer*, uint8_t, int16_t, const std::string&) {
        Control->playerError();
    };
}

void TMainFrm::mp3PlayerNotifyInputPosition(TXaudioPlayer*, uint32_t offset, uint32_t range) {
    Control->playerInputPosition(offset, range);
}

void TMainFrm::mp3PlayerNotifyPlayerState(TXaudioPlayer*, int state) {
    Control->playerState(state);
}

void TMainFrm::btnSaveClick() {
    QListWidgetItem* item = selectedItem(lstRecordFile);
    if (!item)
        return;
    const std::string source = item->text().toStdString();
    if (!fileExists(source)) {
        ui_.messageBox("File not exists! - " + source);
        return;
    }
    const bool wav = LowerExtension(source) == ".wav";
    sonvale::ui::SaveDialogOptions options;
    options.defaultExtension = wav ? ".wav" : ".mp3";
    options.filter = wav ? "Wave files (*.wav)|*.wav" : "MP3 files (*.mp3)|*.mp3";
    std::string chosen;
    if (!ui_.saveFileDialog(options, chosen))
        return;
    const std::string destination = ReplaceExtension(chosen, options.defaultExtension);
    if (fileExists(destination) && !ui_.confirm("Destination file exists, overwrite it?"))
        return;
    std::error_code ec;
    bool copied = false;
    if (std::filesystem::equivalent(source, destination, ec))
        copied = true; // the recording itself was chosen: nothing to copy
    else
        copied = std::filesystem::copy_file(source, destination,
                                            std::filesystem::copy_options::overwrite_existing, ec);
    if (!copied) {
        ui_.messageBox("Save file failed! - " + source);
        return;
    }
    item->setText(QString::fromStdString(destination));
    svar::ListChanged = true;
}

void TMainFrm::btnRemoveClick() {
    if (lstRecordFile->count() == 0)
        return;
    QListWidgetItem* item = selectedItem(lstRecordFile);
    if (!item) {
        ui_.messageBox("Please select a item at first!");
        return;
    }
    if (!ui_.confirm("Are you sure you want to remove the selected sound file?"))
        return;
    delete item;
    svar::ListChanged = true;
}

void TMainFrm::btnRemoveAllClick() {
    if (lstRecordFile->count() == 0)
        return;
    if (!ui_.confirm("Are you sure you want to remove all sound file?"))
        return;
    lstRecordFile->clear();
    svar::ListChanged = true;
}
