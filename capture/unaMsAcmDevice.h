// Stream devices: the thread objects that move sound in fixed-size chunks.
//
// unaMsAcmStreamDevice owns an operating-system audio handle, a source and a
// destination wave format, an optional input stream and an optional output
// stream, and a list of buffer headers. Every chunk it produces goes to the
// onChunk hook, to its output stream, or to both (deliverChunk). The chunk
// size follows from the primary format: 100 ms of sound (200 ms when the byte
// rate is not a multiple of 10), rounded up to whole sample blocks.
//
// unaMsAcmDeviceHeader is one buffer handed to the operating system; the
// device owns its headers (the `headers` list) and frees them all on close.
//
// Threads:
//  - construction, setFormat, assignStream, open, close and the option
//    setters run on the controlling thread (the main thread, through the
//    pipe components);
//  - the device's own thread runs the buffer loop (unaWaveDevice), calls
//    deliverChunk and so onChunk (a wave-in device runs the loop on the
//    platform's capture thread while recording, one pass at a time: "the
//    device's thread" below means whichever thread runs the pass);
//  - write() is called by whoever feeds the input stream (the capture thread
//    of another device); readOutput() by whoever drains the output stream.
// The stream pointers are guarded by streamGate_, so a stream may be
// replaced (assignStream) while the device's thread delivers.
//
// Concrete devices must call shutdown() in their own destructor: closing
// runs their overrides, which are gone once this base destructor runs.
#pragma once

#include "core/unaEvent.h"
#include "core/unaGate.h"
#include "core/unaList.h"
#include "core/unaObject.h"
#include "core/unaStream.h"
#include "core/unaThread.h"
#include "platform/mmsystem.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class unaMsAcmStreamDevice;

// A buffer header. The sequence number orders delivery: headers are delivered
// strictly in the order in which they were queued.
class unaMsAcmDeviceHeader : public unaObject {
public:
    explicit unaMsAcmDeviceHeader(unaMsAcmStreamDevice* device) : device_(device) {}
    // Descendants call unprepare() in their destructor (it needs their
    // operating-system record).
    ~unaMsAcmDeviceHeader() override = default;

    virtual bool isFlagSet(uint32_t mask) const = 0;
    virtual void setFlag(uint32_t mask, bool on) = 0;
    // Hand the header to the device's prepare/unprepare.
    MMRESULT prepare();
    MMRESULT unprepare();
    // Draws the next sequence number (when takeNextSequence) and marks the
    // header unprocessed.
    virtual void rearm();
    virtual bool isDone() const = 0;
    virtual bool isInQueue() const = 0;

    unaMsAcmStreamDevice* device() const { return device_; }
    uint32_t sequence() const { return sequence_; }
    bool isProcessed() const { return isProcessed_; }
    void setProcessed(bool value) { isProcessed_ = value; }
    bool takeNextSequence = true;

private:
    friend class unaMsAcmStreamDevice;
    unaMsAcmStreamDevice* device_; // not owned; cleared when the device is torn down
    uint32_t sequence_ = 0;
    bool isProcessed_ = true;
};

class unaMsAcmStreamDevice : public unaThread {
public:
    // Hook called for every delivered chunk on the device's thread.
    using ChunkHook =
        std::function<void(unaMsAcmStreamDevice* sender, const void* data, uint32_t length)>;

    unaMsAcmStreamDevice();
    ~unaMsAcmStreamDevice() override;

    // --- formats -------------------------------------------------------------
    // Stores a packed format (format2str) on one side; for the primary side
    // also the chunk size, overflow limits and volume channels. False when the
    // thread gate cannot be had within 10 s or the text decodes to nothing.
    virtual bool setFormat(bool isSource, const std::string& packed);
    virtual bool setFormatRecord(bool isSource, const WAVEFORMATEX* record);
    // Copies of the current formats (zeroed record and false when none).
    bool getFormat(bool isSource, WAVEFORMATEX& out) const;
    // The full format record including extra bytes; empty when none.
    std::string formatText(bool isSource) const;
    virtual bool primaryFormatIsSource() const = 0;

    // --- open / close --------------------------------------------------------
    virtual MMRESULT open(bool query = false, uint32_t timeout = 10000, uint32_t flags = 0);
    virtual MMRESULT close(uint32_t timeout = 10000);
    bool isOpen() const { return handle_.load(std::memory_order_acquire) != 0; }
    // Whether open starts the device's thread; a device that does all its
    // work in the writer's calls has no thread to start.
    virtual bool runsThread() const { return true; }

    // --- streams -------------------------------------------------------------
    // Replaces the stream of one side (freeing the old one when owned). Null
    // when the thread gate cannot be had within 10 s.
    unaAbstractStream* assignStream(bool isInput, unaAbstractStream* stream, bool owned);
    // Feeds the input stream; bytes accepted.
    uint32_t write(const void* data, uint32_t length);
    // Reads and removes from the output stream. Size 0 with a memory stream
    // reads exactly what is left of its oldest block.
    uint32_t readOutput(void* buffer, uint32_t size);
    uint32_t readInput(void* buffer, uint32_t size);
    uint32_t deliverChunk(const void* data, uint32_t length);
    uint32_t getDataAvailable(bool isInput);
    // Any thread: wakes the device's thread to take what its input stream
    // holds now (a lazy writer, whose thread otherwise waits for a backlog,
    // when its producer leaves).
    void wakeForInput() { deviceEvent_.signal(); }
    bool outIsMemoryStream() const { return outIsMemoryStream_; }

    // --- volume --------------------------------------------------------------
    uint32_t getVolume(uint32_t channel);
    uint32_t getPrevVolume(uint32_t channel);
    virtual void setCalcVolume(bool value);
    bool calcVolume() const { return calcVolume_.load(std::memory_order_relaxed); }

    // The level of each quarter of the last measured block for the first two
    // channels (the level meter plays them out between blocks), measured in
    // the same pass over the samples as the block's level. `block` counts the
    // blocks measured (0: none yet); levels are those of getVolume, for a
    // quarter of the block each.
    static constexpr uint32_t kLevelWindows = 4;
    static constexpr uint32_t kLevelChannels = 2;
    struct LevelWindows {
        uint32_t block = 0;
        uint32_t level[kLevelChannels][kLevelWindows] = {};
    };
    // Any thread: a consistent copy of the last block's windows (written by
    // the device's thread without a lock; the copy is retried when a block
    // was being stored meanwhile).
    LevelWindows levelWindows() const;

    virtual void setRealTime(bool value) { realTime_.store(value); }
    bool realTime() const { return realTime_.load(); }

    virtual std::string getErrorText(MMRESULT code);
    // Class name used in diagnostics.
    virtual const char* className() const { return "unaMsAcmStreamDevice"; }

    // --- observers -----------------------------------------------------------
    uint32_t chunkSize() const { return chunkSize_.load(std::memory_order_acquire); }
    uint32_t chunksPerSecond() const { return chunksPerSecond_.load(std::memory_order_acquire); }
    uint64_t inBytes() const { return inBytes_.load(); }
    uint64_t outBytes() const { return outBytes_.load(); }
    uint64_t skippedBytes() const { return skippedBytes_.load(); }
    uint64_t inOverflowBytes() const { return inOverflowBytes_.load(); }
    uint64_t outOverflowBytes() const { return outOverflowBytes_.load(); }
    uint32_t queuedHeaders() const { return queuedHeaders_.load(); }
    uint32_t headerCount();
    const std::string& srcFormatText() const { return srcFormatText_; }
    const std::string& dstFormatText() const { return dstFormatText_; }
    unaEvent& dataEvent() { return dataEvent_; }

    // Overflow limits in chunks (0 = none); the byte limits follow at the next
    // format change of the matching side.
    std::atomic<uint32_t> inOverNum{0};
    std::atomic<uint32_t> outOverNum{0};
    uint32_t inOverSize() const { return inOverSize_.load(); }
    uint32_t outOverSize() const { return outOverSize_.load(); }

    // Set by the owner before open; called on the device's thread.
    ChunkHook onChunk;

    // Used by the headers.
    uint32_t nextSequence() { return sequenceCounter_.fetch_add(1) + 1; }
    virtual MMRESULT prepareHeader(unaMsAcmDeviceHeader* header) = 0;
    virtual MMRESULT unprepareHeader(unaMsAcmDeviceHeader* header) = 0;

protected:
    void onThreadStart() override;

    // Operating-system side of open/close; both may set deviceEvent_.
    virtual MMRESULT doOpen(uint32_t flags);
    virtual MMRESULT doClose(uint32_t timeout);
    virtual bool checkChunk(const void* data, uint32_t length);
    virtual MMRESULT afterOpen();
    virtual void afterClose(MMRESULT result);
    // Called by close() after the thread has stopped, before the headers are
    // taken back: a device makes sure none is still queued (a thread that
    // never ran did not reset the device on its way out).
    virtual void returnQueuedHeaders() {}
    // Called at the end of every write(); lets a device wake its thread or
    // process its input at once.
    virtual void onInputWritten() {}

    // Stops the thread and closes the device. Concrete classes call it first
    // in their destructor.
    void shutdown();

    // The header the buffer loop may deliver next: done and carrying the
    // sequence number after the last delivered one. Null when none.
    unaMsAcmDeviceHeader* nextDeliverableHeader();
    void addHeader(unaMsAcmDeviceHeader* header) { headers_.add(header); }

    // Forgets the format of one side.
    void clearFormat(bool isSource);
    // Stores the format text of a side; description for display only.
    static std::string describeFormat(const WAVEFORMATEX* format);
    // Primary format values snapshot (read on the device's thread).
    uint16_t primaryChannels() const { return primaryChannels_.load(); }
    uint16_t primaryBits() const { return primaryBits_.load(); }

    std::atomic<uintptr_t> handle_{0};
    std::atomic<uint32_t> queuedHeaders_{0};
    std::atomic<uint32_t> chunkSize_{0};
    std::atomic<uint32_t> chunksPerSecond_{0};
    std::atomic<uint64_t> inBytes_{0};
    std::atomic<uint64_t> outBytes_{0};
    std::atomic<uint64_t> skippedBytes_{0};
    std::atomic<uint64_t> inOverflowBytes_{0};
    std::atomic<uint64_t> outOverflowBytes_{0};
    std::atomic<uint32_t> lastSequence_{0};
    std::atomic<bool> calcVolume_{false};
    bool savedCalcVolume_ = false; // controlling thread
    unaEvent deviceEvent_{false, false};
    unaEvent dataEvent_{false, false};

private:
    void clearStreams();
    void removeAllHeaders();

    std::atomic<bool> realTime_{false};
    std::atomic<uint32_t> inOverSize_{0};
    std::atomic<uint32_t> outOverSize_{0};
    std::atomic<uint32_t> sequenceCounter_{0};
    std::atomic<uint16_t> primaryChannels_{0};
    std::atomic<uint16_t> primaryBits_{0};
    std::atomic<bool> primaryIsPcm_{false};

    // Device thread: stores one block's windows (levelSeq_ is odd while it
    // does; each stored block adds 2).
    void storeLevelWindows(const uint32_t (&level)[kLevelChannels][kLevelWindows]);
    std::atomic<uint32_t> levelSeq_{0};
    std::atomic<uint32_t> windowLevel_[kLevelChannels][kLevelWindows] = {};

    std::string srcFormatText_, dstFormatText_;
    // Format records (allocBlock'ed by str2format); guarded by formatGate_.
    WAVEFORMATEX* srcFormat_ = nullptr;
    WAVEFORMATEX* dstFormat_ = nullptr;
    mutable unaInProcessGate formatGate_;

    // Per-channel RMS levels of the primary format (values stored in slots).
    unaList volume_;
    unaList prevVolume_;

    unaInProcessGate openGate_;
    // Guards the stream pointers and their flags.
    unaInProcessGate streamGate_;
    unaAbstractStream* inStream_ = nullptr;
    unaAbstractStream* outStream_ = nullptr;
    bool ownsInStream_ = true;
    bool ownsOutStream_ = true;
    bool outIsMemoryStream_ = false;

    unaObjectList headers_{true};
};

// The text of a multimedia result code: "<code> (<text>)" or the code alone.
std::string mmErrorText(MMRESULT code);
