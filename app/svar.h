// Shared state of the recorder: the settings record, the application state
// code, the run-time values of a recording or playback, and the objects the
// main window creates at start (encoder, mixer system).
//
// Everything here is owned by the application for its whole run and written by
// the main thread only. The capture and encoder threads read `ActiveEncoder`,
// `AppSettings.SaveFile` and `RecordFileName` while a recording runs; those do
// not change until the recording is stopped (the options dialog cannot be
// opened meanwhile), and `ActiveEncoder` is atomic because it is cleared while
// the encoder thread may still look at it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class unaLameMp3Enc;
class tMsMixerSystem;

namespace svar {

// Application state codes; no other values occur.
enum : int32_t {
    stIdle = 0,
    stRecording = 1,
    stPlaying = 2,
    stRecordPaused = 31,
    stPlayPaused = 32,
};

// The settings. Choice settings hold the zero-based index of the item in the
// options dialog's list, not the value itself. The persistent fields are named
// after their keys in section "Options"; their keys, defaults and dialog
// controls are listed once, in the option table (Settings.h), and a new
// record starts with those defaults. The four mixer indices are worked out
// again each time the record-source panel is built and are never stored.
struct TOptions {
    TOptions(); // the defaults of a first start ("SaveDir" empty)

    int32_t SaveFile{};
    std::string SaveDir; // always ends with "/"
    int32_t WavMode{};
    int32_t WavBits{};
    int32_t WavRate{};
    int32_t MP3Mode{};
    int32_t MP3Bits{};
    bool MP3UseVBR{};
    int32_t MP3VBRLevel{};
    int32_t MP3BitsMin{};
    int32_t MP3BitsMax{};
    bool MP3UseCopyrighted{};
    bool MP3UseOriginal{};
    bool MP3UseCRC{};
    bool MP3UsePrivate{};
    int32_t Mixer{};
    int32_t PlaybackDestination = 0;
    int32_t WaveInLine = -1;
    int16_t WaveInDestination = 0;
    int32_t MuxControl = -1;
    int32_t Skin{};
    bool IsNoiseReduction{};
    bool IsOurPlayer{};
    bool IsRecordNew{};
    bool IsStopRecording{};
    int32_t StopRecordingSeconds{};

    bool operator==(const TOptions&) const = default;
};

extern tMsMixerSystem* MixerSystem;               // created by the mixer start-up
extern unaLameMp3Enc* Mp3Encoder;                 // null when the encoder library file is missing
extern bool PlayerLibraryMissing;                 // the player library is missing or failed
extern std::atomic<unaLameMp3Enc*> ActiveEncoder; // set while an MP3 recording is set up or runs
extern int32_t ElapsedSeconds;                    // seconds counted by the timer
extern std::string RecordFileName;                // full path of the file being recorded
extern std::string PlayFileName;                  // full path of the file being played
extern int32_t PlayPercent;                       // playback position in percent
extern TOptions AppSettings;
extern int32_t AppState;
extern bool ListChanged; // the list or the new/overwrite choice changed; saved at exit

// Puts every value back to its state at program start (used between tests and
// by the program entry).
void ResetSharedState();

} // namespace svar
