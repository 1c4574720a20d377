// The mixer service's calls over a backend's device model: line and control
// lookup, record copies, value checks and change notifications.
#include "platform/audio/Backends.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

class MixerHandle {
public:
    AudioBackend backend;
    uint32_t index;
    std::shared_ptr<MixerDeviceBackend> device;
    MixerChangeCallback onChange;
};

namespace {

std::mutex g_mutex;
std::set<MixerHandle*> g_handles; // open handles, guarded by g_mutex

MixerBackend& backendOf(AudioBackend b) {
    return backendTable(b).mixer();
}

struct Target {
    AudioBackend backend = AudioBackend::Alsa;
    uint32_t index = 0;
    std::shared_ptr<MixerDeviceBackend> device;
    std::shared_ptr<const MixerDeviceModel> model; // the snapshot this call works on
};

// Resolves an index or a handle to its device.
MMRESULT resolve(const MixerObject& obj, Target& t) {
    if (obj.handle) {
        std::lock_guard lock(g_mutex);
        if (!g_handles.count(obj.handle))
            return MMR_INVALHANDLE;
        t.backend = obj.handle->backend;
        t.index = obj.handle->index;
        t.device = obj.handle->device;
        t.model = t.device->model();
        return MMR_NOERROR;
    }
    t.backend = audioBackend();
    t.index = obj.deviceIndex;
    MixerBackend& b = backendOf(t.backend);
    if (obj.deviceIndex >= b.count())
        return MMR_BADDEVICEID;
    t.device = b.device(obj.deviceIndex);
    if (!t.device)
        return MMR_BADDEVICEID;
    t.model = t.device->model();
    return MMR_NOERROR;
}

const MixerLineModel* findLineById(const MixerDeviceModel& m, uint32_t lineId) {
    for (const auto& d : m.destinations) {
        if (d.line.info.dwLineID == lineId)
            return &d.line;
        for (const auto& s : d.sources) {
            if (s.info.dwLineID == lineId)
                return &s;
        }
    }
    return nullptr;
}

const MixerControlModel* findControl(const MixerDeviceModel& m, uint32_t controlId,
                                     const MixerLineModel** owner = nullptr) {
    auto search = [&](const MixerLineModel& line) -> const MixerControlModel* {
        for (const auto& c : line.controls) {
            if (c.info.dwControlID == controlId) {
                if (owner)
                    *owner = &line;
                return &c;
            }
        }
        return nullptr;
    };
    for (const auto& d : m.destinations) {
        if (auto c = search(d.line))
            return c;
        for (const auto& s : d.sources) {
            if (auto c = search(s))
                return c;
        }
    }
    return nullptr;
}

void notify(AudioBackend backend, uint32_t index, uint32_t controlId) {
    std::vector<std::pair<HMIXER, MixerChangeCallback>> targets;
    {
        std::lock_guard lock(g_mutex);
        for (MixerHandle* h : g_handles) {
            if (h->backend == backend && h->index == index && h->onChange)
                targets.emplace_back(h, h->onChange);
        }
    }
    for (auto& [h, cb] : targets)
        cb(h, controlId);
}

bool isListType(uint32_t type) {
    return (type & 0xF0000000u) == 0x70000000u;
}

} // namespace

uint32_t mixerGetNumDevs() {
    return backendOf(audioBackend()).count();
}

MMRESULT mixerGetDevCapsA(MixerObject mixer, MIXERCAPS* caps) {
    if (!caps)
        return MMR_INVALPARAM;
    Target t;
    if (MMRESULT r = resolve(mixer, t))
        return r;
    *caps = t.model->caps;
    return MMR_NOERROR;
}

MMRESULT mixerOpen(HMIXER* handle, uint32_t deviceIndex, MixerChangeCallback onChange) {
    if (!handle)
        return MMR_INVALPARAM;
    Target t;
    if (MMRESULT r = resolve(MixerObject(deviceIndex), t))
        return r;
    auto* h = new MixerHandle{t.backend, t.index, t.device, std::move(onChange)};
    std::lock_guard lock(g_mutex);
    g_handles.insert(h);
    *handle = h;
    return MMR_NOERROR;
}

MMRESULT mixerClose(HMIXER handle) {
    {
        std::lock_guard lock(g_mutex);
        if (!handle || !g_handles.erase(handle))
            return MMR_INVALHANDLE;
    }
    delete handle;
    return MMR_NOERROR;
}

MMRESULT mixerGetLineInfoA(MixerObject mixer, MIXERLINE* line, uint32_t flags) {
    if (!line || line->cbStruct < sizeof(MIXERLINE))
        return MMR_INVALPARAM;
    Target t;
    if (MMRESULT r = resolve(mixer, t))
        return r;
    const MixerDeviceModel& m = *t.model;
    const MixerLineModel* found = nullptr;
    switch (flags) {
    case MIXER_GETLINEINFOF_DESTINATION:
        if (line->dwDestination < m.destinations.size())
            found = &m.destinations[line->dwDestination].line;
        break;
    case MIXER_GETLINEINFOF_SOURCE:
        if (line->dwDestination < m.destinations.size() &&
            line->dwSource < m.destinations[line->dwDestination].sources.size())
            found = &m.destinations[line->dwDestination].sources[line->dwSource];
        break;
    case MIXER_GETLINEINFOF_LINEID:
        found = findLineById(m, line->dwLineID);
        break;
    case MIXER_GETLINEINFOF_COMPONENTTYPE:
        for (const auto& d : m.destinations) {
            if (!found && d.line.info.dwComponentType == line->dwComponentType)
                found = &d.line;
            for (const auto& s : d.sources) {
                if (!found && s.info.dwComponentType == line->dwComponentType)
                    found = &s;
            }
        }
        break;
    default:
        return MMR_INVALFLAG;
    }
    if (!found)
        return MMR_MIXER_INVALLINE;
    *line = found->info;
    return MMR_NOERROR;
}

MMRESULT mixerGetLineControlsA(MixerObject mixer, MIXERLINECONTROLS* request, uint32_t flags) {
    if (!request || !request->pamxctrl || request->cbmxctrl < sizeof(MIXERCONTROL))
        return MMR_INVALPARAM;
    Target t;
    if (MMRESULT r = resolve(mixer, t))
        return r;
    const MixerDeviceModel& m = *t.model;
    auto put = [&](uint32_t i, const MixerControlModel& c) {
        auto* dst = reinterpret_cast<MIXERCONTROL*>(reinterpret_cast<char*>(request->pamxctrl) +
                                                    size_t(i) * request->cbmxctrl);
        *dst = c.info;
    };
    if (flags == MIXER_GETLINECONTROLSF_ONEBYID) {
        const MixerLineModel* owner = nullptr;
        const MixerControlModel* c = findControl(m, request->dwControlID, &owner);
        if (!c)
            return MMR_MIXER_INVALCONTROL;
        request->dwLineID = owner->info.dwLineID;
        put(0, *c);
        return MMR_NOERROR;
    }
    const MixerLineModel* line = findLineById(m, request->dwLineID);
    if (!line)
        return MMR_MIXER_INVALLINE;
    if (flags == MIXER_GETLINECONTROLSF_ALL) {
        if (request->cControls != line->controls.size() || line->controls.empty())
            return MMR_INVALPARAM;
        for (uint32_t i = 0; i < line->controls.size(); ++i)
            put(i, line->controls[i]);
        return MMR_NOERROR;
    }
    if (flags == MIXER_GETLINECONTROLSF_ONEBYTYPE) {
        for (const auto& c : line->controls) {
            if (c.info.dwControlType == request->dwControlType) {
                put(0, c);
                return MMR_NOERROR;
            }
        }
        return MMR_MIXER_INVALCONTROL;
    }
    return MMR_INVALFLAG;
}

namespace {

// Checks a details record against a control and returns its item count.
MMRESULT checkDetails(const MIXERCONTROLDETAILS* d, const MixerControlModel& c,
                      uint32_t elementSize, uint32_t* items) {
    if (d->cbDetails < elementSize || !d->paDetails)
        return MMR_INVALPARAM;
    const bool multiple = (c.info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
    *items = multiple ? c.info.cMultipleItems : 1;
    if (multiple && d->cMultipleItems != c.info.cMultipleItems)
        return MMR_INVALPARAM;
    if (d->cChannels != 1 && d->cChannels != c.channels)
        return MMR_INVALPARAM;
    return MMR_NOERROR;
}

} // namespace

MMRESULT mixerGetControlDetailsA(MixerObject mixer, MIXERCONTROLDETAILS* details, uint32_t flags) {
    if (!details)
        return MMR_INVALPARAM;
    Target t;
    if (MMRESULT r = resolve(mixer, t))
        return r;
    const MixerControlModel* c = findControl(*t.model, details->dwControlID);
    if (!c)
        return MMR_MIXER_INVALCONTROL;
    uint32_t items = 1;
    char* out = static_cast<char*>(details->paDetails);
    if (flags == MIXER_GETCONTROLDETAILSF_LISTTEXT) {
        if (!isListType(c->info.dwControlType))
            return MMR_MIXER_INVALCONTROL;
        if (MMRESULT r = checkDetails(details, *c, sizeof(MIXERCONTROLDETAILS_LISTTEXT), &items))
            return r;
        for (uint32_t ch = 0; ch < details->cChannels; ++ch) {
            for (uint32_t i = 0; i < items; ++i) {
                auto* e = reinterpret_cast<MIXERCONTROLDETAILS_LISTTEXT*>(
                    out + size_t(ch * items + i) * details->cbDetails);
                e->dwParam1 = i < c->items.size() ? c->itemParam1 + i : 0;
                e->dwParam2 = 0;
                copyName(e->szName, i < c->items.size() ? c->items[i] : std::string());
            }
        }
        return MMR_NOERROR;
    }
    if (flags != MIXER_GETCONTROLDETAILSF_VALUE)
        return MMR_INVALFLAG;
    if (MMRESULT r = checkDetails(details, *c, 4, &items))
        return r;
    std::vector<int32_t> values;
    if (MMRESULT r = t.device->getValues(*c, values))
        return r;
    for (uint32_t ch = 0; ch < details->cChannels; ++ch) {
        for (uint32_t i = 0; i < items; ++i) {
            int32_t v = values[size_t(ch) * items + i];
            std::memcpy(out + size_t(ch * items + i) * details->cbDetails, &v, 4);
        }
    }
    return MMR_NOERROR;
}

MMRESULT mixerSetControlDetails(MixerObject mixer, const MIXERCONTROLDETAILS* details,
                                uint32_t flags) {
    if (!details)
        return MMR_INVALPARAM;
    if (flags != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMR_INVALFLAG;
    Target t;
    if (MMRESULT r = resolve(mixer, t))
        return r;
    const MixerControlModel* c = findControl(*t.model, details->dwControlID);
    if (!c)
        return MMR_MIXER_INVALCONTROL;
    if (c->info.dwControlType == MIXERCONTROL_CONTROLTYPE_PEAKMETER)
        return MMR_NOTSUPPORTED; // a meter is read only
    uint32_t items = 1;
    if (MMRESULT r = checkDetails(details, *c, 4, &items))
        return r;
    const char* in = static_cast<const char*>(details->paDetails);
    std::vector<int32_t> values(size_t(c->channels) * items);
    for (uint32_t ch = 0; ch < c->channels; ++ch) {
        // One channel given for a many-channel control sets every channel.
        uint32_t from = details->cChannels == 1 ? 0 : ch;
        for (uint32_t i = 0; i < items; ++i)
            std::memcpy(&values[size_t(ch) * items + i],
                        in + size_t(from * items + i) * details->cbDetails, 4);
    }
    const uint32_t type = c->info.dwControlType;
    const bool boolean = (type & 0xF0000000u) == 0x20000000u || isListType(type);
    for (int32_t& v : values) {
        if (boolean) {
            v = v != 0 ? 1 : 0;
        } else if (uint32_t(v) < c->info.Bounds.dwMinimum ||
                   uint32_t(v) > c->info.Bounds.dwMaximum) {
            return MMR_MIXER_INVALVALUE;
        }
    }
    if (type == MIXERCONTROL_CONTROLTYPE_MUX || type == MIXERCONTROL_CONTROLTYPE_SINGLESELECT) {
        for (uint32_t ch = 0; ch < c->channels; ++ch) {
            auto begin = values.begin() + long(ch * items);
            if (std::count(begin, begin + long(items), 1) != 1)
                return MMR_MIXER_INVALVALUE;
        }
    }
    if (MMRESULT r = t.device->setValues(*c, values))
        return r;
    notify(t.backend, t.index, c->info.dwControlID);
    return MMR_NOERROR;
}

void mixerNotifyChange(AudioBackend backend, uint32_t deviceIndex, uint32_t controlId) {
    notify(backend, deviceIndex, controlId);
}

MMRESULT mixerGetWaveInDevice(MixerObject mixer, int* waveInDeviceId) {
    if (!waveInDeviceId)
        return MMR_INVALPARAM;
    Target t;
    if (MMRESULT r = resolve(mixer, t))
        return r;
    for (const auto& d : t.model->destinations) {
        const MIXERLINE& line = d.line.info;
        if (line.dwComponentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
            continue;
        *waveInDeviceId =
            line.Target.dwType == MIXERLINE_TARGETTYPE_WAVEIN ? int(line.Target.dwDeviceID) : -1;
        return MMR_NOERROR;
    }
    return MMR_MIXER_INVALLINE;
}

std::string mixerGetDeviceName(MixerObject mixer) {
    Target t;
    if (resolve(mixer, t) != MMR_NOERROR)
        return {};
    return t.model->name.empty() ? std::string(t.model->caps.szPname) : t.model->name;
}
