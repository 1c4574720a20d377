// The seams between the audio services and their backends (private to
// platform/audio). Each service's public functions check their arguments and
// dispatch through the table of the backend chosen by audioBackend(); a
// backend only knows its devices.
//
// Threads: backends lock themselves; every function may be called from any
// thread.
#pragma once

#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/Mixer.h"
#include "platform/audio/WaveIn.h"
#include "platform/audio/WaveInDevice.h"

#include <memory>
#include <string>
#include <vector>

// ---- wave-in ----

class WaveInBackend {
public:
    virtual ~WaveInBackend() = default;
    virtual uint32_t count() = 0;
    // deviceId is -1 or 0..count()-1 (checked by the caller).
    // Fills the capabilities but the name, and the device's whole name
    // (the service cuts it into caps->szPname).
    virtual MMRESULT caps(int deviceId, WAVEINCAPS* caps, std::string* name) = 0;
    // Opens a source for a checked PCM format. With query, only checks and
    // leaves *source empty. *readBytes: the largest read the capture thread
    // should ask for.
    virtual MMRESULT open(int deviceId, const WAVEFORMATEX& format, bool query,
                          std::unique_ptr<CaptureSource>* source, uint32_t* readBytes) = 0;
};

// MMR_NOERROR when the record is a PCM format every backend can record
// (tag 1, 1..2 channels, 8/16 bits, 1000..384000 Hz, consistent block
// alignment), else MMR_BADFORMAT (MMR_INVALPARAM for null).
MMRESULT checkPcmFormat(const WAVEFORMATEX* format);

// ---- mixer ----

struct MixerControlModel {
    MIXERCONTROL info{};
    uint32_t channels = 1;          // value channels (1 for a uniform control)
    std::vector<std::string> items; // list controls: item names, in order
    uint32_t itemParam1 = 0;        // list text dwParam1 base (line ids of items)
    uint32_t binding = 0;           // backend's own meaning
};

struct MixerLineModel {
    MIXERLINE info{};
    std::vector<MixerControlModel> controls;
    std::vector<uint32_t> itemLineIds; // for a MUX on this line: line id per item
};

// A control record: bounds from its type (volume 0..65535 in 65536 steps,
// peak meter -32768..32767, switches and lists 0..1), uniform when it has one
// channel. The backends build their models from these two.
MixerControlModel makeMixerControl(uint32_t id, uint32_t type, const std::string& name,
                                   uint32_t channels, uint32_t binding);

// A line record, active; a source line of destination dest when isSource.
MixerLineModel makeMixerLine(uint32_t dest, uint32_t source, bool isSource, uint32_t type,
                             const std::string& shortName, const std::string& name, uint32_t lineId,
                             uint32_t channels, const std::string& product);

struct MixerDestinationModel {
    MixerLineModel line;
    std::vector<MixerLineModel> sources;
};

struct MixerDeviceModel {
    MIXERCAPS caps{};
    std::vector<MixerDestinationModel> destinations;
    std::string name; // the whole product name (caps.szPname holds 31 characters)
};

// Appends a destination to a model, its control counts set from the controls
// it holds.
void addMixerDestination(MixerDeviceModel& model, MixerDestinationModel destination);

// One mixer device of a backend. model() hands out a snapshot: fixed for the
// object's life on a card, replaced when the sound server's sources change
// (the snapshot a caller holds stays valid).
class MixerDeviceBackend {
public:
    virtual ~MixerDeviceBackend() = default;
    virtual std::shared_ptr<const MixerDeviceModel> model() const = 0;
    // values: control.channels x items elements (items = cMultipleItems or
    // 1), channel-major; volumes 0..65535, booleans 0/1.
    virtual MMRESULT getValues(const MixerControlModel& control, std::vector<int32_t>& values) = 0;
    virtual MMRESULT setValues(const MixerControlModel& control,
                               const std::vector<int32_t>& values) = 0;
};

class MixerBackend {
public:
    virtual ~MixerBackend() = default;
    virtual uint32_t count() = 0;
    // Null for an index out of range or a device that cannot be opened.
    virtual std::shared_ptr<MixerDeviceBackend> device(uint32_t index) = 0;
};

// Calls the change callback of every open handle of a backend's device
// (any thread but a backend's own event thread while it holds locks the
// callback might need): how a backend reports changes made by others.
void mixerNotifyChange(AudioBackend backend, uint32_t deviceIndex, uint32_t controlId);

// ---- one backend ----

// A backend's parts, gathered in one table per backend (alsa/AlsaBackend.cpp,
// virtual/VirtualBackend.cpp, pulse/PulseBackend.cpp). The services reach a backend only through
// its table.
struct AudioBackendTable {
    AudioBackend id;
    const char* name; // as SONVALE_AUDIO spells it
    WaveInBackend& (*waveIn)();
    MixerBackend& (*mixer)();
    std::unique_ptr<AudioOutput> (*createOutput)(int deviceId);
};

const AudioBackendTable& alsaBackendTable();
const AudioBackendTable& virtualBackendTable();
const AudioBackendTable& pulseBackendTable();
const AudioBackendTable& backendTable(AudioBackend backend);

// Copies text into a fixed field, cut to size - 1 characters, zero-filled.
void copyName(char* field, size_t size, const std::string& text);
template <size_t N> void copyName(char (&field)[N], const std::string& text) {
    copyName(field, N, text);
}
