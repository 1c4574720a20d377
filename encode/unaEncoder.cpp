#include "encode/unaEncoder.h"

#include "core/unaKernel.h"

#include <pthread.h>

#include <algorithm>

namespace {

constexpr uint32_t kStepGateMs = 100;  // writer: how long it tries to enter its gate
constexpr uint32_t kFlushPollMs = 100; // flush: longest pause between looks at the queue
constexpr uint32_t kStartTimeoutMs = 10000;

} // namespace

// --- unaLazyWriteThread ------------------------------------------------------

unaLazyWriteThread::unaLazyWriteThread(unaAbstractEncoder& encoder, int32_t priority)
    : unaThread(priority), encoder_(encoder) {}

unaLazyWriteThread::~unaLazyWriteThread() {
    stop(INFINITE_TIMEOUT);
    if (threadId() != currentThreadId())
        runEnded_.waitFor(INFINITE_TIMEOUT);
}

bool unaLazyWriteThread::begin(uint32_t timeout) {
    if (status() != unatsStopped)
        return true;
    runEnded_.waitFor(INFINITE_TIMEOUT); // the last run's end hook has come
    runEnded_.setState(false);
    const bool started = start(timeout);
    if (!started)
        runEnded_.setState(true); // no run began: no end hook will come
    return started;
}

void unaLazyWriteThread::onStopRequested() {
    dataReady_.setState(true);
}

void unaLazyWriteThread::onThreadEnd() {
    runEnded_.setState(true);
}

void unaLazyWriteThread::write(const void* block, uint32_t size) {
    if (!block || size == 0)
        return;
    queue_.write(block, size);
    if (unsignalled_.fetch_add(1, std::memory_order_relaxed) + 1 < wakeEvery.load())
        return;
    unsignalled_.store(0, std::memory_order_relaxed);
    dataReady_.signal();
}

void unaLazyWriteThread::reset() {
    enter(INFINITE_TIMEOUT);
    flushing_.store(false, std::memory_order_release);
    queue_.clear();
    unsignalled_.store(0, std::memory_order_relaxed);
    leave();
}

bool unaLazyWriteThread::step(uint32_t& n) {
    uint32_t avail = static_cast<uint32_t>(queue_.getAvailableSize());
    const bool isFlushing = flushing_.load(std::memory_order_acquire);
    if (avail < n && !isFlushing)
        return false;
    if (isFlushing)
        n = std::min(avail, n);
    if (n > 1) {
        if (workBuf_.size() < n)
            workBuf_.resize(n);
        const uint32_t got = static_cast<uint32_t>(queue_.read(workBuf_.data(), n, true));
        if (got > 1)
            encoder_.encodeBlock(workBuf_.data(), got);
        avail = static_cast<uint32_t>(queue_.getAvailableSize());
        if (avail > 0)
            dataReady_.setState(true); // go on without waiting
    }
    if (!isFlushing)
        return false;
    if (avail < 2)
        return true;
    n = encoder_.chunkSize();
    return n < 2; // no usable block size: nothing more can be encoded
}

int32_t unaLazyWriteThread::execute() {
    pthread_setname_np(pthread_self(), "lazyWrite");
    uint32_t n = encoder_.chunkSize();
    workBuf_.resize(n);
    while (!shouldStop()) {
        // New data, a flush and stop all signal dataReady_: no time-out.
        if (!dataReady_.waitFor(INFINITE_TIMEOUT))
            continue;
        if (!enter(kStepGateMs)) {
            dataReady_.setState(true); // nothing queued is forgotten
            continue;
        }
        // Left on every way out, an exception from the encoder included: a
        // gate kept by an ended thread would block close forever.
        struct Leave {
            unaLazyWriteThread& t;
            ~Leave() { t.leave(); }
        } leaveGate{*this};
        if (step(n))
            break;
    }
    return 0;
}

void unaLazyWriteThread::flush() {
    enter(INFINITE_TIMEOUT);
    flushing_.store(true, std::memory_order_release);
    leave();
    dataReady_.setState(true);
    const bool onWriter = threadId() == currentThreadId() && status() != unatsStopped;
    while (queue_.getSize() >= 2) {
        dataReady_.setState(true);
        if (onWriter)
            return;
        if (status() == unatsStopped) {
            // Nobody else will drain the queue: do it here. With no writer
            // running, the library stream is ours alone.
            unaGateGuard<unaLazyWriteThread> guard(*this);
            uint32_t n = encoder_.chunkSize();
            while (!step(n)) {
            }
            return;
        }
        // The writer ends by itself once it has drained the queue.
        runEnded_.waitFor(kFlushPollMs);
    }
}

// --- unaAbstractEncoder --------------------------------------------------------

unaAbstractEncoder::unaAbstractEncoder(int32_t priority)
    : priority_(priority), writer_(std::make_unique<unaLazyWriteThread>(*this, priority)) {}

unaAbstractEncoder::~unaAbstractEncoder() {
    // A descendant has closed already; only the writer is left to stop.
    writer_->stop(INFINITE_TIMEOUT);
    writer_.reset();
    lastError_ = 0;
}

int32_t unaAbstractEncoder::setConfig(const void* config) {
    close();
    const int32_t result = doSetConfig(config);
    if (result == 0 && outBuf_.size() < outBufSize_)
        outBuf_.resize(outBufSize_);
    lastError_ = result;
    configOK_ = result == 0;
    return result;
}

int32_t unaAbstractEncoder::open() {
    int32_t result = 0;
    if (!configOK_) {
        result = encErrNotConfigured;
    } else if (!active_) {
        outStream_.clear();
        totalEncoded_.store(0, std::memory_order_relaxed);
        writer_->reset();
        writer_->begin(kStartTimeoutMs); // a writer that fails to start is covered by flush
        doOpen();
        active_ = true;
    }
    lastError_ = result;
    return result;
}

int32_t unaAbstractEncoder::close() {
    if (active_) {
        writer_->flush();
        // The writer ends by itself after the flush; waiting for it makes sure
        // the encode step it may still be in has finished before the library
        // stream is ended below.
        writer_->stop(INFINITE_TIMEOUT);
    }
    int32_t result = 0;
    if (configOK_) {
        result = doClose();
        if (result == 0)
            deliverOutput();
        encodedBytes_ = 0;
        active_ = false;
        configOK_ = false;
    }
    active_ = false;
    lastError_ = result;
    return result;
}

void unaAbstractEncoder::encodeBlock(const void* block, uint32_t size) {
    if (doEncode(block, size) == 0)
        deliverOutput();
    else
        encodedBytes_ = 0; // that block's output is lost; encoding goes on
}

void unaAbstractEncoder::deliverOutput() {
    const uint32_t n = std::min(encodedBytes_, outBufAllocated());
    encodedBytes_ = 0;
    if (n == 0)
        return;
    totalEncoded_.fetch_add(n, std::memory_order_relaxed);
    bool copyToStream = true;
    if (onDataAvailable) {
        copyToStream = false;
        onDataAvailable(this, outBuf_.data(), n, copyToStream);
    }
    if (copyToStream)
        outStream_.write(outBuf_.data(), n);
}
