// Helpers shared by the tests of the mixer classes: finding a destination or a
// control by type, the names of a destination's sources, and choosing a MUX
// item the way the record-source panel does. Test thread only.
#pragma once

#include "mixer/tMsMixer.h"

#include <string>
#include <vector>

inline tMsMixerLine* destinationOfType(tMsMixer& mixer, uint32_t type) {
    mixer.enumDestinations();
    for (uint32_t d = 0; d < mixer.getDestinationCount(); ++d) {
        if (mixer.getDestination(d)->getLineInfo().dwComponentType == type)
            return mixer.getDestination(d);
    }
    return nullptr;
}

inline tMsMixerControl* controlOfType(tMsMixerLine& line, uint32_t type) {
    line.enumControls();
    for (uint32_t i = 0; i < line.getControlCount(); ++i) {
        if (line.getControl(i)->getControlInfo().dwControlType == type)
            return line.getControl(i);
    }
    return nullptr;
}

inline std::vector<std::string> sourceNames(tMsMixerLine& destination) {
    destination.enumSources();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < destination.getSourceCount(); ++i)
        names.push_back(destination.getSource(i)->getLineInfo().szName);
    return names;
}

// Every item set in turn, true for the chosen one only.
inline void selectMuxItem(tMsMixerControl& mux, uint32_t chosen) {
    for (uint32_t i = 0; i < mux.getControlInfo().cMultipleItems; ++i)
        mux.setBoolValue(0, i, i == chosen);
}
