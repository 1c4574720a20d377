// The virtual card: an in-process software sound card behind wave-in, audio
// output and the mixer when the backend is AudioBackend::Virtual.
//
// One card per process (the platform library is shared), with one or two
// devices. Each device has
//   - a mixer: a "Speakers" destination (volume, mute) and a "Recording
//     Control" (wave-in) destination whose sources are "Microphone",
//     "Line In", "CD Audio" and "Stereo Mix"; either a MUX on the wave-in
//     destination selects one of them (volume on each source), or, without
//     a MUX, each source has a volume and a select switch presented as its
//     mute control (true = selected), and a fifth source "Auxiliary" has no
//     controls at all;
//   - one capture stream: the selected sources summed, each source's own
//     signal scaled by its volume (per channel, 65535 = unity);
//   - speakers: any number of outputs; what they play is kept for
//     inspection and fed, scaled by the speakers' volume and mute, to the
//     "Stereo Mix" source.
// Source signals (amplitude 0.5 of full scale at unity): sines of
//   Microphone 500 Hz left / 700 Hz right, Line In 1000 / 1300 Hz,
//   CD Audio 2000 / 2500 Hz, Auxiliary 3000 / 3500 Hz; a mono capture takes
//   the left channel. Any source may instead be fed from a file: a WAV file
//   (PCM, 8/16 bit, 1/2 channels, any rate; resampled by nearest sample) or a
//   raw file whose bytes are taken in the capture format itself (so a raw
//   feed at unity volume, alone, records byte for byte). Feeds loop.
// Pacing: capture and playback follow the monotonic clock times `speed`
// (1 = real time, 10 = ten times faster); speed 0 means unpaced: capture
// fills each queued buffer at once and playback plays every write at once.
//
// Configuration comes from the environment on first use (see
// virtualCardConfigFromEnvironment) or from VirtualCard::configure.
//
// Threads: any thread; the card locks itself.
#pragma once

#include "platform/mmsystem.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct VirtualDeviceConfig {
    std::string name;   // product name, whole (capability records hold 31 characters);
                        // empty: "Virtual Card <n>"
    bool hasMux = true; // MUX on the wave-in destination, else select switches
    std::array<std::string, 5> sourceFiles; // per source index: WAV or raw feed, empty: tone
};

struct VirtualCardConfig {
    std::vector<VirtualDeviceConfig> devices = {VirtualDeviceConfig{}}; // one or two
    double speed = 1.0; // 1 = real time, 0 = unpaced
    // Bytes each output's SpeakerRecording keeps at most (the first ones);
    // what plays beyond is heard by "Stereo Mix" but not kept. Everything by
    // default; 64 MiB when configured from the environment, so a program
    // running on the card for hours does not keep hours of sound.
    uint64_t speakerKeepBytes = UINT64_MAX;
};

// Source indexes of the wave-in destination, in source order.
enum VirtualSource : int {
    VS_MICROPHONE = 0,
    VS_LINE_IN = 1,
    VS_CD_AUDIO = 2,
    VS_STEREO_MIX = 3,
    VS_AUXILIARY = 4, // only without a MUX; never selectable
};

// What one output played: its format and every byte it played, in order (up
// to the card's speakerKeepBytes).
struct SpeakerRecording {
    WAVEFORMATEX format{};
    std::vector<uint8_t> bytes;
};

// The configuration described by the environment:
//   SONVALE_VCARD_DEVICES   1 or 2 (default 1)
//   SONVALE_VCARD_MUX       "1" or "0", or per device "1,0" (default 1)
//   SONVALE_VCARD_SPEED     pacing factor, 0 = unpaced (default 1)
//   SONVALE_VCARD_SPEAKER_KEEP_MB  MiB each output's recording keeps (default 64)
//   SONVALE_VCARD_FEED_<d>_<s>  file feeding source s (0..4) of device d
//   SONVALE_VCARD_NAME_<d>  product name of device d
// Malformed values are ignored (the default stays).
VirtualCardConfig virtualCardConfigFromEnvironment();

class VirtualCard {
public:
    // The process's card (configured from the environment on first use).
    static VirtualCard& instance();

    // Replaces the configuration and resets every mixer value to its
    // default (sources at unity volume, Microphone selected, speakers at
    // unity and not muted) and clears the speakers' recordings. Devices open
    // at that moment keep running; a device index that no longer exists
    // records silence. False (nothing changed) for 0 or more than 2 devices.
    bool configure(const VirtualCardConfig& config);
    VirtualCardConfig config() const;

    void setSpeed(double speed); // takes effect at the next open
    double speed() const;

    // Mixer state, also reachable through the mixer service.
    void selectSource(int device, int source); // MUX item, or only this switch on
    void setSourceSelected(int device, int source, bool selected); // switch mode
    void setSourceVolume(int device, int source, uint16_t left, uint16_t right);
    void setSpeakers(int device, uint16_t left, uint16_t right, bool mute);

    // Everything played on a device's speakers since the last configure or
    // clearSpeakers, one entry per opened output.
    std::vector<SpeakerRecording> speakerRecordings(int device) const;
    void clearSpeakers(int device);

    // Private to the backend (one implementation file per service).
    struct Impl;
    Impl& impl() { return *impl_; }

private:
    VirtualCard();
    ~VirtualCard();
    Impl* impl_;
};
