// The mixer calls the mixer classes make, behind one narrow interface.
//
// platformMixerService() forwards every call to the platform mixer service
// (ALSA cards or the virtual card, whichever backend is chosen). Tests hand
// the classes a service of their own to describe cards the backends do not
// have (mono lines, failing queries) or cards given as ALSA element lists.
//
// The meaning of every call, record and result code is the platform mixer
// service's (platform/audio/Mixer.h).
//
// Threads: the platform service may be called from any thread; the mixer
// classes call it on the main thread only.
#pragma once

#include "platform/audio/Mixer.h"

#include <string>

class MixerService {
public:
    virtual ~MixerService() = default;

    virtual uint32_t getNumDevs() = 0;
    virtual MMRESULT getDevCaps(MixerObject mixer, MIXERCAPS* caps) = 0;
    virtual MMRESULT open(HMIXER* handle, uint32_t deviceIndex, MixerChangeCallback onChange) = 0;
    virtual MMRESULT close(HMIXER handle) = 0;
    virtual MMRESULT getLineInfo(MixerObject mixer, MIXERLINE* line, uint32_t flags) = 0;
    virtual MMRESULT getLineControls(MixerObject mixer, MIXERLINECONTROLS* request,
                                     uint32_t flags) = 0;
    virtual MMRESULT getControlDetails(MixerObject mixer, MIXERCONTROLDETAILS* details,
                                       uint32_t flags) = 0;
    virtual MMRESULT setControlDetails(MixerObject mixer, const MIXERCONTROLDETAILS* details,
                                       uint32_t flags) = 0;
    // The device's whole name (the capability record keeps 31 characters);
    // by default the capability record's name, "" when it cannot be read.
    virtual std::string getDeviceName(MixerObject mixer);
};

// The process's forwarding service; lives for the whole process.
MixerService& platformMixerService();
