// The MP3 file end of a recording: a sink that takes captured PCM, has the
// encoder encode it, and writes what the encoder gives to one file, kept
// open from the start of the recording to its end.
//
//   capture thread:  write(pcm)  -> encoder.lazyWrite (queued, returns at once)
//   encoder thread:  encoded bytes -> the open file (one write per block)
//   main thread:     close() -> encoder.close() drains the queue into the
//                    file, then the file is closed
//
// The encoder's thread is woken once every kWakeBlocks captured blocks
// (half a second of 100 ms blocks) rather than for each one; close encodes
// whatever waits. Each encoded block is written straight to the file (no
// buffering of our own), so a crash loses at most what the encoder still
// had queued, about half a second. A block
// that cannot be written (disk full, device error) sets writeFailed(); the
// blocks after it are dropped, and what was written stays a valid file up
// to that point. The controller checks writeFailed() on its timer, the way
// it checks the WAV writer.
//
// Ownership: the sink does not own the encoder; the encoder must outlive it.
// For its whole life (construction to destruction) the sink is the
// encoder's onDataAvailable handler and sets its writer's wakeEvery; change
// neither meanwhile.
//
// Threads: open, close and the destructor on the main thread; write on the
// capture thread; the encoder's handler on the encoder's thread (and on the
// main thread while close() lets the encoder deliver its final bytes).
// writeFailed, bytesWritten and isOpen may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class unaAbstractEncoder;

class unaEncoderFileSink {
public:
    // Captured blocks queued per wake of the encoder's thread.
    static constexpr uint32_t kWakeBlocks = 5;

    explicit unaEncoderFileSink(unaAbstractEncoder& encoder);
    // Closes a recording still open (finishing its file).
    ~unaEncoderFileSink();
    unaEncoderFileSink(const unaEncoderFileSink&) = delete;
    unaEncoderFileSink& operator=(const unaEncoderFileSink&) = delete;

    // Main thread, after the encoder has been configured and opened:
    // creates the file (emptying one that exists) and starts taking data.
    // False when the file cannot be created; nothing is taken then.
    bool open(const std::string& fileName);
    // Capture thread: queues a block of PCM to the encoder while open; a
    // block arriving while closed is ignored.
    void write(const void* data, uint32_t len);
    // Main thread: stops taking data, closes the encoder (which encodes what
    // is queued and delivers its final bytes into the file) and closes the
    // file. Returns the encoder's close result; 0 when nothing was open.
    int32_t close();

    bool isOpen() const { return open_.load(std::memory_order_acquire); }
    // True once a block could not be written to the current file.
    bool writeFailed() const { return writeFailed_.load(std::memory_order_acquire); }
    // Bytes written to the current file.
    uint64_t bytesWritten() const { return bytesWritten_.load(std::memory_order_relaxed); }
    const std::string& fileName() const { return fileName_; }

private:
    // Encoder thread: writes one block of encoded bytes to the file.
    void onEncoded(const void* data, uint32_t size);

    unaAbstractEncoder& encoder_;
    std::string fileName_;          // main thread
    std::atomic<int> fd_{-1};       // set before data flows, cleared after the encoder closed
    std::atomic<bool> open_{false}; // taking captured data
    std::atomic<bool> writeFailed_{false};
    std::atomic<uint64_t> bytesWritten_{0};
};
