// The list of recordings and their playback: Play, the playback branches of
// Pause, Stop and the timer, the MP3 player's notifications, Save (a copy
// under a chosen name), Remove and Remove all.
//
// MP3 files play through the own MP3 player (mp3Player) when "Use our MP3
// player" is on; everything else through the media player service
// (sysPlayer). The choice is made from PlayFileName each time.
#include "app/RecordSettings.h"
#include "app/smain.h"
#include "app/svar.h"
#include "core/unaUtils.h"
#include "platform/media/MediaPlayer.h"
#include "platform/ui/UiServices.h"
#include "player/TXaudioPlayer.h"

#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTimer>
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
}

bool TMainFrm::playsWithOwnPlayer() const {
    return svar::AppSettings.IsOurPlayer && mp3Player &&
           LowerExtension(svar::PlayFileName) == ".mp3";
}

void TMainFrm::btnPlayClick() {
    if (svar::AppState == svar::stRecording || svar::AppState == svar::stRecordPaused)
        return;
    QListWidgetItem* item = selectedItem(lstRecordFile);
    if (!item)
        return;
    if (svar::AppState == svar::stPlaying)
        return;
    if (svar::AppState == svar::stPlayPaused) {
        resumePlayback();
        return;
    }
    svar::PlayFileName = item->text().toStdString();
    if (!fileExists(svar::PlayFileName))
        return;
    startPlayback();
}

void TMainFrm::startPlayback() {
    // A position left at 100 by the last playback would end this one at the
    // first tick, before the player has reported anything.
    svar::PlayPercent = 0;
    if (playsWithOwnPlayer()) {
        try {
            mp3Player->InputOpen(svar::PlayFileName);
            mp3Player->Play();
        } catch (const std::exception&) {
            ui_.messageBox("Play file failed! - " + svar::PlayFileName);
            return;
        }
    } else {
        if (!sysPlayer)
            sysPlayer = std::make_unique<MediaPlayer>();
        if (sysPlayer->open(svar::PlayFileName) != MMR_NOERROR ||
            sysPlayer->play() != MMR_NOERROR) {
            sysPlayer->close();
            ui_.messageBox("Play file failed! - " + svar::PlayFileName);
            return;
        }
    }
    setListButtonsEnabled(false);
    setStatus("Playing...");
    svar::AppState = svar::stPlaying;
    Timer->start();
    ShowPlaybackVolume();
}

void TMainFrm::pausePlayback() {
    if (playsWithOwnPlayer())
        mp3Player->Pause();
    else if (sysPlayer)
        sysPlayer->pause();
    setStatus("Pause Playing");
    btnPlay->setEnabled(true);
    svar::AppState = svar::stPlayPaused;
}

void TMainFrm::resumePlayback() {
    if (playsWithOwnPlayer())
        mp3Player->Play();
    else if (sysPlayer)
        sysPlayer->resume();
    setStatus("Playing");
    btnPlay->setEnabled(false);
    svar::AppState = svar::stPlaying;
}

void TMainFrm::stopPlayback() {
    if (playsWithOwnPlayer()) {
        try {
            if (svar::AppState == svar::stPlayPaused)
                mp3Player->Pause();
            mp3Player->Stop();
            mp3Player->OutputClose();
            mp3Player->InputClose();
        } catch (const std::exception&) {
        }
    } else if (sysPlayer) {
        sysPlayer->stop();
        sysPlayer->close();
    }
}

void TMainFrm::playbackTimerTick() {
    if (playsWithOwnPlayer()) {
        prbProgress->setValue(svar::PlayPercent);
        if (svar::PlayPercent == 100)
            btnStopClick();
        return;
    }
    if (!sysPlayer) {
        btnStopClick();
        return;
    }
    const uint32_t position = sysPlayer->position();
    const uint32_t length = sysPlayer->length();
    prbProgress->setValue(length ? int(RoundHalfEven(uint64_t(position) * 100, length)) : 0);
    if (position >= length)
        btnStopClick();
}

void TMainFrm::mp3PlayerNotifyInputPosition(TXaudioPlayer*, uint32_t offset, uint32_t range) {
    if (range == 0)
        return; // no position can be worked out
    svar::PlayPercent = int32_t(uint32_t(offset * 100u) / range);
}

void TMainFrm::mp3PlayerNotifyPlayerState(TXaudioPlayer*, int state) {
    if (state == 0 || state == 3)
        svar::PlayPercent = 100;
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
