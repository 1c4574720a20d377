// The object view of the mixer devices: tMsMixerSystem holds one tMsMixer per
// device, a tMsMixer its destination lines, a destination tMsMixerLine its
// source lines, and every line its controls as tMsMixerControl objects.
//
// Every record (capabilities, line, control values) is fetched from the mixer
// service when it is first asked for and kept until the object is rebuilt; a
// failed fetch leaves the record zeroed and marked stale, so the next access
// tries again. Every call stores its result code in lastResult of the object
// concerned; nothing raises and nothing is shown.
//
// Ownership: each object owns its children. The enumerating operations
// (enumMixers, enumDestinations, enumSources, enumControls) empty their list
// and refill it: pointers taken from a list are invalid afterwards. Freeing
// the system frees everything.
//
// Queries address a device by its index, never by a handle: open/close exist
// for completeness, and while a device is open only its capability query goes
// through the handle. No change notification is registered.
//
// Threads: main thread only.
#pragma once

#include "mixer/MixerService.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class tMsMixer;
class tMsMixerLine;
class tMsMixerControl;

class tMsMixerSystem {
public:
    // Enumerates the devices at once. The service must outlive the system
    // (the default one lives for the whole process).
    explicit tMsMixerSystem(MixerService& service = platformMixerService());
    virtual ~tMsMixerSystem();
    tMsMixerSystem(const tMsMixerSystem&) = delete;
    tMsMixerSystem& operator=(const tMsMixerSystem&) = delete;

    // Empties the list and creates one tMsMixer per device, in device order.
    virtual void enumMixers();
    uint32_t getMixerCount() const { return uint32_t(mixers.size()); }
    // Null when index is not below the count.
    tMsMixer* getMixer(uint32_t index) const;

    MixerService& service() const { return service_; }

private:
    MixerService& service_;
    std::vector<std::unique_ptr<tMsMixer>> mixers;
};

class tMsMixer {
public:
    tMsMixer(tMsMixerSystem& system, uint32_t deviceIndex);
    // Closes the device when it is open.
    virtual ~tMsMixer();
    tMsMixer(const tMsMixer&) = delete;
    tMsMixer& operator=(const tMsMixer&) = delete;

    // The capability record, fetched first while it is stale (through the
    // handle while the device is open, else by index). Zeroed until a fetch
    // succeeds.
    const MIXERCAPS& getCaps();

    // Empties the list and creates one (not yet fetched) destination line per
    // destination of the capability record.
    void enumDestinations();
    uint32_t getDestinationCount() const { return uint32_t(destinations.size()); }
    tMsMixerLine* getDestination(uint32_t index) const;

    // Opens the device without a change notification; marks the capabilities
    // stale once it is open. True when the device is open afterwards.
    virtual bool open();
    // Closes the handle (if any) and forgets it.
    virtual void close();
    void setActive(bool active);
    bool isActive() const { return handle != nullptr; }

    tMsMixerSystem& getSystem() const { return system; }
    uint32_t getDeviceIndex() const { return deviceIndex; }
    MMRESULT getLastResult() const { return lastResult; }
    bool isCapsStale() const { return capsStale; }
    MixerService& service() const { return system.service(); }

private:
    tMsMixerSystem& system;
    const uint32_t deviceIndex;
    HMIXER handle = nullptr;
    MMRESULT lastResult = MMR_NOERROR;
    MIXERCAPS caps{};
    bool capsStale = true;
    std::vector<std::unique_ptr<tMsMixerLine>> destinations;
};

class tMsMixerLine {
public:
    // A destination line (isSource false) or source `sourceIndex` of
    // destination `destIndex`. The record is not fetched here.
    tMsMixerLine(tMsMixer& mixer, uint32_t destIndex, bool isSource, uint32_t sourceIndex = 0);
    ~tMsMixerLine();
    tMsMixerLine(const tMsMixerLine&) = delete;
    tMsMixerLine& operator=(const tMsMixerLine&) = delete;

    // The line record, fetched first while it is stale. Until a fetch
    // succeeds only the size field and the line's indexes are set.
    const MIXERLINE& getLineInfo();

    // Destination lines only: empties the source list and creates the source
    // lines from the highest source index down to 0, fetching each record at
    // once (a source whose fetch failed stays stale). This line's lastResult
    // takes the result of each fetch.
    void enumSources();
    uint32_t getSourceCount() const { return isSource ? 0 : uint32_t(sources.size()); }
    // Null for a source line or an index not below the count.
    tMsMixerLine* getSource(uint32_t index) const;

    // Empties the control list and, when the line has controls, fetches them
    // all in one query and creates one tMsMixerControl per record, in the
    // returned order. A line without controls makes no call.
    void enumControls();
    uint32_t getControlCount() const { return uint32_t(controls.size()); }
    tMsMixerControl* getControl(uint32_t index) const;

    tMsMixer& getMixer() const { return mixer; }
    bool getIsSource() const { return isSource; }
    bool isInfoStale() const { return infoStale; }
    MMRESULT getLastResult() const { return lastResult; }

private:
    friend class tMsMixerControl;
    MMRESULT fetchInfo();

    tMsMixer& mixer;
    MIXERLINE info{};
    bool infoStale = true;
    MMRESULT lastResult = MMR_NOERROR;
    const bool isSource;
    std::vector<std::unique_ptr<tMsMixerLine>> sources; // destination lines only
    std::vector<std::unique_ptr<tMsMixerControl>> controls;
};

class tMsMixerControl {
public:
    tMsMixerControl(tMsMixerLine& line, const MIXERCONTROL& info);
    ~tMsMixerControl();
    tMsMixerControl(const tMsMixerControl&) = delete;
    tMsMixerControl& operator=(const tMsMixerControl&) = delete;

    const MIXERCONTROL& getControlInfo() const { return info; }
    bool isCustom() const { return info.dwControlType == MIXERCONTROL_CONTROLTYPE_CUSTOM; }
    bool isMultiple() const { return (info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0; }
    bool isUniform() const { return (info.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) != 0; }

    // The details record with its value buffer, fetched first while stale.
    // The buffer is zero-filled whenever it is sized, so values that could not
    // be read read as 0. List controls also get their item names.
    const MIXERCONTROLDETAILS& getDetails();

    // The 32-bit value of (channel, item): index item + channel x items for a
    // multiple-item control, else channel. False for a value outside the
    // buffer.
    bool getBoolValue(uint8_t channel, uint32_t item);
    // Stores -1 (true) or 0 at the same index and applies the details at once.
    // An index outside the buffer changes nothing and sets lastResult to
    // MMR_INVALPARAM.
    void setBoolValue(uint8_t channel, uint32_t item, bool flag);
    // Sends the cached values to the device; the cache is kept as it is.
    void applyDetails();

    // Item names of a list control, channels x items in buffer order, and
    // beside each the item's first parameter (for a MUX: the line identifier
    // of the source the item selects). Filled by the values fetch.
    const std::vector<std::string>& getListTexts() const { return listTexts; }
    const std::vector<uint32_t>& getListParams() const { return listParams; }
    // The item of a list control that stands for a source line: the item
    // whose parameter is the line's identifier, else the first item with the
    // line's name; -1 when none does. The source enumeration runs from the
    // highest source index down while a MUX lists its items in its own order,
    // so position and item number must not be taken for one another.
    int findListItem(tMsMixerLine& source);
    tMsMixerLine& getLine() const { return line; }
    bool isDetailsStale() const { return detailsStale; }
    MMRESULT getLastResult() const { return lastResult; }

private:
    void fetchDetails();
    // Sizes the buffer to `bytes`, zero-filled, and points the details at it.
    void sizeBuffer(size_t bytes);
    // Byte offset of a value, or -1 when it lies outside the buffer.
    long valueOffset(uint8_t channel, uint32_t item) const;

    tMsMixerLine& line;
    const MIXERCONTROL info;
    MIXERCONTROLDETAILS details{};
    std::vector<uint8_t> buffer; // what details.paDetails points to
    bool detailsStale = true;
    MMRESULT lastResult = MMR_NOERROR;
    std::vector<std::string> listTexts;
    std::vector<uint32_t> listParams;
};

// Element size of one value of a control type: 4 for every standard type,
// 0 for types this system does not know (custom controls use their metrics).
uint32_t mixerValueSize(uint32_t controlType);
// Whether the type's items have names (the list types and the equalizer).
bool mixerHasListTexts(uint32_t controlType);
