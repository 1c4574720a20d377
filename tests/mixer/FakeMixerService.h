// A mixer service for tests: serves mixer devices described as device models
// (built by hand with MixerModelBuilder, or by the ALSA element mapping),
// keeps control values in memory, fails chosen calls on purpose, and logs
// which device every call addressed.
//
// Value and record rules follow the platform mixer service: a details record
// names 1 channel or the control's channel count, a multiple-item control its
// item count; a MUX needs exactly one item set; volumes are checked against
// the control's bounds; booleans are stored as 0/1. Sets call the change
// callback of every open handle of the device.
//
// Threads: the test's thread only.
#pragma once

#include "mixer/MixerService.h"
#include "platform/audio/Backends.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeMixerService : public MixerService {
public:
    struct Device {
        MixerDeviceModel model;
        std::map<uint32_t, std::vector<int32_t>> values; // per control id, channel-major
        bool failCaps = false;
        bool failOpen = false;
    };

    // One call as the service saw it: its name and the device it addressed.
    struct Call {
        std::string name;
        uint32_t device;
    };

    // Adds a device; every control starts at 0 except a list's first item.
    void addDevice(MixerDeviceModel model);
    Device& device(uint32_t index) { return devices_.at(index); }

    // Failures on purpose, by control id / line.
    std::set<uint32_t> failGetValues;
    std::set<uint32_t> failSetValues;
    std::set<std::pair<uint32_t, int64_t>> failLines; // (destination, source or -1)
    std::set<uint32_t> failControlsOfLine;            // line ids

    std::vector<Call> calls;
    size_t count(const std::string& name) const;
    size_t openHandles() const { return handles_.size(); }
    // The values last written to a control, as sent (one per channel given).
    std::map<uint32_t, std::vector<int32_t>> lastWritten;

    // Changes a value as another program would, notifying open handles.
    void changeFromOutside(uint32_t device, uint32_t controlId, std::vector<int32_t> values);

    uint32_t getNumDevs() override;
    MMRESULT getDevCaps(MixerObject mixer, MIXERCAPS* caps) override;
    MMRESULT open(HMIXER* handle, uint32_t deviceIndex, MixerChangeCallback onChange) override;
    MMRESULT close(HMIXER handle) override;
    MMRESULT getLineInfo(MixerObject mixer, MIXERLINE* line, uint32_t flags) override;
    MMRESULT getLineControls(MixerObject mixer, MIXERLINECONTROLS* request,
                             uint32_t flags) override;
    MMRESULT getControlDetails(MixerObject mixer, MIXERCONTROLDETAILS* details,
                               uint32_t flags) override;
    MMRESULT setControlDetails(MixerObject mixer, const MIXERCONTROLDETAILS* details,
                               uint32_t flags) override;

private:
    struct Handle {
        uint32_t device;
        MixerChangeCallback onChange;
    };
    MMRESULT resolve(const MixerObject& mixer, const char* call, uint32_t* index);
    const MixerControlModel* findControl(uint32_t device, uint32_t id) const;
    void notify(uint32_t device, uint32_t controlId);

    std::vector<Device> devices_;
    std::map<HMIXER, std::unique_ptr<Handle>> handles_;
};

// Builds device models by hand: lines get ids, controls get ids and bounds,
// counts are filled in by build().
class MixerModelBuilder {
public:
    explicit MixerModelBuilder(const std::string& product);
    // Returns the destination index.
    uint32_t destination(const std::string& name, uint32_t componentType, uint32_t channels = 2);
    // Returns the source index within the destination.
    uint32_t source(uint32_t dest, const std::string& name, uint32_t channels = 2);
    // Adds a control to a destination (source -1) or a source line; returns
    // its id. `channels` 1 makes it uniform; items > 0 makes it a
    // multiple-item list with those item names.
    uint32_t control(uint32_t dest, int source, uint32_t type, uint32_t channels = 1,
                     std::vector<std::string> items = {});
    MixerControlModel& lastControl() { return *last_; }
    MixerDeviceModel build();

private:
    MixerLineModel& line(uint32_t dest, int source);
    MixerDeviceModel model_;
    uint32_t nextId_ = 1;
    MixerControlModel* last_ = nullptr;
};
