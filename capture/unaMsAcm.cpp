#include "capture/unaMsAcm.h"

unaMsAcmDriver::unaMsAcmDriver(HACMDRIVERID id, uint32_t support) : id_(id), support_(support) {
    details_.cbStruct = sizeof details_;
    detailsValid_ = acmDriverDetailsA(id, &details_, 0) == MMR_NOERROR;
}

const std::vector<uint32_t>& unaMsAcmDriver::formatTags() {
    if (!tagsRead_) {
        tagsRead_ = true;
        HACMDRIVER driver = nullptr;
        if (acmDriverOpen(&driver, id_, 0) == MMR_NOERROR) {
            acmFormatTagEnumA(
                driver,
                [this](HACMDRIVERID, const ACMFORMATTAGDETAILS& tag) {
                    tags_.push_back(tag.dwFormatTag);
                    return true;
                },
                0);
            acmDriverClose(driver, 0);
        }
    }
    return tags_;
}

bool unaMsAcmDriver::supportsFormatTag(uint32_t tag) {
    for (uint32_t t : formatTags())
        if (t == tag)
            return true;
    return false;
}

unaMsAcm::unaMsAcm() {
    version_ = acmGetVersion();
    acmDriverEnum(
        [this](HACMDRIVERID id, uint32_t support) {
            drivers_.push_back(std::make_unique<unaMsAcmDriver>(id, support));
            return true;
        },
        0);
}

unaMsAcmDriver* unaMsAcm::getDriverByFormatTag(uint32_t tag) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& d : drivers_) {
        if (tag == WAVE_FORMAT_PCM) {
            if (d->detailsValid() && d->details().wMid == 1 && d->details().wPid == 38)
                return d.get();
        } else if (d->supportsFormatTag(tag)) {
            return d.get();
        }
    }
    return nullptr;
}

unaMsAcm* AcmRegistry() {
    static unaMsAcm registry;
    return &registry;
}
