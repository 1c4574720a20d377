// The recorder's transport: Record, Pause, Stop, Play, the one-second tick,
// the name of a new recording and the choice of player, without any widget.
//
// Every change of svar::AppState goes through setState, which refuses a
// change the state table does not list. What the user sees is drawn by the
// window through RecordingView; the window's button handlers only forward
// here.
//
// Where a recorded chunk goes:
//   WAV: capture thread -> waveIn -> waveRiff (its writer thread) -> file
//   MP3: capture thread -> waveIn -> sink -> encoder thread -> sink -> file
// Stop closes the file end first (WAV: waveRiff; MP3: after waveIn, the sink,
// which drains the encoder into the file), so nothing captured is lost; a
// variable-rate MP3 file then gets its information frame. A recording that
// cannot start removes the file it created and its list item; one that
// starts or ends has the list saved at once. A recording whose device is
// lost, or whose file stops taking data, is stopped (its file kept) at the
// next tick, with a message.
//
// Ownership: the window owns the two pipes and the MP3 player and outlives
// this object; this object owns the MP3 file sink (made when an encoder is
// attached) and the media player used for everything the own player does
// not play. svar::Mp3Encoder stays the start-up's.
//
// Threads: main thread only, except waveInDataAvailable (capture thread),
// which only hands the block to the sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class MediaPlayer;
class TXaudioPlayer;
class TunavclWaveInDevice;
class TunavclWaveRiff;
class unaEncoderFileSink;
class unaLameMp3Enc;
class unavclInOutPipe;

namespace sonvale::ui {
class UiServices;
}

namespace sonvale::app {

// What the transport needs of the window: drawing, the list of recordings,
// and the volume display of the record-source panel. Main thread only.
class RecordingView {
public:
    virtual ~RecordingView() = default;

    virtual std::string status() const = 0;
    virtual void setStatus(const std::string& text) = 0;
    // Record, Play, Save, Remove, Remove all and Options together.
    virtual void setListButtonsEnabled(bool enabled) = 0;
    virtual void setRecordEnabled(bool enabled) = 0;
    virtual void setPlayEnabled(bool enabled) = 0;
    virtual void setTimerRunning(bool running) = 0;
    virtual void setProgress(int percent) = 0;
    // The clock beside the status: elapsed time and size while recording,
    // the position while playing; empty when idle.
    virtual void setClock(const std::string& text) = 0;
    // The level meter reads the capture device while this is on.
    virtual void setMeterRunning(bool running) = 0;

    // The new-file / overwrite choice: true records to a new file.
    virtual bool recordNew() const = 0;
    // The path of the selected recording, if an item is selected.
    virtual std::optional<std::string> selectedRecording() const = 0;
    // Selects the item with this path, appending one when there is none.
    virtual void selectRecording(const std::string& path) = 0;
    // Gives the selected item (if any) this path.
    virtual void renameSelectedRecording(const std::string& path) = 0;

    // Removes the selected item from the list (a recording that could not
    // start).
    virtual void removeSelectedRecording() = 0;
    // Writes the list of recordings to the settings file now, when it
    // changed (a recording started or ended).
    virtual void saveRecordingList() = 0;

    // Shows the selected source's volume again (after Stop).
    virtual void refreshSourceVolume() = 0;
    // Shows the speakers' volume (when playback starts).
    virtual void showPlaybackVolume() = 0;
};

class RecordingControl {
public:
    // Attaches itself to waveIn's data event. Both pipes must outlive it.
    RecordingControl(RecordingView& view, sonvale::ui::UiServices& ui, TunavclWaveInDevice& waveIn,
                     TunavclWaveRiff& waveRiff);
    ~RecordingControl();
    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    // The encoder start-up's encoder (null: none), before any recording.
    // MP3 recordings write through a sink over it.
    void attachEncoder(unaLameMp3Enc* encoder);
    // The encoder shut-down: finishes an MP3 recording still running (its
    // file is completed) and lets go of the encoder.
    void releaseEncoder();
    // The own MP3 player (null: none, or its library is missing).
    void setOwnPlayer(TXaudioPlayer* player) { ownPlayer_ = player; }
    // The capture device that records what the chosen mixer device selects
    // (set by the record-source panel); the next recording opens it.
    void setRecordDevice(int32_t deviceId) { recordDevice_ = deviceId; }
    int32_t recordDevice() const { return recordDevice_; }

    // Whether `from` -> `to` is a change of the state table.
    static bool allowedTransition(int32_t from, int32_t to);
    // Changes svar::AppState when the table allows it; false (and no
    // change) otherwise.
    bool setState(int32_t to);

    // The transport commands.
    void Record();
    void Pause();
    void Stop();
    void Play();
    // One second has passed (the window's timer).
    void Tick();

    // Moves the playback to `percent` of the file (the progress bar).
    void seek(int percent);

    // The own player's notifications.
    void playerInputPosition(uint32_t offset, uint32_t range);
    void playerState(int state);
    // The own player's stream length in milliseconds (0: unknown).
    void playerDuration(uint32_t milliseconds) { ownDurationMs_ = milliseconds; }
    // The own player reported an error (it cannot open its output, decode
    // the file, or go on writing): the playback ends with a message.
    void playerError();

    // Capture thread: a captured block for the MP3 sink.
    void waveInDataAvailable(unavclInOutPipe* sender, const void* data, uint32_t len);

    // Releases the media player's file (program shut-down).
    void closeSystemPlayer();

    // The media player service (made on first use; null before).
    MediaPlayer* sysPlayer() const { return sysPlayer_.get(); }
    // The sink MP3 recordings write through (null without an encoder).
    unaEncoderFileSink* mp3Sink() const { return sink_.get(); }
    // Whether the recording that runs (or ran last) is an MP3 recording.
    bool recordingIsMp3() const { return recordingMp3_; }
    // Whether PlayFileName plays through the own MP3 player.
    bool playsWithOwnPlayer() const;

private:
    std::string chooseRecordingName(bool mp3);
    // Deletes an old file of that name; false (after telling the user) when
    // it cannot be deleted.
    bool removeOld(const std::string& name);
    // A recording that could not start: removes the file it made (`made`:
    // whatever is at `name` now is this start's) and its list item, unless
    // the item is an overwritten recording still on disk.
    void abandonStart(const std::string& name, bool made);
    // Closes the MP3 sink (the file is complete), then writes a variable-rate
    // file's information frame.
    void finishMp3File();
    void startWav(const std::string& name);
    void startMp3(const std::string& name);
    // The buttons, status, list item and state of a recording that starts.
    void showRecordingStarted(const std::string& name);
    void showBackToIdle();
    // Lets captured sound reach the file again after a pause.
    void resumeCapture();
    void stopCapture();
    // Stops the recording (its file is finished and kept), then tells the
    // user `message` + " - " + the file's path.
    void stopWithMessage(const std::string& message);
    bool recordingDeviceLost() const;
    void recordingTick();

    void startPlayback();
    void pausePlayback();
    void resumePlayback();
    void stopPlayback();
    void playbackTick();
    // The playback reached its end: Stop, and "Play file failed!" when a
    // player reported a failure on the way.
    void endPlayback(bool failed);

    RecordingView& view_;
    sonvale::ui::UiServices& ui_;
    TunavclWaveInDevice& waveIn_;
    TunavclWaveRiff& waveRiff_;
    TXaudioPlayer* ownPlayer_ = nullptr;
    unaLameMp3Enc* encoder_ = nullptr; // the attached encoder (not owned)
    int32_t recordDevice_ = -1;        // WAVE_MAPPER until the panel tells
    std::unique_ptr<MediaPlayer> sysPlayer_;
    // Read by the capture thread; set and cleared only while nothing is
    // captured.
    std::atomic<unaEncoderFileSink*> sinkForCapture_{nullptr};
    std::unique_ptr<unaEncoderFileSink> sink_;
    bool recordingMp3_ = false;
    uint32_t ownDurationMs_ = 0;
    bool recordingVbr_ = false; // the MP3 recording runs at a variable rate
    // The selected recording a start in overwrite mode records over.
    std::optional<std::string> overwritten_;
    // The own player reported an error during the current playback.
    bool playFailed_ = false;
    // Set while Record sets a recording up: the name search lets pending
    // window messages run, and a second click then must not start another.
    bool startingRecord_ = false;
};

} // namespace sonvale::app
