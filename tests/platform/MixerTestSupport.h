// Helpers shared by the mixer service tests: lines, their controls and control
// values read and written through the platform's mixer calls, and the wave-in
// destination's MUX. Failed calls are test failures. Test thread only.
#pragma once

#include "platform/audio/Mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

inline MIXERLINE mixerDestination(MixerObject m, uint32_t d) {
    MIXERLINE l{};
    l.cbStruct = sizeof l;
    l.dwDestination = d;
    EXPECT_EQ(mixerGetLineInfoA(m, &l, MIXER_GETLINEINFOF_DESTINATION), MMR_NOERROR);
    return l;
}

inline MIXERLINE mixerSource(MixerObject m, uint32_t d, uint32_t s) {
    MIXERLINE l{};
    l.cbStruct = sizeof l;
    l.dwDestination = d;
    l.dwSource = s;
    EXPECT_EQ(mixerGetLineInfoA(m, &l, MIXER_GETLINEINFOF_SOURCE), MMR_NOERROR);
    return l;
}

inline std::vector<MIXERCONTROL> lineControls(MixerObject m, const MIXERLINE& line) {
    std::vector<MIXERCONTROL> c(line.cControls);
    if (c.empty())
        return c;
    MIXERLINECONTROLS req{};
    req.cbStruct = sizeof req;
    req.dwLineID = line.dwLineID;
    req.cControls = line.cControls;
    req.cbmxctrl = sizeof(MIXERCONTROL);
    req.pamxctrl = c.data();
    EXPECT_EQ(mixerGetLineControlsA(m, &req, MIXER_GETLINECONTROLSF_ALL), MMR_NOERROR);
    return c;
}

inline MIXERCONTROL controlOfType(const std::vector<MIXERCONTROL>& list, uint32_t type) {
    for (auto& c : list) {
        if (c.dwControlType == type)
            return c;
    }
    ADD_FAILURE() << "no control of type " << std::hex << type;
    return {};
}

// Values of a control, one per channel (and per item of a list control).
inline std::vector<int32_t> controlValues(MixerObject m, const MIXERCONTROL& c, uint32_t channels) {
    uint32_t items = (c.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? c.cMultipleItems : 0;
    std::vector<int32_t> v(channels * std::max<uint32_t>(items, 1));
    MIXERCONTROLDETAILS d{sizeof d, c.dwControlID, channels, items, 4, v.data()};
    EXPECT_EQ(mixerGetControlDetailsA(m, &d, MIXER_GETCONTROLDETAILSF_VALUE), MMR_NOERROR);
    return v;
}

inline MMRESULT setControlValues(MixerObject m, const MIXERCONTROL& c, std::vector<int32_t> v,
                                 uint32_t channels) {
    uint32_t items = (c.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? c.cMultipleItems : 0;
    MIXERCONTROLDETAILS d{sizeof d, c.dwControlID, channels, items, 4, v.data()};
    return mixerSetControlDetails(m, &d, MIXER_SETCONTROLDETAILSF_VALUE);
}

// The MUX of a device's wave-in destination (found by its component type) and
// the names of its items; a control id of 0 when there is none.
inline MIXERCONTROL waveInMux(MixerObject m, std::vector<std::string>* items = nullptr) {
    MIXERLINE dest{};
    dest.cbStruct = sizeof dest;
    dest.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    EXPECT_EQ(mixerGetLineInfoA(m, &dest, MIXER_GETLINEINFOF_COMPONENTTYPE), MMR_NOERROR);
    MIXERCONTROL mux{};
    MIXERLINECONTROLS req{};
    req.cbStruct = sizeof req;
    req.dwLineID = dest.dwLineID;
    req.dwControlType = MIXERCONTROL_CONTROLTYPE_MUX;
    req.cControls = 1;
    req.cbmxctrl = sizeof mux;
    req.pamxctrl = &mux;
    if (mixerGetLineControlsA(m, &req, MIXER_GETLINECONTROLSF_ONEBYTYPE) != MMR_NOERROR)
        return {};
    if (items) {
        std::vector<MIXERCONTROLDETAILS_LISTTEXT> texts(mux.cMultipleItems);
        MIXERCONTROLDETAILS d{sizeof d,
                              mux.dwControlID,
                              1,
                              mux.cMultipleItems,
                              sizeof(MIXERCONTROLDETAILS_LISTTEXT),
                              texts.data()};
        EXPECT_EQ(mixerGetControlDetailsA(m, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT), MMR_NOERROR);
        items->clear();
        for (auto& t : texts)
            items->push_back(t.szName);
    }
    return mux;
}

// Sets a MUX to exactly one item.
inline MMRESULT chooseMuxItem(MixerObject m, const MIXERCONTROL& mux, uint32_t item) {
    std::vector<int32_t> values(mux.cMultipleItems, 0);
    if (item < values.size())
        values[item] = 1;
    return setControlValues(m, mux, values, 1);
}
