// The media player service: plays a sound file through the audio output, on
// a thread of its own, with the media-control commands the recorder uses:
// open, play, pause, resume, stop, close, and the position and length in
// milliseconds.
//
// The decoder is chosen from the file itself (libsndfile: WAV, MP3, FLAC,
// Ogg and more; it and libmpg123 are loaded by the first open that needs
// them, see MediaLibraries.h); what it delivers is played as 16-bit PCM, at
// most two channels (a file with more plays its first two). A file that
// cannot be read fails open() with a result code and a text, as does
// anything but a regular file (checked without blocking, so a FIFO, device
// or folder never holds the player); a file of length 0 opens, plays to its
// end at once and reports length 0. Playback goes on to the end of the
// data whatever the file's header says its length is: the length grows with
// what was decoded, and the position reaches the length only at the end.
// Playing to the end leaves the player stopped with the position equal to
// the length, and posts the notification message when one was asked for.
// Data that cannot be decoded, or an output that fails, ends playback the
// same way (position at the length) with failed() true and the reason in
// lastErrorText().
//
// Destruction waits a bounded time for the player thread; a thread stuck in
// a command (a file on a share that does not answer) is left to end on its
// own rather than hanging the caller.
//
// Commands are carried out by the player thread; each call waits until that
// is done (bounded: a thread that does not answer gives MMR_HANDLEBUSY rather
// than a hang). After stop() or close() return, nothing more is played; after
// close() the file is released.
//
// Threads: commands from one thread at a time (the main thread); position(),
// length() and mode() from any thread.
#pragma once

#include "platform/mmsystem.h"
#include "platform/ui/message_window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class AudioOutput;

class MediaPlayer {
public:
    enum class Mode { NotOpen, Stopped, Playing, Paused };
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

    // The default output factory opens the default device of the current
    // audio backend.
    explicit MediaPlayer(OutputFactory makeOutput = {});
    ~MediaPlayer(); // closes

    // Opens a file (closing the one open before). MMR_NOERROR, or
    // MMR_ERROR (cannot read the file), MMR_NODRIVER (the decoding library or
    // one of its entry points is missing), MMR_BADFORMAT (not a sound file
    // the decoder knows, or a format that cannot be played).
    MMRESULT open(const std::string& path);
    // Plays from the current position (the start after open or stop).
    MMRESULT play();
    MMRESULT pause();
    MMRESULT resume();
    // Ends playback and goes back to the start.
    MMRESULT stop();
    // Moves to `ms` milliseconds (at most the length), keeping the mode.
    MMRESULT seek(uint32_t ms);
    // Ends playback and releases the file. Closing a closed player is fine.
    MMRESULT close();

    // Milliseconds; 0 when nothing is open.
    uint32_t position() const;
    uint32_t length() const;
    Mode mode() const;
    // Why the last failing call failed, for messages.
    std::string lastErrorText() const;
    // True when the last playback ended because the file could not be
    // decoded or the output failed (cleared by open and play).
    bool failed() const;

    // When playback reaches the end of the file, post
    // (message, MEDIA_NOTIFY_SUCCESSFUL, 0) to the window. 0 turns it off.
    void setNotify(sv_window_t window, uint32_t message);
    static constexpr uintptr_t MEDIA_NOTIFY_SUCCESSFUL = 1;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
