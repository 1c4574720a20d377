// Loading the media area's decoding libraries through the platform loader.
#include "platform/media/MediaLibraries.h"

#include "platform/loader/LibraryTable.h"

namespace {

void fillSndfile(SndfileApi& api, EntryLookUp& lookUp) {
#define SV_LOOK_UP(fn) lookUp(api.fn, SV_SYMBOL_NAME(fn));
    SV_SNDFILE_ENTRIES(SV_LOOK_UP)
}

void fillMpg123(Mpg123Api& api, EntryLookUp& lookUp){SV_MPG123_ENTRIES(SV_LOOK_UP)
#undef SV_LOOK_UP
}

std::string startMpg123(const Mpg123Api& api) {
    return api.mpg123_init() == MPG123_OK ? std::string() : "the MP3 decoder does not start";
}

LibraryTable<SndfileApi>& sndfile() {
    static auto* table = new LibraryTable<SndfileApi>(kSndfileLibrary, fillSndfile);
    return *table;
}

LibraryTable<Mpg123Api>& mpg123() {
    static auto* table = new LibraryTable<Mpg123Api>(kMpg123Library, fillMpg123, startMpg123);
    return *table;
}

} // namespace

const SndfileApi* sndfileApi(std::string* why) {
    return sndfile().get(why);
}

const Mpg123Api* mpg123Api(std::string* why) {
    return mpg123().get(why);
}

void forgetMediaLibraries() {
    sndfile().forget();
    mpg123().forget();
}
