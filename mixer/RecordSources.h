// The recording sources of one mixer device, as the record-source panel
// shows them: for every source line of the device's wave-in destination its
// name, its line number in TAudio's table, the MUX item that selects it, the
// kind of mark it carries and whether that mark is set. It also chooses the
// recorded source and reads and writes source volumes.
//
// Two mixer views meet here and are tied by line names: tMsMixerSystem
// enumerates devices, destinations, sources and controls and drives the MUX;
// TAudio reads and writes a line's volume and mute flag by (destination,
// line number).
//
// MUX mode (the wave-in destination has a MUX control): every source is a
// radio item; choosing one sets its MUX item and clears the others.
// Check-box mode: a source with a mute control (its select switch) gets a
// check box mirroring that switch; a source without one gets no mark.
//
// Showing a volume only reads: nothing here writes to the mixer except
// choose() and setVolume(), which follow what the user did.
//
// Ownership: the mixer system and TAudio are the caller's and must outlive
// this object; the MUX control pointer held between builds belongs to the
// mixer system and is valid until its next enumeration (the next build).
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TAudio;
class tMsMixerControl;
class tMsMixerSystem;

class RecordSources {
public:
    enum class Kind { None = 0, CheckBox = 1, Radio = 2 };
    struct Source {
        std::string name;
        int line = -1;    // position among TAudio's names of the destination; -1 not there
        int muxItem = -1; // the MUX item selecting this source; -1 none or check-box mode
        Kind kind = Kind::None;
        bool checked = false;
    };
    // What a build found missing, in the order met.
    enum class Problem {
        NoDevice,            // the system has no mixer device
        NoDestinationLine,   // the chosen device has no destination
        NoSourceLine,        // a wave-in destination without sources
        NoWaveInDestination, // no wave-in destination on the device
    };
    // The indices a build works out. `Mixer` goes in (the stored choice) and
    // comes out within range; the others keep their value when not found.
    struct Indices {
        int32_t Mixer = -1;
        int32_t PlaybackDestination = 0;
        int32_t WaveInLine = -1;
        int16_t WaveInDestination = 0;
        int32_t MuxControl = -1;
    };

    RecordSources(tMsMixerSystem& system, TAudio& audio);

    // Reads the devices and the sources of device `indices.Mixer` (a stored
    // choice below 0 or past the last device takes device 0) and points TAudio
    // at that device. Problems met are appended to `problems`.
    // `reread`: the devices or their lines changed since the last build (a
    // change notification): the device list is enumerated again and TAudio
    // reopens its device. While no device is left, TAudio keeps the one it
    // has open, so that it still hears the device come back.
    void build(Indices& indices, std::vector<Problem>& problems, bool reread = false);

    // The devices' whole names, in device order.
    const std::vector<std::string>& deviceNames() const { return deviceNames_; }
    // The capture device that records what the chosen device's wave-in
    // destination selects (its line's target); WAVE_MAPPER (-1) when the
    // destination names none or there is no wave-in destination.
    int waveInDevice() const { return waveInDevice_; }
    const std::vector<Source>& sources() const { return sources_; }
    // The source the panel selects after a build: the marked MUX source, or
    // the first source in check-box mode; -1 for none.
    int selected() const { return selected_; }
    bool muxMode() const { return mux_ != nullptr; }
    int16_t waveInDestination() const { return indices_.WaveInDestination; }
    int32_t playbackDestination() const { return indices_.PlaybackDestination; }

    // Sets the mark of source `index` as the user left it (no mixer write).
    void setChecked(size_t index, bool checked);
    // The user chose source `index`. MUX mode: its MUX item is set and every
    // other cleared (marks follow). Check-box mode: every check-box source's
    // select switch is written from its mark, volumes as they are.
    void choose(size_t index);

    // The current volume and mute flag of a line (both channels the same for
    // a mono line). A source of a MUX has no mute switch: its volume still
    // reads, with mute false. False when the volume cannot be read.
    bool lineVolume(int destination, int line, uint16_t& left, uint16_t& right, bool& mute);
    // The value the volume slider shows for a line: its second channel.
    std::optional<uint16_t> shownVolume(int destination, int line);
    // The user moved the slider: both channels of the line to `value`, its
    // mute flag unchanged. False when the line cannot be read or written.
    bool setVolume(int destination, int line, uint16_t value);

private:
    void listWaveInSources(unsigned destinationIndex, std::vector<Problem>& problems);

    tMsMixerSystem& system_;
    TAudio& audio_;
    Indices indices_;
    std::vector<std::string> deviceNames_;
    std::vector<Source> sources_;
    int selected_ = -1;
    int waveInDevice_ = -1;
    tMsMixerControl* mux_ = nullptr;
};
