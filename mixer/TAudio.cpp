// The audio component's mixer part: the line table of one open mixer device,
// volume and mute access by (destination, position), and the change
// notification through a message window.
#include "mixer/TAudio.h"

#include <algorithm>
#include <cstring>

namespace {

std::string fieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

} // namespace

// ---- TMixerSettings ----

TMixerSettings::TMixerSettings(TAudio& audio, MixerService& service)
    : audio(audio), service(service) {
    NotifyWindow_ =
        createMessageWindow([this](uint32_t message, uintptr_t wparam, intptr_t lparam) {
            onMessage(message, wparam, lparam);
        });
}

TMixerSettings::~TMixerSettings() {
    // Close first: no notification is posted once the handle is gone, and
    // the window drops whatever is still queued for it.
    closeDevice();
    table_.clear();
    NotifyWindow_.reset();
}

void TMixerSettings::closeDevice() {
    if (handle) {
        service.close(handle);
        handle = nullptr;
    }
}

void TMixerSettings::setError(TAudioError code) {
    audio.errorCode_ = code;
    audio.errorText_ = TAudioErrorText(code);
}

bool TMixerSettings::OpenMixer(uint32_t deviceIndex) {
    closeDevice();
    table_.clear();
    if (service.getNumDevs() == 0)
        return false;

    MIXERCAPS caps{};
    if (service.getDevCaps(MixerObject(deviceIndex), &caps) != MMR_NOERROR)
        caps = MIXERCAPS{};

    MixerChangeCallback onChange;
    if (NotifyWindow_) {
        // Runs on whichever thread changed the value: only posts. The open's
        // serial number tells the handler which open the change belongs to.
        const sv_window_t window = NotifyWindow_->handle();
        const uintptr_t serial = ++openSerial;
        onChange = [window, serial](HMIXER, uint32_t controlId) {
            MessageWindow::post(window, MM_MIXM_CONTROL_CHANGE, serial, intptr_t(controlId));
        };
    }
    HMIXER opened = nullptr;
    if (service.open(&opened, deviceIndex, std::move(onChange)) != MMR_NOERROR || !opened)
        return false;
    handle = opened;

    TMixDetails device;
    device.Name = fieldText(caps.szPname, sizeof(caps.szPname));
    table_.push_back(device);

    for (uint32_t d = 0; d < caps.cDestinations; ++d) {
        MIXERLINE dest{};
        dest.cbStruct = sizeof(MIXERLINE);
        dest.dwDestination = d;
        if (service.getLineInfo(MixerObject(handle), &dest, MIXER_GETLINEINFOF_DESTINATION) !=
            MMR_NOERROR)
            return false;
        appendLine(dest);
        for (uint32_t s = 0; s < dest.cConnections; ++s) {
            MIXERLINE source{};
            source.cbStruct = sizeof(MIXERLINE);
            source.dwDestination = d;
            source.dwSource = s;
            if (service.getLineInfo(MixerObject(handle), &source, MIXER_GETLINEINFOF_SOURCE) !=
                MMR_NOERROR)
                return false;
            appendLine(source);
        }
    }
    return true;
}

MMRESULT TMixerSettings::readValues(uint32_t controlId, uint32_t channels,
                                    std::vector<int32_t>& values) {
    values.assign(std::max<uint32_t>(channels, 1), 0);
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(MIXERCONTROLDETAILS);
    details.dwControlID = controlId;
    details.cChannels = uint32_t(values.size());
    details.cbDetails = 4;
    details.paDetails = values.data();
    return service.getControlDetails(MixerObject(handle), &details, MIXER_GETCONTROLDETAILSF_VALUE);
}

MMRESULT TMixerSettings::writeValues(uint32_t controlId, const std::vector<int32_t>& values) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(MIXERCONTROLDETAILS);
    details.dwControlID = controlId;
    details.cChannels = uint32_t(values.size());
    details.cbDetails = 4;
    details.paDetails = const_cast<int32_t*>(values.data());
    return service.setControlDetails(MixerObject(handle), &details, MIXER_SETCONTROLDETAILSF_VALUE);
}

void TMixerSettings::appendLine(const MIXERLINE& line) {
    TMixDetails e;
    e.Destination = int16_t(line.dwDestination);
    const TMixDetails& previous = table_.back();
    e.Position = previous.Destination == e.Destination ? int16_t(previous.Position + 1) : 0;
    e.Name = fieldText(line.szName, sizeof(line.szName));
    e.Flags = MIXDETAILS_NOMUTE;
    e.Channels = line.cChannels;

    std::vector<MIXERCONTROL> controls(line.cControls);
    bool haveControls = false;
    if (!controls.empty()) {
        MIXERLINECONTROLS request{};
        request.cbStruct = sizeof(MIXERLINECONTROLS);
        request.dwLineID = line.dwLineID;
        request.cControls = line.cControls;
        request.cbmxctrl = sizeof(MIXERCONTROL);
        request.pamxctrl = controls.data();
        haveControls = service.getLineControls(MixerObject(handle), &request,
                                               MIXER_GETLINECONTROLSF_ALL) == MMR_NOERROR;
    }
    if (haveControls) {
        bool haveMute = false;
        std::vector<int32_t> values;
        for (const MIXERCONTROL& c : controls) {
            switch (c.dwControlType) {
            case MIXERCONTROL_CONTROLTYPE_VOLUME:
                if (readValues(c.dwControlID, line.cChannels, values) == MMR_NOERROR) {
                    e.VolumeControlID = c.dwControlID;
                    e.Left = uint16_t(values[0] & 0xFFFF);
                    if (line.cChannels == 1) {
                        e.Mono = true;
                        e.Flags |= MIXDETAILS_MONO;
                    } else if (values.size() > 1) {
                        e.Right = uint16_t(values[1] & 0xFFFF);
                    }
                    e.HasControl = true;
                }
                break;
            case MIXERCONTROL_CONTROLTYPE_MUTE:
                if (!haveMute && readValues(c.dwControlID, 1, values) == MMR_NOERROR) {
                    haveMute = true;
                    e.MuteControlID = c.dwControlID;
                    e.MuteState = values[0] != 0;
                    e.HasControl = true;
                    e.Flags &= uint16_t(~MIXDETAILS_NOMUTE);
                }
                break;
            case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
                if (readValues(c.dwControlID, line.cChannels, values) == MMR_NOERROR) {
                    e.PeakControlID = c.dwControlID;
                    e.PeakChannels = line.cChannels == 1 ? 1 : 2;
                }
                break;
            default:
                break;
            }
        }
    }
    table_.push_back(std::move(e));
}

const TMixDetails* TMixerSettings::find(int destination, int position) const {
    for (const TMixDetails& e : table_) {
        if (e.Destination == destination && e.Position == position)
            return &e;
    }
    return nullptr;
}

const std::vector<std::string>& TMixerSettings::GetDestinationNames() {
    names.clear();
    if (Enabled_) {
        for (const TMixDetails& e : table_) {
            if (e.Position == 0)
                names.push_back(e.Name);
        }
    }
    return names;
}

const std::vector<std::string>& TMixerSettings::GetSourceNames(int destination) {
    names.clear();
    if (Enabled_) {
        for (const TMixDetails& e : table_) {
            if (e.Position >= 0 && e.Destination == destination)
                names.push_back(e.HasControl ? e.Name : std::string());
        }
    }
    return names;
}

// Channels to read or write for a line's volume: one for a mono line, else
// every channel of the line (at least two), of which the first two are Left
// and Right.
static uint32_t volumeChannels(const TMixDetails& e) {
    return e.Mono ? 1 : std::max<uint32_t>(e.Channels, 2);
}

const char* TAudioErrorText(TAudioError code) {
    switch (code) {
    case TAudioError::VolumeGet:
        return kVolumeGetControlError;
    case TAudioError::MuteGet:
        return kMuteGetControlError;
    case TAudioError::VolumeSet:
        return kVolumeSetControlError;
    case TAudioError::MuteSet:
        return kMuteSetControlError;
    case TAudioError::None:
        break;
    }
    return "";
}

bool TMixerSettings::GetLineVolume(int destination, int position, uint16_t& Left, uint16_t& Right,
                                   bool& Mute, uint16_t& Flags) {
    audio.errorCode_ = TAudioError::None;
    if (!Enabled_)
        return false;
    const TMixDetails* e = find(destination, position);
    if (!e)
        return false;
    Flags = e->Flags & 0xFF;

    std::vector<int32_t> values;
    // A line without a volume control has nothing to read: the identifier it
    // holds names no control of this line.
    if (e->VolumeControlID == kNoMixerControl || !handle ||
        readValues(e->VolumeControlID, volumeChannels(*e), values) != MMR_NOERROR) {
        setError(TAudioError::VolumeGet);
        return false;
    }
    Left = uint16_t(values[0] & 0xFFFF);
    Right = e->Mono ? Left : uint16_t(values[1] & 0xFFFF);

    if (e->MuteControlID == kNoMixerControl ||
        readValues(e->MuteControlID, 1, values) != MMR_NOERROR) {
        setError(TAudioError::MuteGet);
        return false;
    }
    Mute = values[0] != 0;
    return true;
}

bool TMixerSettings::SetLineVolume(int destination, int position, uint16_t Left, uint16_t Right,
                                   bool Mute) {
    audio.errorCode_ = TAudioError::None;
    if (!Enabled_)
        return false;
    const TMixDetails* e = find(destination, position);
    if (!e)
        return false;
    if (e->VolumeControlID != kNoMixerControl) {
        std::vector<int32_t> values(volumeChannels(*e), Right);
        values[0] = Left;
        if (!handle || writeValues(e->VolumeControlID, values) != MMR_NOERROR) {
            setError(TAudioError::VolumeSet);
            return false;
        }
    }
    if (e->MuteControlID != kNoMixerControl) {
        if (!handle || writeValues(e->MuteControlID, {Mute ? 1 : 0}) != MMR_NOERROR) {
            setError(TAudioError::MuteSet);
            return false;
        }
    }
    return true;
}

void TMixerSettings::onMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    if (message != MM_MIXM_CONTROL_CHANGE)
        return;
    // A change queued for a device that has been closed since (the table now
    // describes another open) says nothing about this table.
    if (!handle || wparam != openSerial)
        return;
    const uint32_t controlId = uint32_t(lparam);
    if (!Enabled_ || controlId == kNoMixerControl)
        return;
    for (const TMixDetails& e : table_) {
        if (e.VolumeControlID == controlId || e.MuteControlID == controlId) {
            if (!audio.OnMixerChange)
                return;
            // Copy what the handler needs: it may reopen the mixer.
            const uint16_t destination = uint16_t(e.Destination);
            const uint16_t position = uint16_t(e.Position);
            audio.OnMixerChange(this, destination, position);
            return;
        }
    }
    if (audio.OnMixerControlChange)
        audio.OnMixerControlChange(this, controlId);
}

// ---- TAudio ----

TAudio::TAudio(MixerService& service) : mixer_(std::make_unique<TMixerSettings>(*this, service)) {
    if (mixer_->OpenMixer(0))
        mixer_->Enabled_ = true;
}

TAudio::~TAudio() {
    mixer_.reset();
}

bool TAudio::reopenMixer() {
    if (!mixer_->OpenMixer(mixerDeviceID_))
        return false;
    mixer_->Enabled_ = true;
    return true;
}

void TAudio::setMixerDeviceID(uint32_t deviceIndex) {
    if (deviceIndex == mixerDeviceID_)
        return;
    mixerDeviceID_ = deviceIndex;
    if (mixer_->OpenMixer(deviceIndex))
        mixer_->Enabled_ = true;
}
