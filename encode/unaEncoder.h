// The codec-independent encoder and its lazy-write thread.
//
// A recording hands every captured PCM block to lazyWrite, which only queues
// it and returns. The encoder's own thread (unaLazyWriteThread, the
// "writer") takes the queue in blocks of exactly chunkSize bytes, has each
// encoded by the descendant's doEncode, and hands the encoded bytes to
// onDataAvailable (or to outStream when no handler takes them). close drains
// the queue, encodes the short last block, waits until the writer has
// finished its last step, and only then ends the library stream, whose final
// bytes it delivers itself.
//
// Ownership: the encoder owns outStream, the writer and outBuf. Descendants
// (unaBladeMp3Enc) fill in the four do* operations and must call close() in
// their own destructor, since the base destructor can no longer reach them.
//
// Threads: setConfig, open and close run on one controlling thread (the
// main thread). lazyWrite runs on the capture thread. doEncode and
// onDataAvailable run on the writer thread; close also raises
// onDataAvailable once more, on the controlling thread, for the final bytes.
// The library stream is never used by two threads at once. totalEncoded may
// be read from any thread. Set onDataAvailable before open, not while a
// recording runs.
#pragma once

#include "core/unaEvent.h"
#include "core/unaObject.h"
#include "core/unaStream.h"
#include "core/unaThread.h"
#include "encode/unaEncoderCodes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class unaAbstractEncoder;

// Handler of encoded output: sender, bytes, their count, and whether the
// bytes should also be kept in outStream (preset false).
using unaEncoderDataEvent = std::function<void(unaAbstractEncoder* sender, const void* data,
                                               uint32_t size, bool& copyToStream)>;

// The writer: a thread that encodes the PCM queue in chunkSize blocks.
class unaLazyWriteThread : public unaThread {
public:
    unaLazyWriteThread(unaAbstractEncoder& encoder, int32_t priority);
    ~unaLazyWriteThread() override;

    // Capture thread: queues a copy of the block and wakes the writer once
    // every wakeEvery blocks. A null block or size 0 queues nothing and
    // wakes nobody.
    void write(const void* block, uint32_t size);

    // Blocks queued per wake of the writer (1: every block). A recording
    // that queues 100 ms blocks sets 5, so the writer wakes twice a second;
    // flush and stop wake it whatever is queued, so nothing waits for ever.
    // Any thread; 0 counts as 1.
    std::atomic<uint32_t> wakeEvery{1};

    // Controlling thread: lets the writer encode what is queued, the short
    // last block included, and returns once fewer than 2 bytes remain. When
    // the writer is not running (its start failed, or it ended early) the
    // rest is encoded here on the calling thread, so nothing queued is lost
    // and nothing waits forever. Called on the writer thread itself it only
    // asks for the flush and returns.
    void flush();

    // Controlling thread, before a new run: forgets anything queued (a late
    // block or a lone odd byte of the last recording would otherwise shift
    // the samples of the next one) and leaves flushing mode.
    void reset();

    // Controlling thread: starts a run (see unaThread::start).
    bool begin(uint32_t timeout);

    // Bytes waiting to be encoded.
    uint32_t queuedBytes() { return static_cast<uint32_t>(queue_.getSize()); }
    bool flushing() const { return flushing_.load(std::memory_order_acquire); }

protected:
    // Writer thread: waits for data (without a time-out), encodes it step by step under the
    // thread's gate; ends by itself once a flush has drained the queue.
    int32_t execute() override;
    // Writer thread, last thing a run does with this object's own code:
    // marks the run as ended (see runEnded_).
    void onThreadEnd() override;
    // Any thread, from stop: wakes the writer.
    void onStopRequested() override;

private:
    // One encode step; the caller holds the gate. n is the block size in
    // force (the encoder's chunkSize, or less for the last block of a
    // flush). True when a flush has drained the queue.
    bool step(uint32_t& n);

    unaAbstractEncoder& encoder_;
    unaEvent dataReady_{false, false};
    std::atomic<bool> flushing_{false};    // changed under the gate
    std::atomic<uint32_t> unsignalled_{0}; // blocks queued since the last wake
    unaMemoryStream queue_;                // its own lock serialises capture and writer
    std::vector<uint8_t> workBuf_;         // used by whoever runs step()
    // Set (manual reset) once a run has left onThreadEnd, or when none was
    // started. A run that ends by itself is already "stopped" before its
    // end hooks have run; the destructor waits for this before the object
    // goes away under them.
    unaEvent runEnded_{true, true};
};

class unaAbstractEncoder : public unaObject {
public:
    explicit unaAbstractEncoder(int32_t priority = THREAD_PRIORITY_NORMAL);
    ~unaAbstractEncoder() override;

    // Closes any recording, then opens a library stream with the given
    // configuration record (its layout belongs to the descendant). 0 on
    // success; otherwise the encoder stays not configured.
    int32_t setConfig(const void* config);

    // Starts a recording: empties outStream, resets totalEncoded, starts the
    // writer. encErrNotConfigured without a successful setConfig; 0 also
    // when already open.
    int32_t open();

    // Queues PCM for the writer; returns at once. Capture thread.
    void lazyWrite(const void* block, uint32_t size) { writer_->write(block, size); }

    // Ends a recording: drains the queue, ends the library stream and
    // delivers its final bytes. Afterwards the encoder is not configured.
    // 0, or the library's code for a failing end of stream.
    int32_t close();

    int32_t lastError() const { return lastError_; }
    // Encoded bytes produced since open (wraps at 2^32). Any thread.
    uint32_t totalEncoded() const { return totalEncoded_.load(std::memory_order_relaxed); }
    bool configOK() const { return configOK_; }
    bool active() const { return active_; }
    uint32_t chunkSize() const { return chunkSize_; }
    uint32_t outBufSize() const { return outBufSize_; }
    int32_t priority() const { return priority_; }
    unaMemoryStream& outStream() { return outStream_; }
    unaLazyWriteThread& writer() { return *writer_; }

    unaEncoderDataEvent onDataAvailable;

protected:
    // Slot 1: opens a library stream; sets chunkSize_ and outBufSize_.
    virtual int32_t doSetConfig(const void* config) = 0;
    // Slot 2: start of encoding.
    virtual int32_t doOpen() = 0;
    // Slot 3: ends the library stream; may leave final bytes in outBuf_ with
    // their count in encodedBytes_.
    virtual int32_t doClose() = 0;
    // Slot 4: encodes size bytes of PCM into outBuf_ / encodedBytes_.
    virtual int32_t doEncode(const void* block, uint32_t size) = 0;

    uint8_t* outBuf() { return outBuf_.data(); }
    void setLastError(int32_t value) { lastError_ = value; }
    uint32_t outBufAllocated() const { return static_cast<uint32_t>(outBuf_.size()); }

    // Written by the descendant's do* operations.
    uint32_t encodedBytes_ = 0;
    uint32_t chunkSize_ = 0;
    uint32_t outBufSize_ = 0;

private:
    friend class unaLazyWriteThread;

    // Writer thread (or the closing thread while no writer runs): one block
    // through doEncode and, on success, to the output.
    void encodeBlock(const void* block, uint32_t size);
    // Hands encodedBytes_ of outBuf_ to the handler or outStream.
    void deliverOutput();

    const int32_t priority_;
    unaMemoryStream outStream_;
    std::unique_ptr<unaLazyWriteThread> writer_;
    int32_t lastError_ = 0;
    bool configOK_ = false;
    bool active_ = false;
    std::vector<uint8_t> outBuf_; // only grows
    std::atomic<uint32_t> totalEncoded_{0};
};
