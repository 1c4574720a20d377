// Forwards the mixer classes' calls to the platform mixer service.
#include "mixer/MixerService.h"

#include <cstring>
#include <utility>

std::string MixerService::getDeviceName(MixerObject mixer) {
    MIXERCAPS caps{};
    if (getDevCaps(mixer, &caps) != MMR_NOERROR)
        return {};
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

namespace {

class PlatformMixerService final : public MixerService {
public:
    uint32_t getNumDevs() override { return mixerGetNumDevs(); }
    MMRESULT getDevCaps(MixerObject mixer, MIXERCAPS* caps) override {
        return mixerGetDevCapsA(mixer, caps);
    }
    MMRESULT open(HMIXER* handle, uint32_t deviceIndex, MixerChangeCallback onChange) override {
        return mixerOpen(handle, deviceIndex, std::move(onChange));
    }
    MMRESULT close(HMIXER handle) override { return mixerClose(handle); }
    MMRESULT getLineInfo(MixerObject mixer, MIXERLINE* line, uint32_t flags) override {
        return mixerGetLineInfoA(mixer, line, flags);
    }
    MMRESULT getLineControls(MixerObject mixer, MIXERLINECONTROLS* request,
                             uint32_t flags) override {
        return mixerGetLineControlsA(mixer, request, flags);
    }
    MMRESULT getControlDetails(MixerObject mixer, MIXERCONTROLDETAILS* details,
                               uint32_t flags) override {
        return mixerGetControlDetailsA(mixer, details, flags);
    }
    MMRESULT setControlDetails(MixerObject mixer, const MIXERCONTROLDETAILS* details,
                               uint32_t flags) override {
        return mixerSetControlDetails(mixer, details, flags);
    }
    std::string getDeviceName(MixerObject mixer) override { return mixerGetDeviceName(mixer); }
};

} // namespace

MixerService& platformMixerService() {
    static PlatformMixerService service;
    return service;
}
