// The process's view of the compression manager: its version and its drivers
// in enumeration order, with lookup of the driver for a format tag.
//
// AcmRegistry() returns the one object of the process, made on first use
// (by the first wave pipe) and freed when the process ends. Tag 1 (PCM) names
// the PCM converter (manufacturer 1, product 38); any other tag names the
// first driver whose format tags include it.
//
// Threads: any thread; lookups lock the registry.
#pragma once

#include "core/unaObject.h"
#include "platform/acm/Acm.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class unaMsAcmDriver : public unaObject {
public:
    unaMsAcmDriver(HACMDRIVERID id, uint32_t support);

    HACMDRIVERID id() const { return id_; }
    uint32_t support() const { return support_; }
    const ACMDRIVERDETAILS& details() const { return details_; }
    bool detailsValid() const { return detailsValid_; }
    // The format tags of the driver (read once, opening the driver).
    const std::vector<uint32_t>& formatTags();
    bool supportsFormatTag(uint32_t tag);

private:
    HACMDRIVERID id_;
    uint32_t support_;
    ACMDRIVERDETAILS details_{};
    bool detailsValid_ = false;
    bool tagsRead_ = false;
    std::vector<uint32_t> tags_;
};

class unaMsAcm : public unaObject {
public:
    unaMsAcm();

    uint32_t version() const { return version_; }
    uint32_t driverCount() const { return uint32_t(drivers_.size()); }
    unaMsAcmDriver* driver(uint32_t index) const {
        return index < drivers_.size() ? drivers_[index].get() : nullptr;
    }
    // The driver for a format tag, or null.
    unaMsAcmDriver* getDriverByFormatTag(uint32_t tag);

private:
    uint32_t version_ = 0;
    std::vector<std::unique_ptr<unaMsAcmDriver>> drivers_;
    std::mutex lock_;
};

// The process-wide registry.
unaMsAcm* AcmRegistry();
