// Memory views: unaMappedMemory, a named shared-memory block, and
// unaMappedFile, a whole file mapped into memory (the WAV reader parses
// files through it without copying them).
//
// Protection flags keep their classic values: PAGE_READONLY gives a
// read-only view, PAGE_READWRITE a shared writable view, PAGE_WRITECOPY a
// private copy-on-write view (changes never reach the file or other views).
//
// Linux decisions:
//  - Named memory is POSIX shared memory. The name is made safe for
//    shm_open: "/sonvale." followed by the name with every byte outside
//    [A-Za-z0-9._-] replaced by "_" (cut to 200 bytes). An empty name gives
//    a private anonymous block. The object that created a named block
//    removes the name again when it closes (the block lives on for views
//    that are still open), so names do not outlive their creator.
//  - Files are mapped with mmap over the file descriptor.
//
// open/close are not locked: one thread owns an object; the view itself may
// be read by any thread while it is open.
#pragma once

#include "core/unaObject.h"

#include <cstdint>
#include <string>

inline constexpr uint32_t PAGE_READONLY = 0x02u;
inline constexpr uint32_t PAGE_READWRITE = 0x04u;
inline constexpr uint32_t PAGE_WRITECOPY = 0x08u;

class unaMappedMemory : public unaObject {
public:
    unaMappedMemory(const std::string& name, bool canCreate = true, bool openNow = true,
                    uint32_t protection = PAGE_READWRITE, uint32_t size = 0);
    ~unaMappedMemory() override;

    // False at once when a view is open; otherwise opens (or creates) the
    // mapping and maps a view of all of it. Leaves nothing behind on failure.
    virtual bool open(uint32_t protection);
    bool open() { return open(protection_); }
    virtual void close();

    bool isOpen() const { return view_ != nullptr; }
    void* data() const { return view_; }
    uint64_t size() const { return size_; }
    const std::string& name() const { return name_; }
    uint32_t protection() const { return protection_; }

    // The shm_open name used for a mapping name.
    static std::string safeShmName(const std::string& name);

protected:
    // For unaMappedFile: maps fd (size bytes) instead of named memory.
    bool mapDescriptor(int fd, uint64_t size, uint32_t protection);
    void setName(const std::string& name) { name_ = name; }

    bool openNow_;
    uint32_t protection_;
    bool canCreate_;
    int mappingFd_ = -1; // the shared-memory object, -1 when none
    std::string name_;
    void* view_ = nullptr; // the view, null when closed
    uint64_t size_;        // bytes of the mapping (files may pass 4 GiB)
    int fileFd_ = -1;      // the mapped file, -1 for named memory
    bool createdName_ = false;
};

class unaMappedFile : public unaMappedMemory {
public:
    explicit unaMappedFile(const std::string& fileName, bool openNow = true,
                           uint32_t protection = PAGE_READONLY);
    ~unaMappedFile() override;

    // Files shorter than 32 bytes (a missing one included) are first padded
    // with zero bytes to 32; then the whole file is mapped.
    bool open(uint32_t protection) override;
    using unaMappedMemory::open;
    void close() override;

    const std::string& fileName() const { return fileName_; }

    static constexpr uint32_t kMinimumFileSize = 32;

private:
    std::string fileName_;
};
