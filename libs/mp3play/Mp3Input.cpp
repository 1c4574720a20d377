// MP3 decoding over libmpg123.
#include "libs/mp3play/Mp3Input.h"

#include <mpg123.h>

#include <mutex>

namespace {

bool libraryReady() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
    return ok;
}

} // namespace

Mp3Input::~Mp3Input() {
    close();
}

bool Mp3Input::open(const std::string& path, std::string* error) {
    close();
    if (!libraryReady()) {
        *error = "MP3 decoder unavailable";
        return false;
    }
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (h == nullptr) {
        *error = mpg123_plain_strerror(err);
        return false;
    }
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Always 16-bit signed samples, at whatever rate and channel count the
    // file has.
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open(h, path.c_str()) != MPG123_OK) {
        *error = "cannot open " + path + ": " + mpg123_strerror(h);
        mpg123_delete(h);
        return false;
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels < 1 || channels > 2) {
        *error = "no MPEG audio in " + path;
        mpg123_close(h);
        mpg123_delete(h);
        return false;
    }
    handle_ = reinterpret_cast<mpg123_handle_struct*>(h);
    rate_ = uint32_t(rate);
    channels_ = uint16_t(channels);
    mpg123_frameinfo info{};
    if (mpg123_info(h, &info) == MPG123_OK) {
        bitrate_ = uint16_t(info.bitrate);
    }
    off_t len = mpg123_length(h);
    if (len == MPG123_ERR || len <= 0) {
        // No length in the header: count the frames (parsing, no decoding).
        if (mpg123_scan(h) == MPG123_OK) {
            len = mpg123_length(h);
        }
    }
    length_ = len > 0 ? uint64_t(len) : 0;
    return true;
}

void Mp3Input::close() {
    if (handle_ != nullptr) {
        auto* h = reinterpret_cast<mpg123_handle*>(handle_);
        mpg123_close(h);
        mpg123_delete(h);
        handle_ = nullptr;
    }
    rate_ = 0;
    channels_ = 0;
    bitrate_ = 0;
    length_ = 0;
}

Mp3Input::Read Mp3Input::read(uint8_t* buf, size_t bytes, size_t* got, std::string* error) {
    *got = 0;
    if (handle_ == nullptr) {
        *error = "no input";
        return Read::Failed;
    }
    auto* h = reinterpret_cast<mpg123_handle*>(handle_);
    for (int attempt = 0; attempt < 8; ++attempt) {
        size_t done = 0;
        const int r = mpg123_read(h, buf, bytes, &done);
        *got = done;
        if (r == MPG123_OK) {
            return Read::Data;
        }
        if (r == MPG123_DONE) {
            return done > 0 ? Read::Data : Read::Done;
        }
        if (r == MPG123_NEW_FORMAT) {
            // The output format was fixed at open; a stream that changes it
            // mid-way keeps 16-bit samples, and rate changes are rare enough
            // to be played at the first rate.
            if (done > 0) {
                return Read::Data;
            }
            continue;
        }
        if (r == MPG123_NEED_MORE) {
            return done > 0 ? Read::Data : Read::Done;
        }
        if (done > 0) {
            return Read::Data;
        }
        *error = mpg123_strerror(h);
        return Read::Failed;
    }
    *error = "decoder keeps changing format";
    return Read::Failed;
}

bool Mp3Input::seek(uint64_t sample) {
    if (handle_ == nullptr) {
        return false;
    }
    return mpg123_seek(reinterpret_cast<mpg123_handle*>(handle_), off_t(sample), SEEK_SET) >= 0;
}
