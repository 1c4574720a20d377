// A RAM-backed file for the fuzz targets: created once per process
// (memfd_create), rewritten for every input, reached by path through
// /proc/self/fd, and gone with the process, so no target leaves files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class MemoryFile {
public:
    MemoryFile() {
        fd_ = ::memfd_create("sonvale-fuzz", MFD_CLOEXEC);
        if (fd_ < 0)
            std::abort();
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    // Makes the file hold exactly these bytes.
    void set(const uint8_t* data, size_t size) {
        if (::ftruncate(fd_, 0) != 0)
            std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, off_t(done));
            if (n <= 0)
                std::abort();
            done += size_t(n);
        }
    }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};
