// The audio component's mixer part: TAudio opens one mixer device (its
// MixerDeviceID) and keeps, in TMixerSettings, a table of all the device's
// lines (every destination followed by its sources) with the identifiers of
// each line's volume, mute and peak-meter controls. Lines are addressed by
// (destination, position): position 0 is the destination line itself,
// position k its source with source index k-1.
//
// Failures never raise: every operation returns false and puts one of the
// four error texts below in TAudio's ErrorText, and the matching code in
// ErrorCode, which callers test instead of the text.
//
// Change notification: the open device reports control changes to a message
// window owned by TMixerSettings (NotifyWindow); its handler, on the main
// thread, finds the line whose volume or mute control changed and raises
// OnMixerChange(sender, destination, position); any other control notified
// (a MUX, or a device whose lines came or went, as the sound server reports
// them) raises OnMixerControlChange(sender, control id) instead.
// Notifications that were queued for a device that has since been closed
// are dropped.
//
// Ownership: TAudio owns its TMixerSettings, which owns the table, the open
// device handle and the notification window. The mixer service must outlive
// the component.
//
// Threads: main thread only (construction creates a message window; the
// change handler runs on the main thread).
#pragma once

#include "mixer/MixerService.h"
#include "platform/ui/MessageWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TAudio;
class TMixerSettings;

// The error texts a volume read or write leaves in TAudio::ErrorText.
inline constexpr const char* kVolumeGetControlError = "Volume GetControlError in Mixer";
inline constexpr const char* kMuteGetControlError = "Mute GetControlError in Mixer";
inline constexpr const char* kVolumeSetControlError = "Volume SetControlError in Mixer";
inline constexpr const char* kMuteSetControlError = "Mute SetControlError in Mixer";

// Which of them the last GetLineVolume / SetLineVolume failed with; None
// after a success, and after a failure that sets no text (no such line,
// nothing open).
enum class TAudioError { None, VolumeGet, MuteGet, VolumeSet, MuteSet };
// The text of a code ("" for None).
const char* TAudioErrorText(TAudioError code);

// The identifier a table entry holds for a control the line does not have.
inline constexpr uint32_t kNoMixerControl = 0xFFFF;

struct TMixDetails {
    int16_t Destination = -1; // -1 for the device entry
    int16_t Position = -1;    // 0 destination line, k source k-1; -1 device entry
    std::string Name;         // line name, or the product name for the device entry
    uint32_t VolumeControlID = kNoMixerControl;
    uint32_t MuteControlID = kNoMixerControl;
    uint32_t PeakControlID = kNoMixerControl;
    uint16_t Left = 0, Right = 0; // volumes when the table was built
    uint16_t PeakChannels = 0;    // 1 or 2 with a peak meter, else 0
    uint16_t Flags = 0;           // 128: no mute control; 64: one channel with a volume
    bool MuteState = false;       // mute value when the table was built
    bool Mono = false;            // one channel (set with the volume control)
    bool HasControl = false;      // a volume or a mute control
    uint32_t Channels = 0;        // the line's channel count
};

enum : uint16_t {
    MIXDETAILS_MONO = 64,    // one channel and a volume control
    MIXDETAILS_NOMUTE = 128, // no mute control
};

// Sender, destination, position of the changed line.
using TNotifyMixerChange =
    std::function<void(TMixerSettings* sender, uint16_t destination, uint16_t source)>;
// Sender and the id of a notified control that is not a line's volume or mute.
using TNotifyMixerControlChange = std::function<void(TMixerSettings* sender, uint32_t controlId)>;

class TMixerSettings {
public:
    TMixerSettings(TAudio& audio, MixerService& service);
    // Closes the device and releases the notification window.
    ~TMixerSettings();
    TMixerSettings(const TMixerSettings&) = delete;
    TMixerSettings& operator=(const TMixerSettings&) = delete;

    // Closes the open device (if any), then opens device `deviceIndex` and
    // builds its table. False when there is no device, the device cannot be
    // opened, or a line cannot be read (the entries read so far stay).
    bool OpenMixer(uint32_t deviceIndex);

    // Names of the destinations, index d = destination d. Empty when not
    // Enabled. The list is this object's and refilled by each call.
    const std::vector<std::string>& GetDestinationNames();
    // Index k = position k of the destination: the line's name when it has a
    // volume or mute control, else "". Empty when not Enabled.
    const std::vector<std::string>& GetSourceNames(int destination);

    // Current volume (both channels the same value for a one-channel line),
    // mute flag and Flags of a line. False, with ErrorText set, when the
    // volume or the mute control cannot be read (a line without one of them
    // fails there; Left/Right are set when only the mute read fails).
    bool GetLineVolume(int destination, int position, uint16_t& Left, uint16_t& Right, bool& Mute,
                       uint16_t& Flags);
    // Writes the volume (Left only for a one-channel line) and the mute flag
    // of the controls the line has. False, with ErrorText set, on failure.
    bool SetLineVolume(int destination, int position, uint16_t Left, uint16_t Right, bool Mute);

    const std::vector<TMixDetails>& table() const { return table_; }
    bool Enabled() const { return Enabled_; }
    bool isOpen() const { return handle != nullptr; }
    // Null when no message window could be made (then there are no change
    // notifications).
    MessageWindow* NotifyWindow() const { return NotifyWindow_.get(); }

private:
    friend class TAudio;
    void closeDevice();
    // Appends the entry of a line record (its controls read from the device).
    void appendLine(const MIXERLINE& line);
    const TMixDetails* find(int destination, int position) const;
    // Reads/writes `channels` 4-byte values of a control through the handle.
    MMRESULT readValues(uint32_t controlId, uint32_t channels, std::vector<int32_t>& values);
    MMRESULT writeValues(uint32_t controlId, const std::vector<int32_t>& values);
    void onMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);
    void setError(TAudioError code);

    TAudio& audio;
    MixerService& service;
    HMIXER handle = nullptr;
    uintptr_t openSerial = 0; // counts opens; names the open a notification is for
    std::vector<TMixDetails> table_;
    bool Enabled_ = false;
    std::unique_ptr<MessageWindow> NotifyWindow_;
    std::vector<std::string> names;
};

class TAudio {
public:
    // Opens mixer device 0. The service must outlive the component.
    explicit TAudio(MixerService& service = platformMixerService());
    ~TAudio();
    TAudio(const TAudio&) = delete;
    TAudio& operator=(const TAudio&) = delete;

    TMixerSettings& Mixer() { return *mixer_; }

    uint32_t MixerDeviceID() const { return mixerDeviceID_; }
    // Nothing when unchanged; otherwise opens that device and rebuilds the
    // table (Enabled is set on success and left as it was on failure).
    void setMixerDeviceID(uint32_t deviceIndex);
    // Opens the current device again and rebuilds the table, for a device
    // whose lines changed; Enabled is set on success. False when it cannot be
    // opened (the table is then empty).
    bool reopenMixer();

    // The mixer part's operations, for callers that address the component.
    const std::vector<std::string>& GetDestinationNames() { return mixer_->GetDestinationNames(); }
    const std::vector<std::string>& GetSourceNames(int destination) {
        return mixer_->GetSourceNames(destination);
    }
    bool GetLineVolume(int destination, int position, uint16_t& Left, uint16_t& Right, bool& Mute,
                       uint16_t& Flags) {
        return mixer_->GetLineVolume(destination, position, Left, Right, Mute, Flags);
    }
    bool SetLineVolume(int destination, int position, uint16_t Left, uint16_t Right, bool Mute) {
        return mixer_->SetLineVolume(destination, position, Left, Right, Mute);
    }

    // The text of the last failure; kept until the next one.
    const std::string& ErrorText() const { return errorText_; }
    // The failure of the last volume read or write (None: it succeeded, or
    // failed without a text).
    TAudioError ErrorCode() const { return errorCode_; }
    std::string Version() const { return "4.1 (32bit)"; }

    // Raised on the main thread when a volume or mute control of the open
    // device changes. Unassigned by default.
    TNotifyMixerChange OnMixerChange;
    // Raised on the main thread for any other notified control of the open
    // device (the MUX; lines added or removed). Unassigned by default.
    TNotifyMixerControlChange OnMixerControlChange;

private:
    friend class TMixerSettings;
    uint32_t mixerDeviceID_ = 0;
    std::string errorText_;
    TAudioError errorCode_ = TAudioError::None;
    std::unique_ptr<TMixerSettings> mixer_;
};
