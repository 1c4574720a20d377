#include "encode/unaEncoderFileSink.h"

#include "encode/unaEncoder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Writes all of the block; false on any error but an interruption.
bool writeAll(int fd, const void* data, uint32_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        size -= uint32_t(n);
    }
    return true;
}

} // namespace

unaEncoderFileSink::unaEncoderFileSink(unaAbstractEncoder& encoder) : encoder_(encoder) {
    encoder_.onDataAvailable = [this](unaAbstractEncoder*, const void* data, uint32_t size,
                                      bool& copyToStream) {
        copyToStream = false;
        onEncoded(data, size);
    };
    encoder_.writer().wakeEvery.store(kWakeBlocks);
}

unaEncoderFileSink::~unaEncoderFileSink() {
    close();
    encoder_.onDataAvailable = nullptr;
    encoder_.writer().wakeEvery.store(1);
}

bool unaEncoderFileSink::open(const std::string& fileName) {
    close();
    fileName_ = fileName;
    writeFailed_ = false;
    bytesWritten_ = 0;
    int fd;
    do {
        fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    fd_.store(fd, std::memory_order_release);
    open_.store(true, std::memory_order_release);
    return true;
}

void unaEncoderFileSink::write(const void* data, uint32_t len) {
    if (open_.load(std::memory_order_acquire))
        encoder_.lazyWrite(data, len);
}

int32_t unaEncoderFileSink::close() {
    const bool wasOpen = open_.exchange(false, std::memory_order_acq_rel);
    const int fd = fd_.load(std::memory_order_acquire);
    if (!wasOpen && fd < 0)
        return 0;
    // Joins the encoder's thread after it has encoded what is queued; the
    // final bytes arrive here, on this thread, before close returns.
    const int32_t result = encoder_.close();
    fd_.store(-1, std::memory_order_release);
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        writeFailed_ = true;
    // The file is complete and closed from here on: a step that rewrites the
    // start of a finished file (an information frame the encoder prepares)
    // belongs at this point.
    return result;
}

void unaEncoderFileSink::onEncoded(const void* data, uint32_t size) {
    const int fd = fd_.load(std::memory_order_acquire);
    if (fd < 0 || size == 0 || writeFailed_.load(std::memory_order_relaxed))
        return;
    if (writeAll(fd, data, size))
        bytesWritten_.fetch_add(size, std::memory_order_relaxed);
    else
        writeFailed_.store(true, std::memory_order_release);
}
