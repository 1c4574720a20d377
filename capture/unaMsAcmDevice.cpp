#include "capture/unaMsAcmDevice.h"

#include "capture/RingStream.h"

#include "core/unaKernel.h"
#include "core/unaUtils.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// --- headers ----------------------------------------------------------------------

MMRESULT unaMsAcmDeviceHeader::prepare() {
    return device_ ? device_->prepareHeader(this) : MMR_INVALHANDLE;
}

MMRESULT unaMsAcmDeviceHeader::unprepare() {
    return device_ ? device_->unprepareHeader(this) : MMR_INVALHANDLE;
}

void unaMsAcmDeviceHeader::rearm() {
    if (takeNextSequence && device_)
        sequence_ = device_->nextSequence();
    takeNextSequence = true;
    isProcessed_ = false;
}

// --- result texts -----------------------------------------------------------------

namespace {

const char* mmTableText(MMRESULT code) {
    switch (code) {
    case 1:
        return "unspecified error";
    case 2:
        return "device ID out of range";
    case 3:
        return "driver failed enable";
    case 4:
        return "device already allocated";
    case 5:
        return "device handle is invalid";
    case 6:
        return "no device driver present";
    case 7:
        return "memory allocation error";
    case 8:
        return "function isn't supported";
    case 9:
        return "error value out of range";
    case 10:
        return "invalid flag passed";
    case 11:
        return "invalid parameter passed";
    case 12:
        return "handle being used simultaneously on another thread (eg callback)";
    case 13:
        return "specified alias not found";
    case 14:
        return "bad registry database";
    case 15:
        return "registry key not found";
    case 16:
        return "registry read error";
    case 17:
        return "registry write error";
    case 18:
        return "registry delete error";
    case 19:
        return "registry value not found";
    case 20:
        return "driver does not call DriverCallback";
    case 512:
        return "NOT POSSIBLE";
    case 513:
        return "BUSY";
    case 514:
        return "UNPREPARED";
    case 515:
        return "CANCELED";
    default:
        return nullptr;
    }
}

uint32_t listValue(unaList& list, uint32_t index) {
    return uint32_t(reinterpret_cast<uintptr_t>(list.get(int32_t(index))));
}

void setListValue(unaList& list, uint32_t index, uint32_t value) {
    if (index < list.count())
        list.setItem(int32_t(index), reinterpret_cast<void*>(uintptr_t(value)), unaList::relKeep);
}

void resizeValueList(unaList& list, uint32_t n) {
    list.lock();
    while (list.count() > n)
        list.removeByIndex(int32_t(list.count() - 1), unaList::relKeep);
    while (list.count() < n)
        list.add(nullptr);
    list.unlock();
}

// The RMS of sumOfSquares over count samples, rounded as waveLevel rounds.
uint32_t rmsLevel(uint64_t sumOfSquares, uint32_t count) {
    return count ? uint32_t(std::llround(std::sqrt((long double)sumOfSquares / count))) : 0;
}

#if defined(__x86_64__)
// The vector forms below sum whole steps of frames and return how many
// frames they took; the caller sums the rest. Stereo frames L0 R0 L1 R1 are
// reordered to L0 L1 R0 R1 so that each pair madd sums belongs to one
// channel; the 32-bit pair sums (at most 2^31, read unsigned) are widened to
// 64 bits before they are added up.
__attribute__((target("avx2"))) uint32_t sumSquares16Avx2(const uint8_t* p, uint32_t frames,
                                                          uint32_t channels, uint64_t* sums) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i acc = zero;
    const uint32_t step = channels == 2 ? 8 : 16;
    uint32_t i = 0;
    for (; i + step <= frames; i += step) {
        __m256i v =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + size_t(i) * channels * 2));
        if (channels == 2) {
            v = _mm256_shufflelo_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
            v = _mm256_shufflehi_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
        }
        const __m256i sq = _mm256_madd_epi16(v, v);
        acc = _mm256_add_epi64(acc, _mm256_unpacklo_epi32(sq, zero));
        acc = _mm256_add_epi64(acc, _mm256_unpackhi_epi32(sq, zero));
    }
    uint64_t lanes[4];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), acc);
    if (channels == 2) {
        sums[0] += lanes[0] + lanes[2];
        sums[1] += lanes[1] + lanes[3];
    } else {
        sums[0] += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    }
    return i;
}

uint32_t sumSquares16Sse2(const uint8_t* p, uint32_t frames, uint32_t channels, uint64_t* sums) {
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    const uint32_t step = channels == 2 ? 4 : 8;
    uint32_t i = 0;
    for (; i + step <= frames; i += step) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size_t(i) * channels * 2));
        if (channels == 2) {
            v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
            v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
        }
        const __m128i sq = _mm_madd_epi16(v, v);
        acc = _mm_add_epi64(acc, _mm_unpacklo_epi32(sq, zero));
        acc = _mm_add_epi64(acc, _mm_unpackhi_epi32(sq, zero));
    }
    uint64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), acc);
    if (channels == 2) {
        sums[0] += lanes[0];
        sums[1] += lanes[1];
    } else {
        sums[0] += lanes[0] + lanes[1];
    }
    return i;
}
#endif

// Sums the squares of `frames` frames of 16-bit samples, one sum a channel
// (1 or 2 channels), exactly (each square is below 2^31, and fewer than
// 2^32 of them fit a 64-bit sum). The samples need no alignment.
void sumSquares16(const uint8_t* p, uint32_t frames, uint32_t channels, uint64_t* sums) {
    uint32_t i = 0;
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    i = avx2 ? sumSquares16Avx2(p, frames, channels, sums)
             : sumSquares16Sse2(p, frames, channels, sums);
#endif
    for (; i < frames; ++i)
        for (uint32_t c = 0; c < channels; ++c) {
            int16_t s;
            std::memcpy(&s, p + (size_t(i) * channels + c) * 2, 2);
            sums[c] += uint64_t(int32_t(s) * int32_t(s));
        }
}

} // namespace

std::string mmErrorText(MMRESULT code) {
    const char* text = mmTableText(code);
    std::string s = int2str(code);
    if (text)
        s += std::string(" (") + text + ")";
    return s;
}

// --- stream device ------------------------------------------------------------------

unaMsAcmStreamDevice::unaMsAcmStreamDevice() : unaThread(THREAD_PRIORITY_NORMAL) {}

unaMsAcmStreamDevice::~unaMsAcmStreamDevice() {
    // The concrete class has stopped and closed the device (shutdown). Any
    // header left over can no longer reach its device.
    stop();
    headers_.lock();
    for (uint32_t i = 0; i < headers_.count(); ++i)
        static_cast<unaMsAcmDeviceHeader*>(headers_.get(int32_t(i)))->device_ = nullptr;
    headers_.unlock();
    headers_.clear(unaList::relFree);
    clearStreams();
    if (ownsInStream_)
        delete inStream_;
    if (ownsOutStream_)
        delete outStream_;
    inStream_ = outStream_ = nullptr;
    freeBlock(srcFormat_);
    freeBlock(dstFormat_);
}

void unaMsAcmStreamDevice::shutdown() {
    stop();
    close(10000);
}

std::string unaMsAcmStreamDevice::describeFormat(const WAVEFORMATEX* f) {
    if (!f)
        return std::string();
    std::string tag = f->wFormatTag == WAVE_FORMAT_PCM ? "PCM" : "tag " + int2str(f->wFormatTag);
    return tag + ", " + int2str(f->nSamplesPerSec) + " Hz, " + int2str(f->wBitsPerSample) +
           " bit, " + int2str(f->nChannels) + (f->nChannels == 1 ? " channel" : " channels");
}

bool unaMsAcmStreamDevice::setFormat(bool isSource, const std::string& packed) {
    if (!enter(10000))
        return false;
    WAVEFORMATEX* record = nullptr;
    if (!str2format(packed, record)) {
        leave();
        return false;
    }
    const WAVEFORMATEX f = *record;
    formatGate_.enter();
    WAVEFORMATEX*& slot = isSource ? srcFormat_ : dstFormat_;
    freeBlock(slot);
    slot = record;
    formatGate_.leave();
    (isSource ? srcFormatText_ : dstFormatText_) = describeFormat(&f);

    if (isSource == primaryFormatIsSource()) {
        const bool pcm = f.wFormatTag == WAVE_FORMAT_PCM;
        const uint64_t pcmRate = uint64_t(std::max<uint32_t>(uint32_t(f.nSamplesPerSec), 1000)) *
                                 std::max<uint32_t>(uint32_t(f.nChannels), 1) *
                                 std::max<uint32_t>(uint32_t(f.wBitsPerSample), 1) / 8;
        uint32_t rate = uint32_t(pcmRate);
        if (!pcm && f.nAvgBytesPerSec != 0)
            rate = f.nAvgBytesPerSec;
        uint32_t perSecond = 10;
        if (pcm && rate % 10 != 0) {
            perSecond = 5;
            rate = uint32_t((uint64_t(rate) + 4) / 5 * 5);
        }
        const uint64_t block = f.nBlockAlign ? f.nBlockAlign : 512;
        const uint64_t per = rate / perSecond;
        const uint32_t chunk = uint32_t((per + block - 1) / block * block);
        chunksPerSecond_.store(perSecond, std::memory_order_release);
        chunkSize_.store(chunk, std::memory_order_release);
        if (isSource)
            inOverSize_.store(uint32_t(uint64_t(inOverNum.load()) * chunk));
        else
            outOverSize_.store(uint32_t(uint64_t(outOverNum.load()) * chunk));
        primaryIsPcm_.store(pcm);
        primaryChannels_.store(f.nChannels);
        primaryBits_.store(f.wBitsPerSample);
        resizeValueList(volume_, f.nChannels);
        resizeValueList(prevVolume_, f.nChannels);
    }
    leave();
    return true;
}

void unaMsAcmStreamDevice::clearFormat(bool isSource) {
    unaGateGuard<unaInProcessGate> guard(formatGate_);
    freeBlock(isSource ? srcFormat_ : dstFormat_);
}

bool unaMsAcmStreamDevice::setFormatRecord(bool isSource, const WAVEFORMATEX* record) {
    if (!record)
        return false;
    return setFormat(isSource, format2str(record));
}

bool unaMsAcmStreamDevice::getFormat(bool isSource, WAVEFORMATEX& out) const {
    unaGateGuard<unaInProcessGate> guard(formatGate_);
    const WAVEFORMATEX* f = isSource ? srcFormat_ : dstFormat_;
    out = f ? *f : WAVEFORMATEX{};
    return f != nullptr;
}

std::string unaMsAcmStreamDevice::formatText(bool isSource) const {
    unaGateGuard<unaInProcessGate> guard(formatGate_);
    return format2str(isSource ? srcFormat_ : dstFormat_);
}

// --- open / close ---------------------------------------------------------------------

MMRESULT unaMsAcmStreamDevice::open(bool query, uint32_t timeout, uint32_t flags) {
    if (!openGate_.enter(10000))
        return MMR_HANDLEBUSY;
    unaGateGuard<unaInProcessGate> guard(openGate_);
    openGate_.leave(); // the guard holds it from here on
    if (isOpen())
        return MMR_NOERROR;
    deviceEvent_.setState(false);
    MMRESULT result = doOpen(flags);
    if (result != MMR_NOERROR) {
        handle_.store(0);
        return result;
    }
    if (query)
        return MMR_NOERROR;
    if (!deviceEvent_.waitFor(timeout)) {
        close(10000);
        return MMR_HANDLEBUSY;
    }
    headers_.clear(unaList::relFree);
    result = afterOpen();
    if (result == MMR_NOERROR && runsThread())
        start(10000);
    return result;
}

MMRESULT unaMsAcmStreamDevice::close(uint32_t timeout) {
    if (!openGate_.enter(10000))
        return MMR_HANDLEBUSY;
    unaGateGuard<unaInProcessGate> guard(openGate_);
    openGate_.leave();
    if (!isOpen())
        return MMR_NOERROR;
    stop(timeout, false);
    returnQueuedHeaders();
    removeAllHeaders();
    deviceEvent_.setState(false);
    MMRESULT result = doClose(timeout);
    if (result == MMR_NOERROR) {
        result = deviceEvent_.waitFor(timeout) ? MMR_NOERROR : MMR_HANDLEBUSY;
        handle_.store(0);
    }
    afterClose(result);
    return result;
}

void unaMsAcmStreamDevice::removeAllHeaders() {
    // After the thread's stop every queued header has come back done. One
    // that has not is left to the device for a while; after ten seconds it is
    // given up (kept allocated rather than freed under the device's feet).
    for (int round = 0;; ++round) {
        headers_.lock();
        if (headers_.count() == 0) {
            headers_.unlock();
            return;
        }
        unaMsAcmDeviceHeader* pick = nextDeliverableHeader();
        for (uint32_t i = 0; !pick && i < headers_.count(); ++i) {
            auto* h = static_cast<unaMsAcmDeviceHeader*>(headers_.get(int32_t(i)));
            if (!h->isInQueue() || (h->isDone() && h->isProcessed()))
                pick = h;
        }
        if (pick) {
            headers_.removeItem(pick, unaList::relFree);
            headers_.unlock();
            continue;
        }
        headers_.unlock();
        if (round >= 100) {
            headers_.clear(unaList::relKeep);
            return;
        }
        sleepMs(100);
    }
}

unaMsAcmDeviceHeader* unaMsAcmStreamDevice::nextDeliverableHeader() {
    headers_.lock();
    unaMsAcmDeviceHeader* found = nullptr;
    const uint32_t wanted = lastSequence_.load() + 1;
    for (uint32_t i = 0; i < headers_.count(); ++i) {
        auto* h = static_cast<unaMsAcmDeviceHeader*>(headers_.get(int32_t(i)));
        if (h && h->isDone() && h->sequence() == wanted) {
            found = h;
            lastSequence_.store(wanted);
            break;
        }
    }
    headers_.unlock();
    return found;
}

uint32_t unaMsAcmStreamDevice::headerCount() {
    return headers_.count();
}

void unaMsAcmStreamDevice::onThreadStart() {
    // Named after the device's class, so that a look at the process's
    // threads (top -H, /proc) tells them apart.
    pthread_setname_np(pthread_self(), std::string(className()).substr(0, 15).c_str());
    deviceEvent_.setState(false);
    dataEvent_.setState(false);
}

MMRESULT unaMsAcmStreamDevice::doOpen(uint32_t) {
    deviceEvent_.setState(true);
    sequenceCounter_.store(0);
    lastSequence_.store(0);
    clearStreams();
    return MMR_NOERROR;
}

MMRESULT unaMsAcmStreamDevice::doClose(uint32_t) {
    deviceEvent_.setState(true);
    return MMR_NOERROR;
}

MMRESULT unaMsAcmStreamDevice::afterOpen() {
    inBytes_.store(0);
    outBytes_.store(0);
    return MMR_NOERROR;
}

void unaMsAcmStreamDevice::afterClose(MMRESULT) {
    volume_.lock();
    for (uint32_t i = 0; i < volume_.count(); ++i)
        setListValue(volume_, i, 0);
    volume_.unlock();
    // The thread has stopped: this is the only writer now.
    const uint32_t silence[kLevelChannels][kLevelWindows] = {};
    storeLevelWindows(silence);
}

// --- streams --------------------------------------------------------------------------

void unaMsAcmStreamDevice::clearStreams() {
    unaGateGuard<unaInProcessGate> guard(streamGate_);
    // Queues only: a file stream's clear would empty the file.
    auto isQueue = [](unaAbstractStream* s) {
        return dynamic_cast<unaMemoryStream*>(s) || dynamic_cast<RingStream*>(s);
    };
    if (isQueue(inStream_))
        inStream_->clear();
    if (isQueue(outStream_))
        outStream_->clear();
}

unaAbstractStream* unaMsAcmStreamDevice::assignStream(bool isInput, unaAbstractStream* stream,
                                                      bool owned) {
    if (!enter(10000))
        return nullptr;
    {
        unaGateGuard<unaInProcessGate> guard(streamGate_);
        unaAbstractStream*& slot = isInput ? inStream_ : outStream_;
        bool& owns = isInput ? ownsInStream_ : ownsOutStream_;
        if (owns && slot != stream)
            delete slot;
        slot = stream;
        owns = owned;
        if (!isInput)
            outIsMemoryStream_ = dynamic_cast<unaMemoryStream*>(stream) != nullptr;
    }
    leave();
    return stream;
}

uint32_t unaMsAcmStreamDevice::write(const void* data, uint32_t length) {
    uint32_t result = 0;
    {
        unaGateGuard<unaInProcessGate> guard(streamGate_);
        if (!inStream_)
            return 0;
        const uint32_t limit = inOverNum.load();
        if (limit > 0 && inStream_->getAvailableSize() > inOverSize_.load())
            inOverflowBytes_ += length;
        else
            result = inStream_->write(data, length);
    }
    if (data && length > 4) {
        uint32_t word;
        std::memcpy(&word, data, 4);
        if (word == 0x33333333u)
            infoMessage(std::string(className()) + ".write() - got **hack** packet (" +
                        int2str(length) + " bytes)");
    }
    onInputWritten();
    return result;
}

uint32_t unaMsAcmStreamDevice::readOutput(void* buffer, uint32_t size) {
    unaGateGuard<unaInProcessGate> guard(streamGate_);
    if (!outStream_)
        return 0;
    if (size == 0) {
        auto* memory = dynamic_cast<unaMemoryStream*>(outStream_);
        if (!memory)
            return 0;
        size = memory->firstChunkRemaining();
        if (size == 0)
            return 0;
    }
    return outStream_->read(buffer, size);
}

uint32_t unaMsAcmStreamDevice::readInput(void* buffer, uint32_t size) {
    if (size == 0)
        return 0;
    uint32_t n;
    {
        unaGateGuard<unaInProcessGate> guard(streamGate_);
        if (!inStream_)
            return 0;
        n = inStream_->read(buffer, size);
    }
    if (n == 0)
        return 0;
    if (checkChunk(buffer, n)) {
        inBytes_ += n;
        return n;
    }
    skippedBytes_ += n;
    return 0;
}

uint32_t unaMsAcmStreamDevice::deliverChunk(const void* data, uint32_t length) {
    if (length == 0 || !data)
        return 0;
    if (!checkChunk(data, length)) {
        skippedBytes_ += length;
        return 0;
    }
    outBytes_ += length;
    uint32_t result = 0;
    if (onChunk) {
        onChunk(this, data, length);
        result = length;
    }
    {
        unaGateGuard<unaInProcessGate> guard(streamGate_);
        if (outStream_) {
            if (outOverNum.load() > 0 && outStream_->getAvailableSize() > outOverSize_.load()) {
                outOverflowBytes_ += length;
                result = 0;
            } else {
                result = outStream_->write(data, length);
            }
        }
    }
    dataEvent_.setState(true);
    return result;
}

uint32_t unaMsAcmStreamDevice::getDataAvailable(bool isInput) {
    unaGateGuard<unaInProcessGate> guard(streamGate_);
    unaAbstractStream* s = isInput ? inStream_ : outStream_;
    return s ? s->getAvailableSize() : 0;
}

// --- volume ---------------------------------------------------------------------------

bool unaMsAcmStreamDevice::checkChunk(const void* data, uint32_t length) {
    const uint32_t channels = primaryChannels();
    const uint32_t bits = primaryBits();
    if (!calcVolume() || length == 0 || !primaryIsPcm_.load() || channels == 0 || bits == 0)
        return true;
    // Samples per channel; never more than the block holds, also for sample
    // sizes below 8 bits (measured as whole bytes).
    const uint64_t bytesPerSample = (bits + 7) / 8;
    const uint32_t count = uint32_t(std::min<uint64_t>(uint64_t(length) * 8 / (channels * bits),
                                                       length / (channels * bytesPerSample)));
    uint32_t block[kLevelChannels] = {};
    uint32_t windows[kLevelChannels][kLevelWindows] = {};
    const bool fast = bits == 16 && channels <= kLevelChannels && count > 0;
    if (fast) {
        // One pass over the block: the squares of each quarter are summed
        // per channel, the block's sum is the sum of its quarters.
        uint64_t total[kLevelChannels] = {};
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (uint32_t w = 0; w < kLevelWindows; ++w) {
            const uint32_t from = uint32_t(uint64_t(count) * w / kLevelWindows);
            const uint32_t to = uint32_t(uint64_t(count) * (w + 1) / kLevelWindows);
            uint64_t sums[kLevelChannels] = {};
            sumSquares16(bytes + size_t(from) * channels * 2, to - from, channels, sums);
            for (uint32_t c = 0; c < channels; ++c) {
                total[c] += sums[c];
                windows[c][w] = rmsLevel(sums[c], to - from);
            }
        }
        for (uint32_t c = 0; c < channels; ++c)
            block[c] = rmsLevel(total[c], count);
    }
    volume_.lock();
    prevVolume_.lock();
    const uint32_t n = std::min(channels, volume_.count());
    for (uint32_t c = 0; c < n; ++c) {
        const uint32_t level = fast ? block[c] : waveLevel(data, count, bits, c, channels, false);
        setListValue(prevVolume_, c, listValue(volume_, c));
        setListValue(volume_, c, level);
        if (!fast && c < kLevelChannels)
            for (uint32_t w = 0; w < kLevelWindows; ++w)
                windows[c][w] = level; // other formats: the block's level throughout
    }
    prevVolume_.unlock();
    volume_.unlock();
    storeLevelWindows(windows);
    return true;
}

void unaMsAcmStreamDevice::storeLevelWindows(
    const uint32_t (&level)[kLevelChannels][kLevelWindows]) {
    const uint32_t seq = levelSeq_.load(std::memory_order_relaxed);
    levelSeq_.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (uint32_t c = 0; c < kLevelChannels; ++c)
        for (uint32_t w = 0; w < kLevelWindows; ++w)
            windowLevel_[c][w].store(level[c][w], std::memory_order_relaxed);
    levelSeq_.store(seq + 2, std::memory_order_release);
}

unaMsAcmStreamDevice::LevelWindows unaMsAcmStreamDevice::levelWindows() const {
    LevelWindows out;
    for (;;) {
        const uint32_t seq = levelSeq_.load(std::memory_order_acquire);
        if (seq & 1)
            continue; // a block is being stored
        for (uint32_t c = 0; c < kLevelChannels; ++c)
            for (uint32_t w = 0; w < kLevelWindows; ++w)
                out.level[c][w] = windowLevel_[c][w].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (levelSeq_.load(std::memory_order_relaxed) == seq) {
            out.block = seq / 2;
            return out;
        }
    }
}

uint32_t unaMsAcmStreamDevice::getVolume(uint32_t channel) {
    return listValue(volume_, channel);
}

uint32_t unaMsAcmStreamDevice::getPrevVolume(uint32_t channel) {
    return listValue(prevVolume_, channel);
}

void unaMsAcmStreamDevice::setCalcVolume(bool value) {
    calcVolume_.store(value);
    savedCalcVolume_ = value;
}

std::string unaMsAcmStreamDevice::getErrorText(MMRESULT code) {
    return mmErrorText(code);
}
