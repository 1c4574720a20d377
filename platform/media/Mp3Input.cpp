// MP3 decoding over libmpg123 (loaded on first use).
#include "platform/media/Mp3Input.h"

#include "platform/files/RegularFile.h"
#include "platform/media/MediaLibraries.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Whether the first MPEG frame of the file carries a VBR information frame
// ("Xing", "Info" or "VBRI"): then the decoder's length comes from it, else
// it is only an estimate from the first frame's bit rate.
bool hasInfoFrame(int fd) {
    uint8_t head[16384];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n < 10)
        return false;
    size_t pos = 0;
    if (std::memcmp(head, "ID3", 3) == 0) {
        // An ID3v2 tag first: its size is four 7-bit bytes.
        const size_t tag = (size_t(head[6] & 0x7F) << 21) | (size_t(head[7] & 0x7F) << 14) |
                           (size_t(head[8] & 0x7F) << 7) | size_t(head[9] & 0x7F);
        pos = 10 + tag;
        if (pos + 4 > size_t(n)) {
            uint8_t more[512];
            const ssize_t m = ::pread(fd, more, sizeof more, off_t(pos));
            for (ssize_t i = 0; m > 0 && i + 4 <= m && i < 400; ++i)
                if (!std::memcmp(more + i, "Xing", 4) || !std::memcmp(more + i, "Info", 4) ||
                    !std::memcmp(more + i, "VBRI", 4))
                    return true;
            return false;
        }
    }
    while (pos + 1 < size_t(n) && !(head[pos] == 0xFF && (head[pos + 1] & 0xE0) == 0xE0))
        ++pos;
    // The tag sits after the side information: within the first 40 bytes.
    for (size_t i = pos + 4; i + 4 <= size_t(n) && i < pos + 48; ++i)
        if (!std::memcmp(head + i, "Xing", 4) || !std::memcmp(head + i, "Info", 4) ||
            !std::memcmp(head + i, "VBRI", 4))
            return true;
    return false;
}

} // namespace

Mp3Input::~Mp3Input() {
    close();
}

bool Mp3Input::open(const std::string& path, std::string* error) {
    close();
    const Mpg123Api* api = mpg123Api(error);
    if (api == nullptr)
        return false;
    int err = MPG123_OK;
    mpg123_handle* h = api->mpg123_new(nullptr, &err);
    if (h == nullptr) {
        *error = api->mpg123_plain_strerror(err);
        return false;
    }
    api->mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Always 16-bit signed samples, at whatever rate and channel count the
    // file has.
    api->mpg123_format_none(h);
    const long* rates = nullptr;
    size_t count = 0;
    api->mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        api->mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    // Only a regular file is played: a FIFO, a device or a folder in the
    // list can never hold the player.
    const RegularFile file = openRegularFile(path, O_RDONLY);
    if (!file.ok()) {
        *error = "cannot open " + path + ": " + file.why();
        api->mpg123_delete(h);
        return false;
    }
    const int fd = file.fd;
    if (api->mpg123_open_fd(h, fd) != MPG123_OK) {
        *error = "cannot open " + path + ": " + api->mpg123_strerror(h);
        api->mpg123_delete(h);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (api->mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels < 1 || channels > 2) {
        *error = "no MPEG audio in " + path;
        api->mpg123_close(h);
        api->mpg123_delete(h);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    handle_ = reinterpret_cast<mpg123_handle_struct*>(h);
    api_ = api;
    rate_ = uint32_t(rate);
    channels_ = uint16_t(channels);
    mpg123_frameinfo info{};
    if (api->mpg123_info(h, &info) == MPG123_OK) {
        bitrate_ = uint16_t(info.bitrate);
    }
    // The length from the information frame when there is one; otherwise
    // the frames are counted (parsing only, no decoding), since the
    // decoder's own figure is a guess from the first frame's bit rate.
    off_t len = MPG123_ERR;
    if (hasInfoFrame(fd_))
        len = api->mpg123_length(h);
    if (len == MPG123_ERR || len <= 0) {
        if (api->mpg123_scan(h) == MPG123_OK)
            len = api->mpg123_length(h);
    }
    length_ = len > 0 ? uint64_t(len) : 0;
    return true;
}

void Mp3Input::close() {
    if (handle_ != nullptr) {
        auto* h = reinterpret_cast<mpg123_handle*>(handle_);
        api_->mpg123_close(h);
        api_->mpg123_delete(h);
        handle_ = nullptr;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
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
        const int r = api_->mpg123_read(h, buf, bytes, &done);
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
        *error = api_->mpg123_strerror(h);
        return Read::Failed;
    }
    *error = "decoder keeps changing format";
    return Read::Failed;
}

bool Mp3Input::seek(uint64_t sample) {
    if (handle_ == nullptr) {
        return false;
    }
    return api_->mpg123_seek(reinterpret_cast<mpg123_handle*>(handle_), off_t(sample), SEEK_SET) >=
           0;
}
