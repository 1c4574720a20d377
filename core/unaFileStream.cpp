#include "core/unaFileStream.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

unaFileStream::unaFileStream(const std::string& fileName, bool loop, uint32_t shareMode,
                             uint32_t access)
    : fileName_(fileName), access_(access), shareMode_(shareMode), loop_(loop) {
    if (!fileName.empty())
        open(fileName, access, loop, shareMode);
}

unaFileStream::~unaFileStream() {
    close();
}

bool unaFileStream::open(const std::string& fileName, uint32_t access, bool loop,
                         uint32_t shareMode) {
    unaGateGuard<unaInProcessGate> g(gate());
    close();
    fileName_ = fileName;
    loop_ = loop;
    access_ = access;
    shareMode_ = shareMode;

    const bool wantRead = access & GENERIC_READ;
    const bool wantWrite = access & GENERIC_WRITE;
    int flags = O_CREAT | O_CLOEXEC;
    flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    int fd = -1;
    if (!fileName.empty()) {
        do {
            fd = ::open(fileName.c_str(), flags, 0666);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd >= 0 && !(shareMode & FILE_SHARE_WRITE)) {
        const int how = wantWrite ? LOCK_EX : LOCK_SH;
        if (::flock(fd, how | LOCK_NB) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    fd_ = fd;
    if (fd_ >= 0) {
        setValid(true);
        seek(0, true);
        size_.store(fileLength(), std::memory_order_release);
    } else {
        setValid(false);
    }
    return isValid();
}

void unaFileStream::close() {
    unaGateGuard<unaInProcessGate> g(gate());
    if (fd_ >= 0)
        ::close(fd_); // also drops the share lock
    fd_ = -1;
    setValid(false);
}

int64_t unaFileStream::fileLength() {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return 0;
    return int64_t(st.st_size);
}

int64_t unaFileStream::seek(int64_t position, bool fromBeginning) {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid())
        return 0;
    const off_t at = ::lseek(fd_, off_t(position), fromBeginning ? SEEK_SET : SEEK_END);
    if (at >= 0)
        position_ = int64_t(at);
    return position_;
}

int64_t unaFileStream::seekRelative(int64_t delta) {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid())
        return 0;
    const int64_t current = getPosition();
    int64_t target = current + delta;
    if (target < 0)
        target = 0;
    return seek(target, true);
}

int64_t unaFileStream::getPosition() {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid())
        return 0;
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at < 0 ? 0 : int64_t(at);
}

void unaFileStream::clear() {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid())
        return;
    seek(0, true);
    if (::ftruncate(fd_, 0) == 0)
        size_.store(0, std::memory_order_release);
    else
        size_.store(fileLength(), std::memory_order_release);
}

uint32_t unaFileStream::write(const void* buffer, uint32_t size) {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid() || !buffer || size == 0)
        return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += uint32_t(n);
    }
    position_ = getPosition();
    size_.store(fileLength(), std::memory_order_release);
    return done;
}

// Reads up to size bytes at the current offset; a failed read counts as 0.
uint32_t unaFileStream::readAt(uint8_t* out, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd_, out + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += uint32_t(n);
    }
    return done;
}

uint32_t unaFileStream::read(void* buffer, uint32_t size, bool remove) {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid() || !buffer || size == 0)
        return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    const int64_t start = getPosition();
    uint32_t n = readAt(out, size);
    if (loop_ && n < size) {
        // Wrap to the start as often as needed; an empty file ends it.
        for (;;) {
            seek(0, true);
            const uint32_t more = readAt(out + n, size - n);
            n += more;
            if (more == 0 || n >= size)
                break;
        }
    }
    if (remove)
        position_ = getPosition();
    else
        seek(start, true); // peek: the data stay unread
    return n;
}

int64_t unaFileStream::getSize() {
    unaGateGuard<unaInProcessGate> g(gate());
    size_.store(fileLength(), std::memory_order_release);
    return size_.load(std::memory_order_acquire);
}

uint32_t unaFileStream::getAvailableSize() {
    unaGateGuard<unaInProcessGate> g(gate());
    const int64_t size = getSize();
    const int64_t rest = loop_ ? size : size - getPosition();
    return uint32_t(std::clamp<int64_t>(rest, 0, UINT32_MAX));
}

uint32_t unaFileStream::writeAt(int64_t offset, const void* buffer, uint32_t size) {
    unaGateGuard<unaInProcessGate> g(gate());
    if (!isValid() || !buffer || size == 0 || offset < 0)
        return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, p + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += uint32_t(n);
    }
    if (offset + done > size_.load(std::memory_order_relaxed))
        size_.store(fileLength(), std::memory_order_release);
    return done;
}
