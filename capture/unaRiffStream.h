// unaRiffStream: a software wave device that writes a RIFF WAVE file from the
// PCM written into it, or reads one and delivers its sound chunk by chunk.
//
// Writer: created with a file name and a PCM format; creating it creates (or
// opens) the file. open truncates the file and writes the 80-byte header
// (WaveHeader.h); the device's thread appends every block written into the
// input stream and, at most once a second, brings the header's sizes up to
// what the file holds (one positioned write of the header), so a recording
// cut off by a crash loses at most about a second; close writes the final
// sizes and closes the file. The writer is lazy: a write wakes its thread
// only once half a second of sound (kWakeChunks blocks) waits, so the
// thread wakes twice a second while recording in real time; close writes
// whatever is still waiting. Past 4 GiB the file becomes RF64. Opening again
// starts a new recording in the same file. Without a file (riffStatus 2) the
// writer keeps no input stream: what is written into it is dropped at once.
// A failed write stops the writing and is remembered (writeFailed); close
// then patches the sizes to what the file really holds, so the file stays a
// valid WAV file.
//
// Reader: parses its file (unaRIFile) when created or when openRiffFile is
// called; while open it delivers one chunk per pass (paced by the timer when
// realTime), converting compressed data to PCM through an unaMsAcmCodec. At
// the end it pads the last chunk with silence and stops (isEof) or starts
// again at the first data chunk (loop). A file whose data chunks hold no
// bytes ends even with loop.
//
// Threads: construction, openRiffFile, open and close on the controlling
// thread; write() on the producer's thread; everything else on the device's
// thread. The file is touched by the device's thread only between open and
// close. Observers are safe from any thread.
#pragma once

#include "capture/WaveHeader.h"
#include "capture/unaMsAcmCodec.h"
#include "capture/unaRIFile.h"
#include "capture/unaWaveDevice.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class unaMsAcm;

class unaRiffStream : public unaWaveSoftwareDevice {
public:
    enum : int32_t {
        // reader
        rsReady = 0,
        rsNotRiff = -1,
        rsNoFormat = -2,
        rsNoAcm = -3,
        rsNoDriver = -4,
        rsNoCodec = -5,
        // writer
        rsWriterReady = 1,
        rsWriterNoFile = 2,
    };

    // Scan flags.
    enum : uint32_t {
        scanFormat = 1,
        scanNextData = 2,
        scanWholeTree = 4,
    };

    // Largest chunk a reader accepts; a file whose format asks for more is
    // treated as having no usable format.
    static constexpr uint32_t kMaxReaderChunk = 4u << 20;

    // Writer of a PCM file.
    unaRiffStream(const std::string& fileName, const WAVEFORMATEX& format, uint32_t formatTag,
                  unaMsAcm* acm);
    // Reader.
    unaRiffStream(const std::string& fileName, bool realTime, bool loop, unaMsAcm* acm);
    ~unaRiffStream() override;

    const char* className() const override { return "unaRiffStream"; }

    // Reader: closes, then parses the named file. The status (0 or
    // rsNotRiff .. rsNoCodec) is stored in riffStatus and returned.
    int32_t openRiffFile(const std::string& name);

    // Reader internals (used by the device's thread; public for checks).
    bool scanChunks(unaRIFFChunk* chunk, uint32_t flags);
    void rewind();
    bool fillBuffer();
    const std::vector<uint8_t>& buffer() const { return buffer_; }

    bool isInput() const { return isInput_; }
    int32_t riffStatus() const { return riffStatus_.load(); }
    const std::string& fileName() const { return fileName_; }
    bool isEof() const { return isEof_.load(); }
    std::atomic<bool> loop{false};
    uint64_t totalDataSize() const { return totalDataSize_; }
    uint64_t readBytes() const { return readBytes_.load(); }
    uint64_t consumedBytes() const { return consumedBytes_; }
    uint32_t factValue() const { return factValue_; }
    uint64_t dataSize() const { return dataSize_.load(); }
    uint32_t dataSizePos() const { return dataSizePos_; }
    // Blocks the writer's queue holds before it first grows.
    static constexpr uint32_t kRingChunks = 20;
    // Blocks that wait before a write wakes the writer's thread.
    static constexpr uint32_t kWakeChunks = 5;
    // Longest time between two header refreshes while data arrive.
    static constexpr uint32_t kHeaderRefreshMs = 1000;
    // The refresh period in use; 0 writes the sizes only at close (for
    // measuring what the refresh costs). Set before open.
    std::atomic<uint32_t> headerRefreshMs{kHeaderRefreshMs};
    bool writeFailed() const { return writeFailed_.load(); }
    unaRIFile* riff() const { return riff_.get(); }
    unaMsAcmCodec* codec() const { return codec_.get(); }

    // Writer: opens the file for a recording (read and write, created when
    // missing). Tests substitute streams that fail on purpose.
    std::function<unaAbstractStream*(const std::string& name)> fileFactory;

protected:
    MMRESULT afterOpen() override;
    void afterClose(MMRESULT result) override;
    bool handleHeader(unaMsAcmDeviceHeader* header) override;
    // Producer's thread: wakes a writer's thread once kWakeChunks blocks
    // wait (a reader's at once).
    void onInputWritten() override;

private:
    static unaAbstractStream* openFileStream(const std::string& name);
    bool writerAfterOpen();
    // Device thread: writes the sizes when the refresh period would run out
    // before the next wake (the thread wakes once per kWakeChunks blocks)
    // and the data grew.
    void refreshHeader();
    void writeHeaderSizes(uint64_t dataBytes);
    bool writeAll(const void* data, uint32_t size);
    bool readerHandle();
    // Makes the next data chunk in file order current; false at the end.
    bool nextDataChunk();

    const bool isInput_;
    std::atomic<int32_t> riffStatus_{0};
    std::string fileName_;
    unaMsAcm* acm_; // not owned
    std::atomic<bool> isEof_{false};

    // writer
    std::unique_ptr<unaAbstractStream> file_;
    std::atomic<uint64_t> dataSize_{0};
    uint32_t dataSizePos_ = 0;
    wave_header::Image header_{};
    uint32_t blockAlign_ = 0;
    uint64_t headerWrittenData_ = 0;
    std::chrono::steady_clock::time_point lastRefresh_{};
    std::atomic<bool> writeFailed_{false};
    uint32_t formatTag_ = WAVE_FORMAT_PCM;

    // reader
    std::unique_ptr<unaRIFile> riff_;
    std::unique_ptr<unaMsAcmCodec> codec_;
    uint64_t totalDataSize_ = 0;
    std::atomic<uint64_t> readBytes_{0};
    uint64_t consumedBytes_ = 0;
    uint32_t factValue_ = 0;
    unaRIFFChunk* currentChunk_ = nullptr;
    uint64_t chunkPos_ = 0;
    bool copiedSinceRewind_ = false;
    bool formatFound_ = false;
    // Data chunks in file order (found by the whole-tree scan); those before
    // nextData_ are used up.
    std::vector<unaRIFFChunk*> dataChunks_;
    size_t nextData_ = 0;
    std::vector<uint8_t> codecOut_;
    // Bytes one pass delivers (0: nothing to play); buffer_ takes this size
    // at the next pass.
    uint32_t readerChunk_ = 0;

    std::vector<uint8_t> buffer_;
};
