#include "core/unaMappedMemory.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openFlagsFor(uint32_t protection) {
    return protection == PAGE_READONLY ? O_RDONLY : O_RDWR;
}

int protFor(uint32_t protection) {
    return protection == PAGE_READONLY ? PROT_READ : PROT_READ | PROT_WRITE;
}

int mapFlagsFor(uint32_t protection) {
    return protection == PAGE_WRITECOPY ? MAP_PRIVATE : MAP_SHARED;
}

bool knownProtection(uint32_t p) {
    return p == PAGE_READONLY || p == PAGE_READWRITE || p == PAGE_WRITECOPY;
}

} // namespace

// --- unaMappedMemory -----------------------------------------------------------------

unaMappedMemory::unaMappedMemory(const std::string& name, bool canCreate, bool openNow,
                                 uint32_t protection, uint32_t size)
    : openNow_(openNow), protection_(protection), canCreate_(canCreate), name_(name), size_(size) {
    if (openNow)
        open(protection);
}

unaMappedMemory::~unaMappedMemory() {
    unaMappedMemory::close();
}

std::string unaMappedMemory::safeShmName(const std::string& name) {
    std::string out = "/sonvale.";
    for (unsigned char c : name.substr(0, 200)) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        out.push_back(ok ? char(c) : '_');
    }
    return out;
}

bool unaMappedMemory::mapDescriptor(int fd, uint64_t size, uint32_t protection) {
    if (size == 0)
        return false;
    void* view = ::mmap(nullptr, size, protFor(protection), mapFlagsFor(protection), fd, 0);
    if (view == MAP_FAILED)
        return false;
    view_ = view;
    size_ = size;
    return true;
}

bool unaMappedMemory::open(uint32_t protection) {
    if (view_ || !knownProtection(protection))
        return false;
    protection_ = protection;
    const std::string shmName = safeShmName(name_);

    int fd = -1;
    bool created = false;
    if (!name_.empty())
        fd = ::shm_open(shmName.c_str(), openFlagsFor(protection) | O_CLOEXEC, 0);
    uint64_t size = size_;
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_size > 0)
            size = uint64_t(st.st_size);
    } else if (canCreate_ && size_ > 0) {
        if (name_.empty()) {
            fd = ::memfd_create("sonvale", MFD_CLOEXEC);
        } else {
            fd = ::shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            created = fd >= 0;
        }
        if (fd >= 0 && ::ftruncate(fd, off_t(size_)) != 0) {
            ::close(fd);
            fd = -1;
            if (created)
                ::shm_unlink(shmName.c_str());
            created = false;
        }
    }
    if (fd < 0)
        return false;
    if (!mapDescriptor(fd, size, protection)) {
        ::close(fd);
        if (created)
            ::shm_unlink(shmName.c_str());
        return false;
    }
    mappingFd_ = fd;
    createdName_ = created;
    return true;
}

void unaMappedMemory::close() {
    if (view_)
        ::munmap(view_, size_);
    view_ = nullptr;
    if (mappingFd_ >= 0)
        ::close(mappingFd_);
    mappingFd_ = -1;
    if (createdName_)
        ::shm_unlink(safeShmName(name_).c_str());
    createdName_ = false;
}

// --- unaMappedFile ---------------------------------------------------------------------

unaMappedFile::unaMappedFile(const std::string& fileName, bool openNow, uint32_t protection)
    : unaMappedMemory(std::string(), true, false, protection, 0), fileName_(fileName) {
    setName("file@" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    if (openNow)
        open(protection);
}

unaMappedFile::~unaMappedFile() {
    close();
}

bool unaMappedFile::open(uint32_t protection) {
    if (fileName_.empty())
        return unaMappedMemory::open(protection);
    if (view_ || !knownProtection(protection))
        return false;
    protection_ = protection;

    struct stat st;
    off_t length = ::stat(fileName_.c_str(), &st) == 0 ? st.st_size : 0;
    if (length < off_t(kMinimumFileSize)) {
        const int pad = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (pad >= 0) {
            static const uint8_t zeros[kMinimumFileSize] = {};
            size_t missing = size_t(off_t(kMinimumFileSize) - length);
            while (missing > 0) {
                const ssize_t n = ::write(pad, zeros, missing);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                missing -= size_t(n);
            }
            ::close(pad);
        }
        length = ::stat(fileName_.c_str(), &st) == 0 ? st.st_size : 0;
    }
    if (length < off_t(kMinimumFileSize))
        return false;

    int fd;
    do {
        fd = ::open(fileName_.c_str(), openFlagsFor(protection) | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // Map what the file holds now (it may have changed since it was measured).
    if (::fstat(fd, &st) != 0 || st.st_size < off_t(kMinimumFileSize) ||
        !mapDescriptor(fd, uint64_t(st.st_size), protection)) {
        ::close(fd);
        return false;
    }
    fileFd_ = fd;
    return true;
}

void unaMappedFile::close() {
    unaMappedMemory::close();
    if (fileFd_ >= 0)
        ::close(fileFd_);
    fileFd_ = -1;
}
