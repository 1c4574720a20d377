// Recording control of the main window: Record, Pause and Stop, the
// one-second timer, and the two handlers through which captured sound reaches
// an MP3 file.
//
// WAV: waveIn captures and hands every chunk to waveRiff, which writes the
// file. MP3: waveIn's data handler queues every chunk to the encoder, whose
// thread encodes it and hands the bytes to EncoderOutput, which appends them
// to the file. Stop closes waveIn first, then the encoder (which drains its
// queue), and only then clears ActiveEncoder.
#include "app/RecordSettings.h"
#include "app/smain.h"
#include "app/svar.h"
#include "capture/unavclWaveComponents.h"
#include "core/unaUtils.h"
#include "encode/unaBladeMp3Enc.h"
#include "platform/ui/UiServices.h"
#include "player/TXaudioPlayer.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdio>

using namespace sonvale::app;

namespace {

// Creates the file (empty) or confirms an existing one can be appended to.
bool canCreateFile(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "ab");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

} // namespace

void TMainFrm::setListButtonsEnabled(bool enabled) {
    for (QToolButton* b : {btnRecord, btnPlay, btnSave, btnRemove, btnRemoveAll, btnOptions})
        b->setEnabled(enabled);
}

void TMainFrm::setStatus(const std::string& text) {
    labStatus->setText(QString::fromStdString(text));
}

void TMainFrm::resumeCapture() {
    if (recordingMp3_) {
        waveIn->setActive(true);
        if (waveIn->device())
            waveIn->device()->assignStream(false, nullptr, false);
    } else {
        waveIn->setConsumer(waveRiff.get());
    }
}

void TMainFrm::btnRecordClick() {
    if (svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused)
        return;
    svar::ListChanged = true;

    if (svar::AppState == svar::stRecordPaused) {
        try {
            resumeCapture();
            btnRecord->setEnabled(false);
            svar::AppState = svar::stRecording;
        } catch (...) {
        }
        return;
    }
    if (svar::AppState != svar::stIdle || startingRecord_)
        return;
    // The name search lets pending window messages run; a second click
    // arriving then must not start a second recording.
    startingRecord_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{startingRecord_};

    const bool mp3 = svar::AppSettings.SaveFile == 1;
    const std::string ext = mp3 ? ".mp3" : ".wav";
    std::string name;
    QListWidgetItem* selected = lstRecordFile->currentItem();
    if (selected && !selected->isSelected())
        selected = nullptr;
    if (chkRecordNew->isChecked() || !selected) {
        name = NewRecordingName(
            svar::AppSettings.SaveDir, ext, [](const std::string& n) { return fileExists(n); },
            [this] { ui_.processMessages(); });
        const QString text = QString::fromStdString(name);
        QListWidgetItem* item = nullptr;
        for (int i = 0; i < lstRecordFile->count() && !item; ++i)
            if (lstRecordFile->item(i)->text() == text)
                item = lstRecordFile->item(i);
        if (!item)
            item = new QListWidgetItem(text, lstRecordFile);
        lstRecordFile->setCurrentItem(item);
    } else {
        name = ReplaceExtension(selected->text().toStdString(), ext);
    }
    svar::RecordFileName = name;

    auto removeOld = [&]() {
        if (fileExists(name) && std::remove(name.c_str()) != 0) {
            ui_.messageBox("Error overwrite " + name + ".");
            return false;
        }
        return true;
    };
    auto startUi = [&]() {
        setListButtonsEnabled(false);
        setStatus("Recording...");
        if (QListWidgetItem* item = lstRecordFile->currentItem())
            item->setText(QString::fromStdString(name));
        svar::AppState = svar::stRecording;
    };
    auto backToIdle = [&]() {
        setListButtonsEnabled(true);
        setStatus("Ready");
        svar::AppState = svar::stIdle;
    };

    if (!mp3) {
        if (auto v = WavChannelsOf(svar::AppSettings.WavMode))
            waveIn->setPcm_NumChannels(*v);
        waveRiff->setPcm_NumChannels(waveIn->pcm_NumChannels());
        if (auto v = WavBitsOf(svar::AppSettings.WavBits))
            waveIn->setPcm_BitsPerSample(*v);
        waveRiff->setPcm_BitsPerSample(waveIn->pcm_BitsPerSample());
        if (auto v = WavRateOf(svar::AppSettings.WavRate))
            waveIn->setPcm_SamplesPerSec(*v);
        waveRiff->setPcm_SamplesPerSec(waveIn->pcm_SamplesPerSec());
        if (!removeOld())
            return;
        // The writer creates the file at once; a folder that cannot be
        // written is reported here instead of recording into nothing.
        waveRiff->setFileName(name);
        if (waveRiff->riffStatus() != unaRiffStream::rsWriterReady) {
            waveRiff->setFileName("");
            ui_.messageBox("Create file failed! - " + name);
            return;
        }
        recordingMp3_ = false;
        startUi();
        waveIn->setActive(true);
        if (!waveIn->active()) {
            waveRiff->setActive(false);
            waveRiff->setFileName("");
            waveIn->setActive(false);
            waveIn->setConsumer(waveRiff.get());
            backToIdle();
            ui_.messageBox("Open recording device failed!");
            return;
        }
        Timer->start();
        return;
    }

    svar::ActiveEncoder = svar::Mp3Encoder;
    unaLameMp3Enc* encoder = svar::ActiveEncoder.load();
    if (!encoder)
        return;
    // The encoder reads 16-bit samples whatever the WAV setting says.
    waveIn->setPcm_BitsPerSample(16);
    waveIn->setPcm_SamplesPerSec(Mp3SampleRateOf(svar::AppSettings.WavRate));
    waveIn->setPcm_NumChannels(Mp3ModeOf(svar::AppSettings.MP3Mode) == BE_MP3_MODE_MONO ? 1 : 2);

    BE_CONFIG config = MakeMp3Config(svar::AppSettings);
    if (int32_t rc = encoder->setConfig(&config); rc != 0) {
        const int32_t code = encoder->lastError() ? encoder->lastError() : rc;
        ui_.messageBox("Config fails, error code: " + ErrorCodeText(code));
        svar::ActiveEncoder = nullptr;
        return;
    }
    if (int32_t rc = encoder->open(); rc != 0) {
        const int32_t code = encoder->lastError() ? encoder->lastError() : rc;
        ui_.messageBox("Open fails, error code: " + ErrorCodeText(code));
        encoder->close();
        svar::ActiveEncoder = nullptr;
        return;
    }
    bool ready = removeOld();
    // The first encoded block would create the file; a folder that cannot be
    // written is reported now instead of losing the whole recording.
    if (ready && !canCreateFile(name)) {
        ui_.messageBox("Create file failed! - " + name);
        ready = false;
    }
    if (!ready) {
        encoder->close();
        svar::ActiveEncoder = nullptr;
        return;
    }
    recordingMp3_ = true;
    appendFailed_ = false;
    startUi();
    waveIn->setActive(true);
    if (!waveIn->active()) {
        waveIn->setActive(false);
        encoder->close();
        svar::ActiveEncoder = nullptr;
        backToIdle();
        ui_.messageBox("Open recording device failed!");
        return;
    }
    if (waveIn->device())
        waveIn->device()->assignStream(false, nullptr, false);
    Timer->start();
}

void TMainFrm::btnPauseClick() {
    switch (svar::AppState) {
    case svar::stRecording:
        try {
            if (recordingMp3_)
                waveIn->setActive(false);
            else
                waveIn->setConsumer(nullptr); // capture goes on; its data is dropped
            setStatus("Pause " + labStatus->text().toStdString());
            btnRecord->setEnabled(true);
            svar::AppState = svar::stRecordPaused;
        } catch (...) {
        }
        break;
    case svar::stRecordPaused:
        try {
            resumeCapture();
            setStatus("Recording...");
            btnRecord->setEnabled(false);
            svar::AppState = svar::stRecording;
        } catch (...) {
        }
        break;
    case svar::stPlaying:
        pausePlayback();
        break;
    case svar::stPlayPaused:
        resumePlayback();
        break;
    default:
        break;
    }
}

void TMainFrm::btnStopClick() {
    if (svar::AppState == svar::stIdle)
        return;
    Timer->stop();
    if (svar::AppState == svar::stRecording || svar::AppState == svar::stRecordPaused) {
        if (!recordingMp3_) {
            waveRiff->setActive(false); // the sizes in the header are written now
            waveRiff->setFileName("");
            waveIn->setActive(false);
            waveIn->setConsumer(waveRiff.get()); // Pause may have detached it
        } else {
            waveIn->setActive(false); // no more blocks are queued
            if (unaLameMp3Enc* encoder = svar::ActiveEncoder.load())
                encoder->close(); // the queue is drained into the file first
            svar::ActiveEncoder = nullptr;
        }
    } else if (svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused) {
        stopPlayback();
    }
    showSelectedSourceVolume();
    svar::ElapsedSeconds = 0;
    setListButtonsEnabled(true);
    setStatus("Ready");
    prbProgress->setValue(0);
    svar::AppState = svar::stIdle;
}

void TMainFrm::stopAfterWriteFailure() {
    const std::string name = svar::RecordFileName;
    btnStopClick();
    ui_.messageBox("Write file failed! - " + name);
}

void TMainFrm::TimerTimer() {
    if (destroyed_)
        return;
    switch (svar::AppState) {
    case svar::stRecording:
    case svar::stRecordPaused: {
        const bool failed = recordingMp3_ ? appendFailed_.load() : waveRiff->writeFailed();
        if (failed) {
            stopAfterWriteFailure();
            return;
        }
        if (svar::AppState == svar::stRecordPaused)
            return; // paused time is not counted
        ++svar::ElapsedSeconds;
        if (svar::AppSettings.IsStopRecording &&
            svar::ElapsedSeconds > svar::AppSettings.StopRecordingSeconds) {
            btnStopClick();
            return;
        }
        const std::string head = "Recording... " + std::to_string(svar::ElapsedSeconds) + "s / ";
        if (!recordingMp3_) {
            setStatus(head + std::to_string(waveRiff->inBytes() / 1024) + "KB");
        } else if (unaLameMp3Enc* encoder = svar::ActiveEncoder.load()) {
            setStatus(head + std::to_string(encoder->totalEncoded() >> 10) + "KB");
        }
        break;
    }
    case svar::stPlaying:
        playbackTimerTick();
        break;
    default:
        break;
    }
}

void TMainFrm::waveInDataAvailable(unavclInOutPipe*, const void* data, uint32_t len) {
    if (unaLameMp3Enc* encoder = svar::ActiveEncoder.load())
        if (svar::AppSettings.SaveFile == 1)
            encoder->lazyWrite(data, len);
}

void TMainFrm::EncoderOutput(unaAbstractEncoder*, const void* data, uint32_t size,
                             bool& copyToStream) {
    copyToStream = false;
    if (svar::ActiveEncoder.load() && svar::AppSettings.SaveFile == 1)
        if (AppendToFile(svar::RecordFileName, data, size) != 0)
            appendFailed_ = true;
}
