// unaFileStream: the stream interface over one file, used by the WAV writer.
//
// Access and share values keep their classic numbers and map to POSIX:
//  - access GENERIC_READ -> O_RDONLY, GENERIC_WRITE -> O_WRONLY, both ->
//    O_RDWR; the file is opened when it exists and created (mode 0666 less
//    the umask) otherwise.
//  - share modes become advisory flock() locks, honoured between Sonvale
//    streams (other programs are not held back): a share mode without
//    FILE_SHARE_WRITE takes an exclusive lock when this stream writes and a
//    shared lock when it only reads; with FILE_SHARE_WRITE no lock is taken.
//    A lock that cannot be had makes the open fail.
// With loop set, reads wrap around to the start of the file, so the stream
// delivers its content endlessly.
//
// Every operation runs under the stream's gate; any thread may call it,
// though the system touches one file stream from one thread at a time.
#pragma once

#include "core/unaStream.h"

#include <cstdint>
#include <string>

inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t FILE_SHARE_READ = 0x00000001u;
inline constexpr uint32_t FILE_SHARE_WRITE = 0x00000002u;

class unaFileStream : public unaAbstractStream {
public:
    // Opens the file at once when fileName is not empty.
    explicit unaFileStream(const std::string& fileName = std::string(), bool loop = false,
                           uint32_t shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE,
                           uint32_t access = GENERIC_READ | GENERIC_WRITE);
    ~unaFileStream() override;

    // Closes any open file, then opens fileName. isValid() tells the result.
    bool open(const std::string& fileName, uint32_t access = GENERIC_READ | GENERIC_WRITE,
              bool loop = false, uint32_t shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE);
    void close();

    // Position from the start (fromBeginning) or from the end of the file.
    int64_t seek(int64_t position, bool fromBeginning = true) override;
    // Moves by delta; never before the start of the file.
    int64_t seekRelative(int64_t delta) override;
    int64_t getPosition() override;
    // Cuts the file to 0 bytes.
    void clear() override;
    // Writes at the current position; returns the bytes written (size on
    // success, 0 when nothing could be written, fewer on a full disk).
    uint32_t write(const void* buffer, uint32_t size) override;
    // Reads at the current position (wrapping with loop). With remove false
    // the position is left where it was.
    uint32_t read(void* buffer, uint32_t size, bool remove = true) override;
    int64_t getSize() override;
    // Bytes from the position to the end (the whole file with loop), at most
    // 4 GiB - 1.
    uint32_t getAvailableSize() override;
    // One positioned write (pwrite); the position does not move.
    uint32_t writeAt(int64_t offset, const void* buffer, uint32_t size) override;

    const std::string& fileName() const { return fileName_; }
    bool loop() const { return loop_; }
    uint32_t access() const { return access_; }
    uint32_t shareMode() const { return shareMode_; }

private:
    uint32_t readAt(uint8_t* out, uint32_t size);
    int64_t fileLength();

    int fd_ = -1; // -1 when closed
    std::string fileName_;
    int64_t position_ = 0;
    uint32_t access_ = GENERIC_READ | GENERIC_WRITE;
    uint32_t shareMode_ = FILE_SHARE_READ | FILE_SHARE_WRITE;
    bool loop_ = false;
};
