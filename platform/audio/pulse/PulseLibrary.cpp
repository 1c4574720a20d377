// Loading libpulse through the platform loader.
#include "platform/audio/pulse/PulseLibrary.h"

#include "platform/loader/LibraryTable.h"

#include <cstdio>
#include <cstdlib>

namespace {

void fillPulse(PulseApi& api, EntryLookUp& lookUp) {
#define SV_LOOK_UP(fn) lookUp(api.fn, SV_SYMBOL_NAME(fn));
    SV_PULSE_ENTRIES(SV_LOOK_UP)
#undef SV_LOOK_UP
}

LibraryTable<PulseApi>& table() {
    static auto* t = new LibraryTable<PulseApi>(kPulseLibrary, fillPulse);
    return *t;
}

} // namespace

const PulseApi* pulseApi(std::string* why) {
    return table().get(why);
}

const PulseApi& libpulse() {
    // The connection's threads keep the table the backend was chosen with,
    // also while a test makes the next load fail.
    if (const PulseApi* api = table().handedOut())
        return *api;
    std::string why;
    const PulseApi* api = table().get(&why);
    if (api == nullptr) {
        // The backend is chosen only when the library loads; getting here is
        // a fault in that choice.
        std::fprintf(stderr, "sound-server backend without libpulse: %s\n", why.c_str());
        std::abort();
    }
    return *api;
}

void forgetPulseLibrary() {
    table().forget();
}
