#include "platform/audio/WaveInDevice.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t flagsOf(const WAVEHDR* h) {
    return waveHeaderFlags(*h);
}

void storeFlags(WAVEHDR* h, uint32_t flags) {
    std::atomic_ref<uint32_t>(h->dwFlags).store(flags, std::memory_order_release);
}

} // namespace

WaveInDevice::WaveInDevice(std::unique_ptr<CaptureSource> source, const WAVEFORMATEX& format,
                           WaveInSignal signal, uint32_t readBytes)
    : source_(std::move(source)), format_(format), signal_(std::move(signal)) {
    const uint32_t block = std::max<uint32_t>(format_.nBlockAlign, 1);
    if (!source_->keepsUnread())
        staging_.resize(std::max(block, readBytes - readBytes % block));
}

WaveInDevice::~WaveInDevice() {
    if (thread_.joinable()) {
        command(Command::Close);
        thread_.join();
    }
}

void WaveInDevice::begin() {
    thread_ = std::thread(&WaveInDevice::run, this);
    signal();
}

void WaveInDevice::signal() {
    if (signal_)
        signal_();
}

MMRESULT WaveInDevice::prepare(WAVEHDR* header) {
    if (!header || !header->lpData || header->dwBufferLength == 0)
        return MMR_INVALPARAM;
    std::lock_guard lock(mutex_);
    uint32_t flags = flagsOf(header);
    if (flags & WHDR_INQUEUE)
        return MMR_STILLPLAYING;
    storeFlags(header, flags | WHDR_PREPARED);
    return MMR_NOERROR;
}

MMRESULT WaveInDevice::unprepare(WAVEHDR* header) {
    if (!header)
        return MMR_INVALPARAM;
    std::lock_guard lock(mutex_);
    uint32_t flags = flagsOf(header);
    if (flags & WHDR_INQUEUE)
        return MMR_STILLPLAYING;
    storeFlags(header, flags & ~WHDR_PREPARED);
    return MMR_NOERROR;
}

MMRESULT WaveInDevice::add(WAVEHDR* header) {
    if (!header || !header->lpData || header->dwBufferLength == 0)
        return MMR_INVALPARAM;
    std::lock_guard lock(mutex_);
    uint32_t flags = flagsOf(header);
    if (!(flags & WHDR_PREPARED))
        return MMR_UNPREPARED;
    if (flags & WHDR_INQUEUE)
        return MMR_STILLPLAYING;
    header->dwBytesRecorded = 0;
    header->lpNext = nullptr;
    storeFlags(header, (flags & ~WHDR_DONE) | WHDR_INQUEUE);
    queue_.push_back(header);
    cv_.notify_all();
    return MMR_NOERROR;
}

MMRESULT WaveInDevice::command(Command c) {
    std::unique_lock lock(mutex_);
    if (closed_)
        return MMR_INVALHANDLE;
    pending_ = c;
    cv_.notify_all();
    source_->wake();
    cv_.wait(lock, [this] { return pending_ == Command::None; });
    return commandResult_;
}

MMRESULT WaveInDevice::start() {
    return command(Command::Start);
}

void WaveInDevice::completeFront() {
    WAVEHDR* h = queue_.front();
    queue_.pop_front();
    storeFlags(h, (flagsOf(h) & ~WHDR_INQUEUE) | WHDR_DONE);
}

MMRESULT WaveInDevice::stop() {
    MMRESULT r = command(Command::Stop);
    if (r != MMR_NOERROR)
        return r;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
            completeFront();
            done = true;
        }
    }
    if (done)
        signal();
    return MMR_NOERROR;
}

MMRESULT WaveInDevice::reset() {
    MMRESULT r = command(Command::Stop);
    if (r != MMR_NOERROR)
        return r;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        done = !queue_.empty();
        while (!queue_.empty())
            completeFront();
    }
    if (done)
        signal();
    return MMR_NOERROR;
}

MMRESULT WaveInDevice::finish() {
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty())
            return MMR_STILLPLAYING;
    }
    MMRESULT r = command(Command::Close);
    if (r != MMR_NOERROR)
        return r;
    thread_.join();
    signal();
    return MMR_NOERROR;
}

WaveInStats WaveInDevice::stats() {
    std::lock_guard lock(mutex_);
    return stats_;
}

bool WaveInDevice::signalCompletions(std::unique_lock<std::mutex>& lock, bool now) {
    if (unsignalled_ == 0)
        return false;
    if (!now && !queue_.empty() && unsignalled_ < std::max<size_t>(kSignalEvery, queue_.size())) {
        const WAVEHDR* next = queue_.front();
        if (source_->readyNow(next->dwBufferLength - next->dwBytesRecorded))
            return false; // the next header fills at once: signal the burst later
    }
    unsignalled_ = 0;
    lock.unlock();
    signal();
    lock.lock();
    return true;
}

void WaveInDevice::run() {
    const uint32_t block = std::max<uint32_t>(format_.nBlockAlign, 1);
    // A source that keeps what is not read is left alone while no header is
    // queued: a briefly late owner loses nothing, and one later than the
    // source's buffer holds shows as an overrun.
    const bool keeps = source_->keepsUnread();
    std::unique_lock lock(mutex_);
    for (;;) {
        // Completions are never held back past a command, a stop, an empty
        // queue or a read that might wait.
        if (signalCompletions(lock, pending_ != Command::None || !running_))
            continue;
        if (pending_ != Command::None) {
            const Command c = pending_;
            commandResult_ = MMR_NOERROR;
            if (c == Command::Start && !running_) {
                commandResult_ = source_->start();
                running_ = commandResult_ == MMR_NOERROR;
            } else if (c != Command::Start && running_) {
                source_->stop();
                running_ = false;
            }
            if (c == Command::Close)
                closed_ = true;
            pending_ = Command::None;
            cv_.notify_all();
            if (c == Command::Close)
                return;
            continue;
        }
        // A header too small for another sample block is complete as it is.
        if (!queue_.empty() &&
            queue_.front()->dwBufferLength - queue_.front()->dwBytesRecorded < block) {
            completeFront();
            lock.unlock();
            signal();
            lock.lock();
            continue;
        }
        if (!running_ || (keeps && queue_.empty())) {
            cv_.wait(lock);
            continue;
        }
        // With a header queued the device reads straight into its free part:
        // only this thread completes headers while running (stop and reset
        // wait for it to acknowledge first), so the buffer cannot go away.
        WAVEHDR* direct = queue_.empty() ? nullptr : queue_.front();
        char* target = reinterpret_cast<char*>(staging_.data());
        uint32_t want = uint32_t(staging_.size());
        if (direct) {
            const uint32_t room = direct->dwBufferLength - direct->dwBytesRecorded;
            target = direct->lpData + direct->dwBytesRecorded;
            want = room - room % block;
        }
        lock.unlock();
        const long n = source_->read(target, want);
        lock.lock();
        stats_.overruns = source_->overruns();
        if (n < 0) {
            // The device failed for good: stop producing; queued headers wait
            // for the owner's reset. The owner hears it as a wake without a
            // new header and finds deviceLost in the stats.
            source_->stop();
            running_ = false;
            stats_.deviceLost = true;
            ++unsignalled_;
            continue;
        }
        if (direct) {
            const uint32_t got = uint32_t(n) - uint32_t(n) % block;
            direct->dwBytesRecorded += got;
            stats_.recordedBytes += got;
            if (direct->dwBufferLength - direct->dwBytesRecorded < block) {
                completeFront();
                ++unsignalled_;
            }
            continue;
        }
        size_t off = 0;
        size_t left = size_t(n) - size_t(n) % block;
        bool completed = false;
        while (left > 0 && !queue_.empty()) {
            WAVEHDR* h = queue_.front();
            uint32_t room = h->dwBufferLength - h->dwBytesRecorded;
            size_t take = std::min<size_t>(left, room - room % block);
            std::memcpy(h->lpData + h->dwBytesRecorded, staging_.data() + off, take);
            h->dwBytesRecorded += uint32_t(take);
            stats_.recordedBytes += take;
            off += take;
            left -= take;
            if (h->dwBufferLength - h->dwBytesRecorded < block) {
                completeFront();
                completed = true;
            }
        }
        stats_.droppedBytes += left;
        if (completed) {
            lock.unlock();
            signal();
            lock.lock();
        }
    }
}
