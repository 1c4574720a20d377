#include "FakeMixerService.h"

#include <algorithm>
#include <cstring>

namespace {

bool isListType(uint32_t type) {
    return (type & 0xF0000000u) == 0x70000000u;
}

uint32_t itemsOf(const MixerControlModel& c) {
    return (c.info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? c.info.cMultipleItems : 1;
}

} // namespace

void FakeMixerService::addDevice(MixerDeviceModel model) {
    Device d;
    d.model = std::move(model);
    auto init = [&](const MixerLineModel& line) {
        for (const auto& c : line.controls) {
            const uint32_t items = itemsOf(c);
            std::vector<int32_t> v(size_t(c.channels) * items, 0);
            if (isListType(c.info.dwControlType)) {
                for (uint32_t ch = 0; ch < c.channels; ++ch)
                    v[size_t(ch) * items] = 1;
            }
            d.values[c.info.dwControlID] = v;
        }
    };
    for (const auto& dest : d.model.destinations) {
        init(dest.line);
        for (const auto& s : dest.sources)
            init(s);
    }
    devices_.push_back(std::move(d));
}

size_t FakeMixerService::count(const std::string& name) const {
    return size_t(
        std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
}

MMRESULT FakeMixerService::resolve(const MixerObject& mixer, const char* call, uint32_t* index) {
    if (mixer.handle) {
        auto it = handles_.find(mixer.handle);
        if (it == handles_.end())
            return MMR_INVALHANDLE;
        *index = it->second->device;
    } else {
        *index = mixer.deviceIndex;
    }
    calls.push_back({call, *index});
    return *index < devices_.size() ? MMR_NOERROR : MMR_BADDEVICEID;
}

const MixerControlModel* FakeMixerService::findControl(uint32_t device, uint32_t id) const {
    for (const auto& d : devices_[device].model.destinations) {
        for (const auto& c : d.line.controls) {
            if (c.info.dwControlID == id)
                return &c;
        }
        for (const auto& s : d.sources) {
            for (const auto& c : s.controls) {
                if (c.info.dwControlID == id)
                    return &c;
            }
        }
    }
    return nullptr;
}

void FakeMixerService::notify(uint32_t device, uint32_t controlId) {
    std::vector<std::pair<HMIXER, MixerChangeCallback>> targets;
    for (auto& [h, handle] : handles_) {
        if (handle->device == device && handle->onChange)
            targets.emplace_back(h, handle->onChange);
    }
    for (auto& [h, cb] : targets)
        cb(h, controlId);
}

void FakeMixerService::changeFromOutside(uint32_t device, uint32_t controlId,
                                         std::vector<int32_t> values) {
    devices_.at(device).values[controlId] = std::move(values);
    notify(device, controlId);
}

uint32_t FakeMixerService::getNumDevs() {
    calls.push_back({"getNumDevs", 0});
    return uint32_t(devices_.size());
}

MMRESULT FakeMixerService::getDevCaps(MixerObject mixer, MIXERCAPS* caps) {
    uint32_t index;
    if (MMRESULT r = resolve(mixer, "getDevCaps", &index))
        return r;
    if (devices_[index].failCaps)
        return MMR_NODRIVER;
    *caps = devices_[index].model.caps;
    return MMR_NOERROR;
}

MMRESULT FakeMixerService::open(HMIXER* handle, uint32_t deviceIndex,
                                MixerChangeCallback onChange) {
    calls.push_back({"open", deviceIndex});
    if (deviceIndex >= devices_.size())
        return MMR_BADDEVICEID;
    if (devices_[deviceIndex].failOpen)
        return MMR_ALLOCATED;
    auto h = std::make_unique<Handle>(Handle{deviceIndex, std::move(onChange)});
    // Never dereferenced: the handle value only names the entry.
    HMIXER key = reinterpret_cast<HMIXER>(h.get());
    handles_[key] = std::move(h);
    *handle = key;
    return MMR_NOERROR;
}

MMRESULT FakeMixerService::close(HMIXER handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return MMR_INVALHANDLE;
    calls.push_back({"close", it->second->device});
    handles_.erase(it);
    return MMR_NOERROR;
}

MMRESULT FakeMixerService::getLineInfo(MixerObject mixer, MIXERLINE* line, uint32_t flags) {
    uint32_t index;
    if (MMRESULT r = resolve(mixer, "getLineInfo", &index))
        return r;
    if (!line || line->cbStruct < sizeof(MIXERLINE))
        return MMR_INVALPARAM;
    const auto& m = devices_[index].model;
    const MixerLineModel* found = nullptr;
    int64_t source = -1;
    if (flags == MIXER_GETLINEINFOF_DESTINATION) {
        if (line->dwDestination < m.destinations.size())
            found = &m.destinations[line->dwDestination].line;
    } else if (flags == MIXER_GETLINEINFOF_SOURCE) {
        source = line->dwSource;
        if (line->dwDestination < m.destinations.size() &&
            line->dwSource < m.destinations[line->dwDestination].sources.size())
            found = &m.destinations[line->dwDestination].sources[line->dwSource];
    } else {
        return MMR_INVALFLAG;
    }
    if (failLines.count({line->dwDestination, source})) {
        // A failing driver may leave rubbish behind.
        std::memset(reinterpret_cast<char*>(line) + 4, 0x5A, sizeof(MIXERLINE) - 4);
        return MMR_ERROR;
    }
    if (!found)
        return MMR_MIXER_INVALLINE;
    *line = found->info;
    return MMR_NOERROR;
}

MMRESULT FakeMixerService::getLineControls(MixerObject mixer, MIXERLINECONTROLS* request,
                                           uint32_t flags) {
    uint32_t index;
    if (MMRESULT r = resolve(mixer, "getLineControls", &index))
        return r;
    if (!request || !request->pamxctrl || request->cbmxctrl < sizeof(MIXERCONTROL) ||
        flags != MIXER_GETLINECONTROLSF_ALL)
        return MMR_INVALPARAM;
    if (failControlsOfLine.count(request->dwLineID))
        return MMR_ERROR;
    for (const auto& d : devices_[index].model.destinations) {
        std::vector<const MixerLineModel*> lines{&d.line};
        for (const auto& s : d.sources)
            lines.push_back(&s);
        for (const MixerLineModel* l : lines) {
            if (l->info.dwLineID != request->dwLineID)
                continue;
            if (request->cControls != l->controls.size() || l->controls.empty())
                return MMR_INVALPARAM;
            for (size_t i = 0; i < l->controls.size(); ++i)
                request->pamxctrl[i] = l->controls[i].info;
            return MMR_NOERROR;
        }
    }
    return MMR_MIXER_INVALLINE;
}

MMRESULT FakeMixerService::getControlDetails(MixerObject mixer, MIXERCONTROLDETAILS* details,
                                             uint32_t flags) {
    uint32_t index;
    if (MMRESULT r = resolve(
            mixer, flags == MIXER_GETCONTROLDETAILSF_LISTTEXT ? "getListTexts" : "getValues",
            &index))
        return r;
    const MixerControlModel* c = findControl(index, details->dwControlID);
    if (!c)
        return MMR_MIXER_INVALCONTROL;
    char* out = static_cast<char*>(details->paDetails);
    if (c->info.dwControlType == MIXERCONTROL_CONTROLTYPE_CUSTOM) {
        // Custom data: one block of the control's custom-data size.
        if (details->cChannels != 0 || details->cbDetails != c->info.Metrics.cbCustomData || !out)
            return MMR_INVALPARAM;
        std::memset(out, 0x7F, details->cbDetails);
        return MMR_NOERROR;
    }
    const uint32_t items = itemsOf(*c);
    const bool multiple = (c->info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
    if ((multiple && details->cMultipleItems != items) ||
        (details->cChannels != 1 && details->cChannels != c->channels) || !out)
        return MMR_INVALPARAM;
    if (flags == MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        if (!isListType(c->info.dwControlType) ||
            details->cbDetails < sizeof(MIXERCONTROLDETAILS_LISTTEXT))
            return MMR_INVALPARAM;
        for (uint32_t ch = 0; ch < details->cChannels; ++ch) {
            for (uint32_t i = 0; i < items; ++i) {
                MIXERCONTROLDETAILS_LISTTEXT e{};
                e.dwParam1 = c->itemParam1 + i;
                copyName(e.szName, i < c->items.size() ? c->items[i] : std::string());
                std::memcpy(out + size_t(ch * items + i) * details->cbDetails, &e, sizeof(e));
            }
        }
        return MMR_NOERROR;
    }
    if (details->cbDetails < 4)
        return MMR_INVALPARAM;
    if (failGetValues.count(c->info.dwControlID))
        return MMR_ERROR;
    const auto& v = devices_[index].values[c->info.dwControlID];
    for (uint32_t ch = 0; ch < details->cChannels; ++ch) {
        for (uint32_t i = 0; i < items; ++i)
            std::memcpy(out + size_t(ch * items + i) * details->cbDetails,
                        &v[size_t(ch) * items + i], 4);
    }
    return MMR_NOERROR;
}

MMRESULT FakeMixerService::setControlDetails(MixerObject mixer, const MIXERCONTROLDETAILS* details,
                                             uint32_t flags) {
    uint32_t index;
    if (MMRESULT r = resolve(mixer, "setValues", &index))
        return r;
    if (flags != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMR_INVALFLAG;
    const MixerControlModel* c = findControl(index, details->dwControlID);
    if (!c)
        return MMR_MIXER_INVALCONTROL;
    const uint32_t items = itemsOf(*c);
    const bool multiple = (c->info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
    if ((multiple && details->cMultipleItems != items) ||
        (details->cChannels != 1 && details->cChannels != c->channels) || !details->paDetails ||
        details->cbDetails < 4)
        return MMR_INVALPARAM;
    if (failSetValues.count(c->info.dwControlID))
        return MMR_ERROR;
    const char* in = static_cast<const char*>(details->paDetails);
    std::vector<int32_t> sent(size_t(details->cChannels) * items);
    for (size_t i = 0; i < sent.size(); ++i)
        std::memcpy(&sent[i], in + i * details->cbDetails, 4);
    std::vector<int32_t> values(size_t(c->channels) * items);
    for (uint32_t ch = 0; ch < c->channels; ++ch) {
        const uint32_t from = details->cChannels == 1 ? 0 : ch;
        for (uint32_t i = 0; i < items; ++i)
            values[size_t(ch) * items + i] = sent[size_t(from) * items + i];
    }
    const uint32_t type = c->info.dwControlType;
    const bool boolean = (type & 0xF0000000u) == 0x20000000u || isListType(type);
    for (int32_t& v : values) {
        if (boolean)
            v = v != 0 ? 1 : 0;
        else if (uint32_t(v) < c->info.Bounds.dwMinimum || uint32_t(v) > c->info.Bounds.dwMaximum)
            return MMR_MIXER_INVALVALUE;
    }
    if (type == MIXERCONTROL_CONTROLTYPE_MUX) {
        for (uint32_t ch = 0; ch < c->channels; ++ch) {
            auto begin = values.begin() + long(ch * items);
            if (std::count(begin, begin + long(items), 1) != 1)
                return MMR_MIXER_INVALVALUE;
        }
    }
    lastWritten[c->info.dwControlID] = sent;
    devices_[index].values[c->info.dwControlID] = values;
    notify(index, c->info.dwControlID);
    return MMR_NOERROR;
}

// ---- MixerModelBuilder ----

MixerModelBuilder::MixerModelBuilder(const std::string& product) {
    copyName(model_.caps.szPname, product);
    model_.caps.vDriverVersion = 0x0100;
}

uint32_t MixerModelBuilder::destination(const std::string& name, uint32_t componentType,
                                        uint32_t channels) {
    MixerDestinationModel d;
    const uint32_t index = uint32_t(model_.destinations.size());
    d.line.info.cbStruct = sizeof(MIXERLINE);
    d.line.info.dwDestination = index;
    d.line.info.dwLineID = 0xFFFF0000u | index;
    d.line.info.dwComponentType = componentType;
    d.line.info.cChannels = channels;
    copyName(d.line.info.szShortName, name);
    copyName(d.line.info.szName, name);
    model_.destinations.push_back(std::move(d));
    return index;
}

uint32_t MixerModelBuilder::source(uint32_t dest, const std::string& name, uint32_t channels) {
    auto& d = model_.destinations.at(dest);
    MixerLineModel s;
    const uint32_t index = uint32_t(d.sources.size());
    s.info.cbStruct = sizeof(MIXERLINE);
    s.info.dwDestination = dest;
    s.info.dwSource = index;
    s.info.dwLineID = dest << 16 | index;
    s.info.fdwLine = MIXERLINE_LINEF_SOURCE;
    s.info.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_LINE;
    s.info.cChannels = channels;
    copyName(s.info.szShortName, name);
    copyName(s.info.szName, name);
    d.sources.push_back(std::move(s));
    return index;
}

MixerLineModel& MixerModelBuilder::line(uint32_t dest, int source) {
    auto& d = model_.destinations.at(dest);
    return source < 0 ? d.line : d.sources.at(size_t(source));
}

uint32_t MixerModelBuilder::control(uint32_t dest, int source, uint32_t type, uint32_t channels,
                                    std::vector<std::string> items) {
    MixerControlModel c;
    c.info.cbStruct = sizeof(MIXERCONTROL);
    c.info.dwControlID = nextId_++;
    c.info.dwControlType = type;
    c.info.Bounds.dwMaximum = type == MIXERCONTROL_CONTROLTYPE_VOLUME ? 65535 : 1;
    c.channels = channels;
    if (channels == 1)
        c.info.fdwControl |= MIXERCONTROL_CONTROLF_UNIFORM;
    if (!items.empty()) {
        c.info.fdwControl |= MIXERCONTROL_CONTROLF_MULTIPLE;
        c.info.cMultipleItems = uint32_t(items.size());
        c.items = std::move(items);
    }
    auto& l = line(dest, source);
    l.controls.push_back(std::move(c));
    last_ = &l.controls.back();
    return last_->info.dwControlID;
}

MixerDeviceModel MixerModelBuilder::build() {
    for (auto& d : model_.destinations) {
        d.line.info.cConnections = uint32_t(d.sources.size());
        d.line.info.cControls = uint32_t(d.line.controls.size());
        for (auto& s : d.sources)
            s.info.cControls = uint32_t(s.controls.size());
    }
    model_.caps.cDestinations = uint32_t(model_.destinations.size());
    last_ = nullptr;
    return model_;
}
