#include "mixer/RecordSources.h"

#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"
#include "platform/audio/WaveIn.h"

#include <algorithm>
#include <cstring>

namespace {

// Position of `name` in `names`, -1 when it is not there.
int indexOfName(const std::vector<std::string>& names, const std::string& name) {
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

std::string lineName(tMsMixerLine& line) {
    const MIXERLINE& info = line.getLineInfo();
    return std::string(info.szName, strnlen(info.szName, sizeof info.szName));
}

// Index of the last control of the given type, -1 when none.
int lastControlOfType(tMsMixerLine& line, uint32_t type) {
    line.enumControls();
    int found = -1;
    for (uint32_t k = 0; k < line.getControlCount(); ++k)
        if (line.getControl(k)->getControlInfo().dwControlType == type)
            found = int(k);
    return found;
}

} // namespace

RecordSources::RecordSources(tMsMixerSystem& system, TAudio& audio)
    : system_(system), audio_(audio) {}

void RecordSources::build(Indices& io, std::vector<Problem>& problems, bool reread) {
    deviceNames_.clear();
    sources_.clear();
    selected_ = -1;
    waveInDevice_ = WAVE_MAPPER;
    mux_ = nullptr;
    if (reread)
        system_.enumMixers();
    if (system_.getMixerCount() == 0) {
        problems.push_back(Problem::NoDevice);
        indices_ = io;
        return;
    }
    for (uint32_t d = 0; d < system_.getMixerCount(); ++d)
        deviceNames_.push_back(system_.service().getDeviceName(d));
    if (io.Mixer < 0 || io.Mixer >= int32_t(system_.getMixerCount()))
        io.Mixer = 0;
    if (reread && audio_.MixerDeviceID() == uint32_t(io.Mixer))
        audio_.reopenMixer();
    else
        audio_.setMixerDeviceID(uint32_t(io.Mixer));
    io.WaveInLine = -1;
    indices_ = io;

    tMsMixer* mixer = system_.getMixer(uint32_t(io.Mixer));
    mixer->enumDestinations();
    if (mixer->getDestinationCount() == 0) {
        problems.push_back(Problem::NoDestinationLine);
        io = indices_;
        return;
    }
    const std::vector<std::string> destinationNames = audio_.GetDestinationNames();
    for (uint32_t q = 0; q < mixer->getDestinationCount(); ++q) {
        tMsMixerLine& dest = *mixer->getDestination(q);
        const uint32_t type = dest.getLineInfo().dwComponentType;
        if (type == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS) {
            indices_.PlaybackDestination = indexOfName(destinationNames, lineName(dest));
        } else if (type == MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
            const MIXERLINE& info = dest.getLineInfo();
            if (info.Target.dwType == MIXERLINE_TARGETTYPE_WAVEIN)
                waveInDevice_ = int(info.Target.dwDeviceID);
            indices_.WaveInLine = int32_t(q);
            indices_.WaveInDestination = int16_t(indexOfName(destinationNames, lineName(dest)));
            listWaveInSources(q, problems);
        }
    }
    if (indices_.WaveInLine == -1)
        problems.push_back(Problem::NoWaveInDestination);
    io = indices_;
}

void RecordSources::listWaveInSources(unsigned q, std::vector<Problem>& problems) {
    tMsMixerLine& dest = *system_.getMixer(uint32_t(indices_.Mixer))->getDestination(q);
    dest.enumSources();
    if (dest.getSourceCount() == 0) {
        problems.push_back(Problem::NoSourceLine);
        return;
    }
    indices_.MuxControl = lastControlOfType(dest, MIXERCONTROL_CONTROLTYPE_MUX);
    mux_ = indices_.MuxControl >= 0 ? dest.getControl(uint32_t(indices_.MuxControl)) : nullptr;
    const std::vector<std::string> lineNames = audio_.GetSourceNames(indices_.WaveInDestination);
    const size_t first = sources_.size();
    for (uint32_t i = 0; i < dest.getSourceCount(); ++i) {
        tMsMixerLine& line = *dest.getSource(i);
        Source s;
        s.name = lineName(line);
        s.line = indexOfName(lineNames, s.name);
        if (mux_) {
            // The source list runs from the highest index down, the MUX items
            // up: the item is looked up, never taken from the position.
            s.muxItem = mux_->findListItem(line);
            s.kind = Kind::Radio;
            s.checked = s.muxItem >= 0 && mux_->getBoolValue(0, uint32_t(s.muxItem));
            if (s.checked)
                selected_ = int(sources_.size());
        } else if (lastControlOfType(line, MIXERCONTROL_CONTROLTYPE_MUTE) >= 0) {
            s.kind = Kind::CheckBox;
            uint16_t left = 0, right = 0;
            bool mute = false;
            if (lineVolume(indices_.WaveInDestination, s.line, left, right, mute))
                s.checked = mute;
        }
        sources_.push_back(std::move(s));
    }
    if (!mux_ && sources_.size() > first)
        selected_ = 0;
}

void RecordSources::setChecked(size_t index, bool checked) {
    if (index < sources_.size())
        sources_[index].checked = checked;
}

void RecordSources::choose(size_t index) {
    if (index >= sources_.size())
        return;
    if (mux_) {
        for (size_t i = 0; i < sources_.size(); ++i) {
            Source& s = sources_[i];
            s.checked = i == index;
            if (s.muxItem >= 0)
                mux_->setBoolValue(0, uint32_t(s.muxItem), s.checked);
        }
        return;
    }
    const int destination = indices_.WaveInDestination;
    for (const Source& s : sources_) {
        if (s.kind != Kind::CheckBox)
            continue;
        uint16_t left = 0, right = 0;
        bool mute = false;
        if (lineVolume(destination, s.line, left, right, mute))
            audio_.SetLineVolume(destination, s.line, left, right, s.checked);
    }
}

bool RecordSources::lineVolume(int destination, int line, uint16_t& left, uint16_t& right,
                               bool& mute) {
    if (line < 0)
        return false;
    uint16_t flags = 0;
    if (audio_.GetLineVolume(destination, line, left, right, mute, flags))
        return true;
    if (audio_.ErrorCode() == TAudioError::MuteGet) {
        mute = false; // no select switch; the volume was read before the failure
        return true;
    }
    return false;
}

std::optional<uint16_t> RecordSources::shownVolume(int destination, int line) {
    uint16_t left = 0, right = 0;
    bool mute = false;
    if (!lineVolume(destination, line, left, right, mute))
        return std::nullopt;
    return right;
}

bool RecordSources::setVolume(int destination, int line, uint16_t value) {
    uint16_t left = 0, right = 0;
    bool mute = false;
    if (!lineVolume(destination, line, left, right, mute))
        return false;
    return audio_.SetLineVolume(destination, line, value, value, mute);
}
