#include "app/RecordingControl.h"

#include "app/Clock.h"
#include "app/RecordSettings.h"
#include "app/svar.h"
#include "capture/unavclWaveComponents.h"
#include "core/unaUtils.h"
#include "encode/unaBladeMp3Enc.h"
#include "encode/unaEncoderFileSink.h"
#include "platform/media/MediaPlayer.h"
#include "platform/ui/UiServices.h"
#include "player/TXaudioPlayer.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace sonvale::app {

RecordingControl::RecordingControl(RecordingView& view, sonvale::ui::UiServices& ui,
                                   TunavclWaveInDevice& waveIn, TunavclWaveRiff& waveRiff)
    : view_(view), ui_(ui), waveIn_(waveIn), waveRiff_(waveRiff) {
    waveIn_.onDataAvailable = [this](unavclInOutPipe* sender, const void* data, uint32_t len) {
        waveInDataAvailable(sender, data, len);
    };
}

RecordingControl::~RecordingControl() {
    waveIn_.setActive(false);
    waveIn_.onDataAvailable = nullptr;
    releaseEncoder();
}

void RecordingControl::attachEncoder(unaLameMp3Enc* encoder) {
    releaseEncoder();
    encoder_ = encoder;
    if (encoder)
        sink_ = std::make_unique<unaEncoderFileSink>(*encoder);
    sinkForCapture_ = sink_.get();
}

void RecordingControl::releaseEncoder() {
    sinkForCapture_ = nullptr;
    finishMp3File(); // a recording still running gets a complete file
    sink_.reset();
    encoder_ = nullptr;
    svar::ActiveEncoder = nullptr;
}

void RecordingControl::finishMp3File() {
    if (!sink_ || !sink_->isOpen())
        return;
    const std::string name = sink_->fileName();
    sink_->close(); // the encoder's queue is drained into the file first
    // A variable-rate file announces its true length (frames, bytes, seek
    // table) in the frame kept for it at its start; without it players
    // guess the length from the first frame's rate.
    if (recordingVbr_ && encoder_)
        encoder_->writeVBRHeader(name);
}

// ---- states ----------------------------------------------------------------

bool RecordingControl::allowedTransition(int32_t from, int32_t to) {
    using namespace svar;
    switch (from) {
    case stIdle:
        return to == stRecording || to == stPlaying;
    case stRecording:
        return to == stRecordPaused || to == stIdle;
    case stRecordPaused:
        return to == stRecording || to == stIdle;
    case stPlaying:
        return to == stPlayPaused || to == stIdle;
    case stPlayPaused:
        return to == stPlaying || to == stIdle;
    default:
        return false;
    }
}

bool RecordingControl::setState(int32_t to) {
    if (!allowedTransition(svar::AppState, to))
        return false;
    svar::AppState = to;
    return true;
}

// ---- Record ----------------------------------------------------------------

void RecordingControl::Record() {
    if (svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused)
        return;
    svar::ListChanged = true;
    if (svar::AppState == svar::stRecordPaused) {
        try {
            resumeCapture();
            view_.setRecordEnabled(false);
            setState(svar::stRecording);
        } catch (...) {
        }
        return;
    }
    if (svar::AppState != svar::stIdle || startingRecord_)
        return;
    startingRecord_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{startingRecord_};

    const bool mp3 = svar::AppSettings.SaveFile == 1;
    const std::string name = chooseRecordingName(mp3);
    svar::RecordFileName = name;
    if (mp3)
        startMp3(name);
    else
        startWav(name);
}

std::string RecordingControl::chooseRecordingName(bool mp3) {
    const std::string ext = mp3 ? ".mp3" : ".wav";
    const std::optional<std::string> selected = view_.selectedRecording();
    overwritten_.reset();
    if (!view_.recordNew() && selected) {
        overwritten_ = selected;
        return ReplaceExtension(*selected, ext);
    }
    const std::string name = NewRecordingName(
        svar::AppSettings.SaveDir, ext, [](const std::string& n) { return fileExists(n); },
        [this] { ui_.processMessages(); });
    view_.selectRecording(name);
    return name;
}

bool RecordingControl::removeOld(const std::string& name) {
    if (fileExists(name) && std::remove(name.c_str()) != 0) {
        ui_.messageBox("Error overwrite " + name + ".");
        return false;
    }
    return true;
}

void RecordingControl::abandonStart(const std::string& name, bool made) {
    if (made)
        std::remove(name.c_str());
    if (overwritten_ && fileExists(*overwritten_))
        view_.renameSelectedRecording(*overwritten_); // e.g. a.mp3 when a.wav failed
    else
        view_.removeSelectedRecording();
}

void RecordingControl::showRecordingStarted(const std::string& name) {
    view_.setListButtonsEnabled(false);
    view_.setStatus("Recording...");
    view_.renameSelectedRecording(name);
    view_.setClock(RecordingClockText(0, 0, std::nullopt));
    view_.setMeterRunning(true);
    setState(svar::stRecording);
}

void RecordingControl::showBackToIdle() {
    view_.setMeterRunning(false);
    view_.setClock("");
    view_.setListButtonsEnabled(true);
    view_.setStatus("Ready");
    setState(svar::stIdle);
}

void RecordingControl::startWav(const std::string& name) {
    const svar::TOptions& o = svar::AppSettings;
    waveIn_.setDeviceId(recordDevice_);
    if (auto v = WavChannelsOf(o.WavMode))
        waveIn_.setPcm_NumChannels(*v);
    waveRiff_.setPcm_NumChannels(waveIn_.pcm_NumChannels());
    if (auto v = WavBitsOf(o.WavBits))
        waveIn_.setPcm_BitsPerSample(*v);
    waveRiff_.setPcm_BitsPerSample(waveIn_.pcm_BitsPerSample());
    if (auto v = WavRateOf(o.WavRate))
        waveIn_.setPcm_SamplesPerSec(*v);
    waveRiff_.setPcm_SamplesPerSec(waveIn_.pcm_SamplesPerSec());
    if (!removeOld(name)) {
        abandonStart(name, false);
        return;
    }
    // The writer creates the file at once; a folder that cannot be written
    // is reported here instead of recording into nothing.
    waveRiff_.setFileName(name);
    if (waveRiff_.riffStatus() != unaRiffStream::rsWriterReady) {
        waveRiff_.setFileName("");
        abandonStart(name, true);
        ui_.messageBox("Create file failed! - " + name);
        return;
    }
    recordingMp3_ = false;
    showRecordingStarted(name);
    waveIn_.setActive(true);
    if (!waveIn_.active()) {
        waveRiff_.setActive(false);
        waveRiff_.setFileName("");
        waveIn_.setActive(false);
        waveIn_.setConsumer(&waveRiff_);
        abandonStart(name, true);
        showBackToIdle();
        ui_.messageBox("Open recording device failed!");
        return;
    }
    view_.setTimerRunning(true);
    view_.saveRecordingList();
}

void RecordingControl::startMp3(const std::string& name) {
    svar::ActiveEncoder = svar::Mp3Encoder;
    unaLameMp3Enc* encoder = svar::ActiveEncoder.load();
    if (!encoder || !sink_) {
        svar::ActiveEncoder = nullptr;
        return; // no encoder library: nothing happens, the list item stays
    }
    const svar::TOptions& o = svar::AppSettings;
    waveIn_.setDeviceId(recordDevice_);
    // The encoder reads 16-bit samples whatever the WAV setting says.
    waveIn_.setPcm_BitsPerSample(16);
    waveIn_.setPcm_SamplesPerSec(Mp3SampleRateOf(o.WavRate));
    waveIn_.setPcm_NumChannels(Mp3ModeOf(o.MP3Mode) == BE_MP3_MODE_MONO ? 1 : 2);

    // `made`: the old file is gone and whatever is at the name is ours.
    auto fail = [&](const std::string& message, bool made) {
        encoder->close();
        svar::ActiveEncoder = nullptr;
        abandonStart(name, made);
        if (!message.empty())
            ui_.messageBox(message);
    };
    BE_CONFIG config = MakeMp3Config(o);
    if (int32_t rc = encoder->setConfig(&config); rc != 0) {
        fail("Config fails, error code: " +
                 ErrorCodeText(encoder->lastError() ? encoder->lastError() : rc),
             false);
        return;
    }
    if (int32_t rc = encoder->open(); rc != 0) {
        fail("Open fails, error code: " +
                 ErrorCodeText(encoder->lastError() ? encoder->lastError() : rc),
             false);
        return;
    }
    if (!removeOld(name)) {
        fail("", false);
        return;
    }
    // The file is created now: a folder that cannot be written is reported
    // before anything is recorded.
    if (!sink_->open(name)) {
        fail("Create file failed! - " + name, true);
        return;
    }
    recordingMp3_ = true;
    recordingVbr_ = o.MP3UseVBR;
    showRecordingStarted(name);
    waveIn_.setActive(true);
    if (!waveIn_.active()) {
        waveIn_.setActive(false);
        sink_->close();
        svar::ActiveEncoder = nullptr;
        abandonStart(name, true);
        showBackToIdle();
        ui_.messageBox("Open recording device failed!");
        return;
    }
    if (waveIn_.device())
        waveIn_.device()->assignStream(false, nullptr, false);
    view_.setTimerRunning(true);
    view_.saveRecordingList();
}

void RecordingControl::waveInDataAvailable(unavclInOutPipe*, const void* data, uint32_t len) {
    if (unaEncoderFileSink* sink = sinkForCapture_.load(std::memory_order_acquire))
        sink->write(data, len);
}

// ---- Pause and Stop --------------------------------------------------------

void RecordingControl::resumeCapture() {
    if (recordingMp3_) {
        waveIn_.setActive(true);
        if (waveIn_.device())
            waveIn_.device()->assignStream(false, nullptr, false);
    } else {
        waveIn_.setConsumer(&waveRiff_);
    }
}

void RecordingControl::Pause() {
    switch (svar::AppState) {
    case svar::stRecording:
        try {
            if (recordingMp3_)
                waveIn_.setActive(false);
            else
                waveIn_.setConsumer(nullptr); // capture goes on; its data is dropped
            view_.setStatus("Pause " + view_.status());
            view_.setRecordEnabled(true);
            setState(svar::stRecordPaused);
        } catch (...) {
        }
        break;
    case svar::stRecordPaused:
        try {
            resumeCapture();
            view_.setStatus("Recording...");
            view_.setRecordEnabled(false);
            setState(svar::stRecording);
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

void RecordingControl::stopCapture() {
    if (!recordingMp3_) {
        waveRiff_.setActive(false); // the sizes in the header are written now
        waveRiff_.setFileName("");
        waveIn_.setActive(false);
        waveIn_.setConsumer(&waveRiff_); // Pause may have detached it
        return;
    }
    waveIn_.setActive(false); // no more blocks reach the sink
    finishMp3File();
    svar::ActiveEncoder = nullptr;
}

void RecordingControl::Stop() {
    if (svar::AppState == svar::stIdle)
        return;
    view_.setTimerRunning(false);
    const bool recording =
        svar::AppState == svar::stRecording || svar::AppState == svar::stRecordPaused;
    if (recording)
        stopCapture();
    else
        stopPlayback();
    view_.setMeterRunning(false);
    view_.setClock("");
    view_.refreshSourceVolume();
    svar::ElapsedSeconds = 0;
    view_.setListButtonsEnabled(true);
    view_.setStatus("Ready");
    view_.setProgress(0);
    setState(svar::stIdle);
    if (recording)
        view_.saveRecordingList(); // a finished recording is never forgotten
}

void RecordingControl::stopWithMessage(const std::string& message) {
    const std::string name = svar::RecordFileName;
    Stop();
    ui_.messageBox(message + " - " + name);
}

bool RecordingControl::recordingDeviceLost() const {
    const unaWaveInDevice* device = waveIn_.device();
    return device && device->deviceLost();
}

// ---- the one-second tick ---------------------------------------------------

void RecordingControl::Tick() {
    switch (svar::AppState) {
    case svar::stRecording:
    case svar::stRecordPaused:
        recordingTick();
        break;
    case svar::stPlaying:
        playbackTick();
        break;
    default:
        break;
    }
}

void RecordingControl::recordingTick() {
    const bool failed = recordingMp3_ ? sink_ && sink_->writeFailed() : waveRiff_.writeFailed();
    if (failed) {
        stopWithMessage("Write file failed!");
        return;
    }
    // Unplugged, its source removed, the sound server gone: capture has
    // ended for good, and what was recorded is kept.
    if (recordingDeviceLost()) {
        stopWithMessage("Recording device lost!");
        return;
    }
    if (svar::AppState == svar::stRecordPaused)
        return; // paused time is not counted
    ++svar::ElapsedSeconds;
    if (svar::AppSettings.IsStopRecording &&
        svar::ElapsedSeconds > svar::AppSettings.StopRecordingSeconds) {
        Stop();
        return;
    }
    const std::string head = "Recording... " + std::to_string(svar::ElapsedSeconds) + "s / ";
    std::optional<uint64_t> bytes;
    if (!recordingMp3_)
        bytes = waveRiff_.inBytes();
    else if (unaLameMp3Enc* encoder = svar::ActiveEncoder.load())
        bytes = encoder->totalEncoded();
    if (!bytes)
        return;
    view_.setStatus(head + std::to_string(*bytes >> 10) + "KB");
    const uint64_t seconds = uint64_t(svar::ElapsedSeconds);
    std::optional<uint64_t> left;
    if (auto free = FreeDiskBytes(svar::RecordFileName))
        left = SecondsLeft(*free, *bytes, seconds);
    view_.setClock(RecordingClockText(seconds, *bytes, left));
}

// ---- playback --------------------------------------------------------------

bool RecordingControl::playsWithOwnPlayer() const {
    return svar::AppSettings.IsOurPlayer && ownPlayer_ &&
           LowerExtension(svar::PlayFileName) == ".mp3";
}

void RecordingControl::Play() {
    if (svar::AppState == svar::stRecording || svar::AppState == svar::stRecordPaused)
        return;
    const std::optional<std::string> selected = view_.selectedRecording();
    if (!selected || svar::AppState == svar::stPlaying)
        return;
    if (svar::AppState == svar::stPlayPaused) {
        resumePlayback();
        return;
    }
    svar::PlayFileName = *selected;
    if (!fileExists(svar::PlayFileName))
        return;
    startPlayback();
}

void RecordingControl::startPlayback() {
    // A position left at 100 by the last playback would end this one at the
    // first tick, before the player has reported anything.
    svar::PlayPercent = 0;
    ownDurationMs_ = 0;
    playFailed_ = false;
    if (playsWithOwnPlayer()) {
        bool started = false;
        try {
            // A file that does not open (not MPEG audio, not a regular file)
            // or an output that does not open fails here, not later.
            started = ownPlayer_->InputOpen(svar::PlayFileName) == 0 && ownPlayer_->Play() == 0;
            if (!started) {
                ownPlayer_->Stop();
                ownPlayer_->InputClose();
            }
        } catch (const std::exception&) {
        }
        if (!started) {
            ui_.messageBox("Play file failed! - " + svar::PlayFileName);
            return;
        }
    } else {
        if (!sysPlayer_)
            sysPlayer_ = std::make_unique<MediaPlayer>();
        if (sysPlayer_->open(svar::PlayFileName) != MMR_NOERROR ||
            sysPlayer_->play() != MMR_NOERROR) {
            sysPlayer_->close();
            ui_.messageBox("Play file failed! - " + svar::PlayFileName);
            return;
        }
    }
    view_.setListButtonsEnabled(false);
    view_.setStatus("Playing...");
    view_.setClock("");
    setState(svar::stPlaying);
    view_.setTimerRunning(true);
    view_.showPlaybackVolume();
}

void RecordingControl::pausePlayback() {
    if (playsWithOwnPlayer())
        ownPlayer_->Pause();
    else if (sysPlayer_)
        sysPlayer_->pause();
    view_.setStatus("Pause Playing");
    view_.setPlayEnabled(true);
    setState(svar::stPlayPaused);
}

void RecordingControl::resumePlayback() {
    if (playsWithOwnPlayer())
        ownPlayer_->Play();
    else if (sysPlayer_)
        sysPlayer_->resume();
    view_.setStatus("Playing");
    view_.setPlayEnabled(false);
    setState(svar::stPlaying);
}

void RecordingControl::stopPlayback() {
    if (playsWithOwnPlayer()) {
        try {
            if (svar::AppState == svar::stPlayPaused)
                ownPlayer_->Pause();
            ownPlayer_->Stop();
            ownPlayer_->OutputClose();
            ownPlayer_->InputClose();
        } catch (const std::exception&) {
        }
    } else if (sysPlayer_) {
        sysPlayer_->stop();
        sysPlayer_->close();
    }
}

void RecordingControl::playbackTick() {
    if (playsWithOwnPlayer()) {
        view_.setProgress(svar::PlayPercent);
        if (ownDurationMs_ > 0)
            view_.setClock(PositionText(
                uint64_t(ownDurationMs_) * uint32_t(svar::PlayPercent) / 100, ownDurationMs_));
        if (svar::PlayPercent == 100)
            endPlayback(playFailed_);
        return;
    }
    if (!sysPlayer_) {
        Stop();
        return;
    }
    const uint32_t position = sysPlayer_->position();
    const uint32_t length = sysPlayer_->length();
    view_.setProgress(length ? int(RoundHalfEven(uint64_t(position) * 100, length)) : 0);
    view_.setClock(PositionText(position, length));
    // Undecodable data or a failing output end the playback the same way,
    // with failed() set.
    if (position >= length)
        endPlayback(sysPlayer_->failed());
}

void RecordingControl::endPlayback(bool failed) {
    const std::string name = svar::PlayFileName;
    Stop();
    if (failed)
        ui_.messageBox("Play file failed! - " + name);
}

void RecordingControl::seek(int percent) {
    if (svar::AppState != svar::stPlaying && svar::AppState != svar::stPlayPaused)
        return;
    percent = std::clamp(percent, 0, 100);
    if (playsWithOwnPlayer()) {
        try {
            ownPlayer_->InputSeek(percent, 100);
        } catch (const std::exception&) {
            return;
        }
        svar::PlayPercent = percent == 100 ? 99 : percent; // the end is the player's to report
        if (ownDurationMs_ > 0)
            view_.setClock(
                PositionText(uint64_t(ownDurationMs_) * uint32_t(percent) / 100, ownDurationMs_));
        return;
    }
    if (!sysPlayer_)
        return;
    const uint32_t length = sysPlayer_->length();
    const uint32_t target = uint32_t(uint64_t(length) * uint32_t(percent) / 100);
    if (sysPlayer_->seek(target) == MMR_NOERROR)
        view_.setClock(PositionText(target, length));
}

void RecordingControl::playerInputPosition(uint32_t offset, uint32_t range) {
    if (range == 0)
        return; // no position can be worked out
    svar::PlayPercent = int32_t(uint32_t(offset * 100u) / range);
    if (ownDurationMs_ > 0 &&
        (svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused))
        view_.setClock(PositionText(uint64_t(ownDurationMs_) * offset / range, ownDurationMs_));
}

void RecordingControl::playerState(int state) {
    if (state == 0 || state == 3)
        svar::PlayPercent = 100;
}

void RecordingControl::playerError() {
    // An error of an earlier, already failed start arrives after it; only a
    // running playback ends through it. The player's own end notification
    // follows, and the next tick stops with the message.
    if ((svar::AppState == svar::stPlaying || svar::AppState == svar::stPlayPaused) &&
        playsWithOwnPlayer())
        playFailed_ = true;
}

void RecordingControl::closeSystemPlayer() {
    if (sysPlayer_)
        sysPlayer_->close();
}

} // namespace sonvale::app
