// The mixer object view: lazy fetching of capabilities, lines, controls and
// control values through the mixer service.
#include "mixer/tMsMixer.h"

#include <algorithm>
#include <cstring>

namespace {

// Control types whose values are one 32-bit element each.
constexpr uint32_t kStandardTypes[] = {
    0x10010000, // boolean meter
    0x10020000, // signed meter
    0x10020001, // peak meter
    0x10030000, // unsigned meter
    0x20010000, // boolean
    0x20010001, // on/off
    0x20010002, // mute
    0x20010003, // mono
    0x20010004, // loudness
    0x20010005, // stereo enhancement
    0x21010000, // button
    0x30020000, // signed
    0x30030000, // unsigned
    0x30040000, // decibels
    0x30050000, // percent
    0x40020000, // slider
    0x40020001, // pan
    0x40020002, // QSound pan
    0x50030000, // fader
    0x50030001, // volume
    0x50030002, // bass
    0x50030003, // treble
    0x50030004, // equalizer
    0x60030000, // microseconds
    0x61030000, // milliseconds
    0x70010000, // single select
    0x70010001, // MUX
    0x71010000, // multiple select
    0x71010001, // mixer
};

constexpr uint32_t kListTextTypes[] = {
    MIXERCONTROL_CONTROLTYPE_EQUALIZER, MIXERCONTROL_CONTROLTYPE_SINGLESELECT,
    MIXERCONTROL_CONTROLTYPE_MUX, MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT,
    MIXERCONTROL_CONTROLTYPE_MIXER};

// A fixed character field as text (up to its first zero).
std::string fieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

} // namespace

uint32_t mixerValueSize(uint32_t controlType) {
    for (uint32_t t : kStandardTypes) {
        if (t == controlType)
            return 4;
    }
    return 0;
}

bool mixerHasListTexts(uint32_t controlType) {
    for (uint32_t t : kListTextTypes) {
        if (t == controlType)
            return true;
    }
    return false;
}

// ---- tMsMixerSystem ----

tMsMixerSystem::tMsMixerSystem(MixerService& service) : service_(service) {
    enumMixers();
}

tMsMixerSystem::~tMsMixerSystem() = default;

void tMsMixerSystem::enumMixers() {
    mixers.clear();
    const uint32_t count = service_.getNumDevs();
    for (uint32_t k = 0; k < count; ++k)
        mixers.push_back(std::make_unique<tMsMixer>(*this, k));
}

tMsMixer* tMsMixerSystem::getMixer(uint32_t index) const {
    return index < mixers.size() ? mixers[index].get() : nullptr;
}

// ---- tMsMixer ----

tMsMixer::tMsMixer(tMsMixerSystem& system, uint32_t deviceIndex)
    : system(system), deviceIndex(deviceIndex) {}

tMsMixer::~tMsMixer() {
    // Children first: they refer to this object.
    destinations.clear();
    if (handle)
        tMsMixer::close();
}

const MIXERCAPS& tMsMixer::getCaps() {
    if (capsStale) {
        MIXERCAPS fetched{};
        lastResult = handle ? service().getDevCaps(MixerObject(handle), &fetched)
                            : service().getDevCaps(MixerObject(deviceIndex), &fetched);
        if (lastResult == MMR_NOERROR) {
            caps = fetched;
            capsStale = false;
        } else {
            caps = MIXERCAPS{};
        }
    }
    return caps;
}

void tMsMixer::enumDestinations() {
    destinations.clear();
    const uint32_t count = getCaps().cDestinations;
    for (uint32_t d = 0; d < count; ++d)
        destinations.push_back(std::make_unique<tMsMixerLine>(*this, d, false));
}

tMsMixerLine* tMsMixer::getDestination(uint32_t index) const {
    return index < destinations.size() ? destinations[index].get() : nullptr;
}

bool tMsMixer::open() {
    if (handle)
        return true; // already open: keep the one handle we own
    HMIXER opened = nullptr;
    lastResult = service().open(&opened, deviceIndex, {});
    if (lastResult == MMR_NOERROR && opened) {
        handle = opened;
        capsStale = true;
    }
    return handle != nullptr;
}

void tMsMixer::close() {
    if (!handle)
        return;
    lastResult = service().close(handle);
    handle = nullptr;
}

void tMsMixer::setActive(bool active) {
    if (active == isActive())
        return;
    if (active)
        open();
    else
        close();
}

// ---- tMsMixerLine ----

tMsMixerLine::tMsMixerLine(tMsMixer& mixer, uint32_t destIndex, bool isSource, uint32_t sourceIndex)
    : mixer(mixer), isSource(isSource) {
    info.cbStruct = sizeof(MIXERLINE);
    info.dwDestination = destIndex;
    if (isSource)
        info.dwSource = sourceIndex;
}

tMsMixerLine::~tMsMixerLine() = default;

MMRESULT tMsMixerLine::fetchInfo() {
    // Query into a copy, so that a failed query leaves the record as it was.
    MIXERLINE fetched{};
    fetched.cbStruct = sizeof(MIXERLINE);
    fetched.dwDestination = info.dwDestination;
    fetched.dwSource = info.dwSource;
    const MMRESULT r = mixer.service().getLineInfo(MixerObject(mixer.getDeviceIndex()), &fetched,
                                                   isSource ? MIXER_GETLINEINFOF_SOURCE
                                                            : MIXER_GETLINEINFOF_DESTINATION);
    lastResult = r;
    if (r == MMR_NOERROR) {
        info = fetched;
        info.cbStruct = sizeof(MIXERLINE);
        infoStale = false;
    }
    return r;
}

const MIXERLINE& tMsMixerLine::getLineInfo() {
    if (infoStale)
        fetchInfo();
    return info;
}

void tMsMixerLine::enumSources() {
    if (isSource)
        return;
    sources.clear();
    const uint32_t n = getLineInfo().cConnections;
    for (uint32_t s = n; s-- > 0;) {
        auto line = std::make_unique<tMsMixerLine>(mixer, info.dwDestination, true, s);
        lastResult = line->fetchInfo();
        sources.push_back(std::move(line));
    }
}

tMsMixerLine* tMsMixerLine::getSource(uint32_t index) const {
    if (isSource || index >= sources.size())
        return nullptr;
    return sources[index].get();
}

void tMsMixerLine::enumControls() {
    controls.clear();
    const MIXERLINE& li = getLineInfo();
    const uint32_t count = li.cControls;
    if (count == 0)
        return;
    std::vector<MIXERCONTROL> records(count);
    MIXERLINECONTROLS request{};
    request.cbStruct = sizeof(MIXERLINECONTROLS);
    request.dwLineID = li.dwLineID;
    request.cControls = count;
    request.cbmxctrl = sizeof(MIXERCONTROL);
    request.pamxctrl = records.data();
    lastResult = mixer.service().getLineControls(MixerObject(mixer.getDeviceIndex()), &request,
                                                 MIXER_GETLINECONTROLSF_ALL);
    if (lastResult != MMR_NOERROR)
        return;
    for (const MIXERCONTROL& record : records)
        controls.push_back(std::make_unique<tMsMixerControl>(*this, record));
}

tMsMixerControl* tMsMixerLine::getControl(uint32_t index) const {
    return index < controls.size() ? controls[index].get() : nullptr;
}

// ---- tMsMixerControl ----

tMsMixerControl::tMsMixerControl(tMsMixerLine& line, const MIXERCONTROL& info)
    : line(line), info(info) {
    details.cbStruct = sizeof(MIXERCONTROLDETAILS);
}

tMsMixerControl::~tMsMixerControl() = default;

void tMsMixerControl::sizeBuffer(size_t bytes) {
    buffer.assign(bytes, 0);
    details.paDetails = buffer.empty() ? nullptr : buffer.data();
}

void tMsMixerControl::fetchDetails() {
    details.dwControlID = info.dwControlID;
    uint32_t channels;
    if (isCustom())
        channels = 0;
    else if (isUniform())
        channels = 1;
    else
        channels = line.getLineInfo().cChannels;
    details.cChannels = channels;
    // For a custom control the field is the notification window, and none is
    // registered.
    details.cMultipleItems = isMultiple() ? info.cMultipleItems : 0;

    const uint32_t items = isMultiple() ? info.cMultipleItems : 1;
    const size_t elements = size_t(channels) * items;
    const MixerObject device(line.getMixer().getDeviceIndex());
    MixerService& service = line.getMixer().service();

    if (mixerHasListTexts(info.dwControlType)) {
        details.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXT);
        sizeBuffer(elements * sizeof(MIXERCONTROLDETAILS_LISTTEXT));
        listTexts.clear();
        listParams.clear();
        lastResult = service.getControlDetails(device, &details, MIXER_GETCONTROLDETAILSF_LISTTEXT);
        if (lastResult == MMR_NOERROR) {
            for (size_t i = 0; i < elements; ++i) {
                MIXERCONTROLDETAILS_LISTTEXT text;
                std::memcpy(&text, buffer.data() + i * sizeof(text), sizeof(text));
                listTexts.push_back(fieldText(text.szName, sizeof(text.szName)));
                listParams.push_back(text.dwParam1);
            }
        }
    }

    if (isCustom()) {
        // A custom control's value is one block of its custom-data size (a
        // buffer sized by its zero channel count would be too small for the
        // data the device writes).
        details.cbDetails = info.Metrics.cbCustomData;
        sizeBuffer(details.cbDetails);
    } else {
        details.cbDetails = mixerValueSize(info.dwControlType);
        sizeBuffer(elements * details.cbDetails);
    }
    lastResult = service.getControlDetails(device, &details, MIXER_GETCONTROLDETAILSF_VALUE);
    if (lastResult == MMR_NOERROR)
        detailsStale = false;
    else
        std::fill(buffer.begin(), buffer.end(), uint8_t(0));
}

const MIXERCONTROLDETAILS& tMsMixerControl::getDetails() {
    if (detailsStale)
        fetchDetails();
    return details;
}

long tMsMixerControl::valueOffset(uint8_t channel, uint32_t item) const {
    const uint64_t index =
        isMultiple() ? uint64_t(item) + uint64_t(channel) * info.cMultipleItems : channel;
    const uint64_t offset = index * 4;
    if (offset + 4 > buffer.size())
        return -1;
    return long(offset);
}

bool tMsMixerControl::getBoolValue(uint8_t channel, uint32_t item) {
    getDetails();
    const long offset = valueOffset(channel, item);
    if (offset < 0)
        return false;
    int32_t value;
    std::memcpy(&value, buffer.data() + offset, 4);
    return value != 0;
}

void tMsMixerControl::setBoolValue(uint8_t channel, uint32_t item, bool flag) {
    getDetails();
    const long offset = valueOffset(channel, item);
    if (offset < 0) {
        lastResult = MMR_INVALPARAM;
        return;
    }
    const int32_t value = flag ? -1 : 0;
    std::memcpy(buffer.data() + offset, &value, 4);
    applyDetails();
}

void tMsMixerControl::applyDetails() {
    lastResult = line.getMixer().service().setControlDetails(
        MixerObject(line.getMixer().getDeviceIndex()), &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

int tMsMixerControl::findListItem(tMsMixerLine& source) {
    getDetails();
    const size_t items = isMultiple() ? info.cMultipleItems : 1;
    const size_t count = std::min(items, listTexts.size());
    const MIXERLINE& li = source.getLineInfo();
    if (source.isInfoStale())
        return -1;
    for (size_t i = 0; i < count; ++i) {
        if (listParams[i] == li.dwLineID)
            return int(i);
    }
    const std::string name = fieldText(li.szName, sizeof(li.szName));
    for (size_t i = 0; i < count; ++i) {
        if (listTexts[i] == name)
            return int(i);
    }
    return -1;
}
