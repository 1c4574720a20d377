// Choice of the audio backend behind wave-in, audio output and mixer.
//
// The environment variable SONVALE_AUDIO ("pulse", "alsa" or "virtual") is
// read once, on first use. Unset (or any other value): the sound server when
// one answers within about a quarter of a second, else ALSA. A test may
// switch programmatically at any time. Handles opened before a switch keep working on the backend
// that opened them; device counts, capabilities and new opens follow the switch.
//
// ALSA device names: device id -1 of wave-in opens the PCM named by
// SONVALE_ALSA_CAPTURE, of audio output the PCM named by SONVALE_ALSA_PLAYBACK
// (both "default" when unset); these are read on every open.
//
// AudioWarmUp makes the backend ready ahead of its first use, on a thread of
// its own, when the choice is still to be made and may involve the sound
// server: it makes the choice (which loads libpulse and asks for a server)
// and counts the backend's capture and mixer devices (for the sound server:
// connecting and fetching the server's sources), so that this overlaps what
// the caller does meanwhile (the program: setting up the application). A
// call made meanwhile waits for what it needs: audioBackend() for the
// choice, the server's services for the connection. The warm-up's
// destructor waits for its thread.
//
// Threads: any thread.
#pragma once

#include <thread>

enum class AudioBackend { Alsa, Virtual, Pulse };

AudioBackend audioBackend();
void setAudioBackend(AudioBackend backend);
// Tests: the next use chooses from the environment again, as at the start.
void forgetAudioBackendChoice();

class AudioWarmUp {
public:
    AudioWarmUp();  // starts the thread; without one, does nothing
    ~AudioWarmUp(); // finish()
    // Waits until the backend is ready and the thread has ended.
    void finish();
    AudioWarmUp(const AudioWarmUp&) = delete;
    AudioWarmUp& operator=(const AudioWarmUp&) = delete;

private:
    std::thread thread_;
};
