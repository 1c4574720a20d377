// The virtual card's state, shared by its wave-in, output and mixer parts
// (private to platform/audio).
//
// Everything here is guarded by Impl::mutex; devices are shared_ptr so a
// stream opened before a reconfiguration keeps a valid (detached) device.
#pragma once

#include "platform/audio/RingQueue.h"
#include "platform/audio/virtual/ChunkedBytes.h"
#include "platform/audio/virtual/VirtualCard.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class VirtualOutputImpl;

// A file feeding a source: raw bytes (taken in the capture format) or the
// frames of a WAV file as stereo floats at the file's rate. A raw file is
// mapped read-only rather than read: a feed of minutes of sound costs no
// copy when it is loaded, its pages are the page cache's.
struct VirtualFeed {
    VirtualFeed() = default;
    VirtualFeed(const VirtualFeed&) = delete;
    VirtualFeed& operator=(const VirtualFeed&) = delete;
    ~VirtualFeed(); // unmaps a raw file

    bool raw = false;
    std::span<const uint8_t> bytes; // raw: the mapped file
    std::vector<float> frames;      // WAV: interleaved left/right
    uint32_t rate = 44100;          // WAV
};

inline constexpr int kVirtualSources = 5;

// What one output played, as the device keeps it (handed out as a
// SpeakerRecording).
struct KeptRecording {
    WAVEFORMATEX format{};
    ChunkedBytes bytes;
};

struct VirtualDeviceState {
    int index = 0;
    VirtualDeviceConfig config;
    std::shared_ptr<const VirtualFeed> feeds[kVirtualSources];

    // Mixer values.
    uint16_t speakerVolume[2] = {65535, 65535};
    bool speakerMute = false;
    uint32_t muxItem = 0;
    uint16_t sourceVolume[kVirtualSources][2];
    bool sourceSelected[kVirtualSources] = {true, false, false, false, false};
    int32_t peak[2] = {0, 0}; // of the last captured block, 0..32767

    bool captureOpen = false;
    std::vector<KeptRecording> recordings;
    std::vector<VirtualOutputImpl*> outputs; // open outputs, for the monitor

    // What the speakers played, scaled by their volume: stereo float frames
    // at monitorRate, oldest first; bounded to two seconds.
    RingQueue<float> monitor;
    uint32_t monitorRate = 44100;
    double monitorPos = 0; // fractional read position of the stereo-mix source

    VirtualDeviceState();
};

struct VirtualCard::Impl {
    mutable std::mutex mutex;
    VirtualCardConfig config;
    double speed = 1.0;
    std::vector<std::shared_ptr<VirtualDeviceState>> devices;
    uint32_t generation = 0; // bumped by every configure

    // Null when out of range; -1 is device 0. Mutex held.
    std::shared_ptr<VirtualDeviceState> device(int index) const;
    // Lets every open output of the device play what is due (mutex held).
    void pumpOutputs(VirtualDeviceState& device, std::chrono::steady_clock::time_point now);
    // Appends played bytes of a format to the device's monitor (mutex held).
    static void feedMonitor(VirtualDeviceState& device, const WAVEFORMATEX& format,
                            const uint8_t* data, size_t bytes);
};

// Tone frequencies of the sources, left and right.
inline constexpr double kVirtualTones[kVirtualSources][2] = {
    {500, 700}, {1000, 1300}, {2000, 2500}, {0, 0}, {3000, 3500}};

// Loads a WAV or raw feed; null when the file cannot be read.
std::shared_ptr<const VirtualFeed> loadVirtualFeed(const std::string& path);

// Part of the output used by the monitor pump (mutex held).
class VirtualOutputImpl {
public:
    virtual ~VirtualOutputImpl() = default;
    virtual void advance(std::chrono::steady_clock::time_point now) = 0;
};
