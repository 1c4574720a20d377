#include "capture/unaRiffStream.h"

#include "capture/RingStream.h"
#include "capture/WaveHeader.h"
#include "capture/unaMsAcm.h"
#include "core/unaFileStream.h"
#include "core/unaUtils.h"

#include <algorithm>
#include <cstring>

namespace {

using wave_header::getU32;

// The format record a "fmt " chunk holds, completed to a full record: a
// missing cbSize reads as 0 and extra bytes are limited to what the chunk
// really has.
std::vector<uint8_t> formatFromChunk(const unaRIFFChunk& chunk) {
    const uint32_t have =
        uint32_t(std::min<uint64_t>(chunk.dataSize(), 0xFFFF + sizeof(WAVEFORMATEX)));
    WAVEFORMATEX head{};
    std::memcpy(&head, chunk.data(), std::min<uint32_t>(have, sizeof head));
    if (have < sizeof head || head.wFormatTag == WAVE_FORMAT_PCM)
        head.cbSize = 0;
    else
        head.cbSize = uint16_t(std::min<uint32_t>(head.cbSize, have - sizeof head));
    std::vector<uint8_t> record(sizeof head + head.cbSize, 0);
    std::memcpy(record.data(), &head, sizeof head);
    if (head.cbSize)
        std::memcpy(record.data() + sizeof head, chunk.data() + sizeof head, head.cbSize);
    return record;
}

// A format a reader can play: 1 to kMaxChannels channels, a rate and a
// block size; PCM also needs whole-byte samples of 8 to 32 bits and the
// block size that follows from them.
constexpr uint32_t kMaxChannels = 256;

bool playableFormat(const WAVEFORMATEX& f) {
    if (f.nChannels == 0 || f.nChannels > kMaxChannels || f.nSamplesPerSec == 0 ||
        f.nBlockAlign == 0)
        return false;
    if (f.wFormatTag != WAVE_FORMAT_PCM)
        return true;
    const uint32_t bits = f.wBitsPerSample;
    return bits >= 8 && bits <= 32 && bits % 8 == 0 &&
           f.nBlockAlign == uint32_t(f.nChannels) * (bits / 8);
}

} // namespace

// --- construction ------------------------------------------------------------------------

unaRiffStream::unaRiffStream(const std::string& fileName, const WAVEFORMATEX& format,
                             uint32_t formatTag, unaMsAcm* acm)
    : unaWaveSoftwareDevice(false), isInput_(false), fileName_(fileName), acm_(acm),
      formatTag_(formatTag) {
    fileFactory = openFileStream;
    if (!trimStr(fileName).empty())
        file_.reset(openFileStream(fileName));
    buffer_.assign(std::max<uint32_t>(uint32_t(format.nSamplesPerSec), 1), 0);
    setPcmFormat(format.nSamplesPerSec, format.wBitsPerSample, format.nChannels);
    WAVEFORMATEX pcm;
    if (getFormat(true, pcm))
        setFormatRecord(false, &pcm);
    if (file_) {
        riffStatus_.store(rsWriterReady);
        // Captured blocks wait for the writer's thread in one ring of two
        // seconds to start with, which grows only past the largest backlog.
        assignStream(true, new RingStream(chunkSize() * kRingChunks), true);
    } else {
        riffStatus_.store(rsWriterNoFile);
        // Nothing to write to: keep nothing of what is written in.
        assignStream(true, nullptr, false);
    }
}

unaRiffStream::unaRiffStream(const std::string& fileName, bool realTime, bool loop, unaMsAcm* acm)
    : unaWaveSoftwareDevice(realTime), isInput_(true), acm_(acm) {
    this->loop.store(loop);
    fileFactory = openFileStream;
    fileName_ = fileName;
    openRiffFile(fileName);
}

unaRiffStream::~unaRiffStream() {
    shutdown();
    codec_.reset();
    currentChunk_ = nullptr;
    riff_.reset();
    file_.reset();
}

unaAbstractStream* unaRiffStream::openFileStream(const std::string& name) {
    auto* f = new unaFileStream(name, false, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                GENERIC_READ | GENERIC_WRITE);
    if (!f->isValid()) {
        delete f;
        return nullptr;
    }
    return f;
}

// --- writer ------------------------------------------------------------------------------

bool unaRiffStream::writeAll(const void* data, uint32_t size) {
    if (!file_ || writeFailed_.load())
        return false;
    const uint32_t written = file_->write(data, size);
    if (written != size) {
        writeFailed_.store(true);
        return false;
    }
    return true;
}

bool unaRiffStream::writerAfterOpen() {
    writeFailed_.store(false);
    dataSize_.store(0);
    file_.reset(); // closes the handle kept since construction or the last recording
    file_.reset(fileFactory ? fileFactory(fileName_) : nullptr);
    if (!file_) {
        writeFailed_.store(true);
        return false;
    }
    file_->clear();
    file_->seek(0);
    WAVEFORMATEX f{};
    getFormat(false, f);
    header_ = wave_header::build(f);
    blockAlign_ = f.nBlockAlign;
    writeAll(header_.data(), wave_header::kSize);
    dataSizePos_ = wave_header::kDataSizePos;
    headerWrittenData_ = 0;
    lastRefresh_ = std::chrono::steady_clock::now();
    return true;
}

void unaRiffStream::writeHeaderSizes(uint64_t dataBytes) {
    wave_header::setSizes(header_, dataBytes, blockAlign_);
    // One positioned write of the whole header: the position of the next
    // append does not move.
    file_->writeAt(0, header_.data(), wave_header::kSize);
    headerWrittenData_ = dataBytes;
}

void unaRiffStream::refreshHeader() {
    const uint32_t period = headerRefreshMs.load(std::memory_order_relaxed);
    if (period == 0)
        return;
    // The thread wakes once per kWakeChunks blocks: refresh now unless the
    // next wake still comes, with a quarter of a wake's span to spare,
    // within the period.
    const uint32_t perSecond = std::max<uint32_t>(chunksPerSecond(), 1);
    const auto wakeSpan = std::chrono::milliseconds(kWakeChunks * 1000 / perSecond);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastRefresh_ + wakeSpan + wakeSpan / 4 < std::chrono::milliseconds(period))
        return;
    lastRefresh_ = now;
    if (!file_ || writeFailed_.load())
        return;
    // What the file really holds (the appends so far), not what was counted.
    const int64_t end = file_->getPosition();
    const uint64_t data =
        end > int64_t(wave_header::kSize) ? uint64_t(end) - wave_header::kSize : 0;
    if (data != headerWrittenData_)
        writeHeaderSizes(data);
}

MMRESULT unaRiffStream::afterOpen() {
    const MMRESULT result = unaWaveSoftwareDevice::afterOpen();
    isEof_.store(false);
    rewind();
    if (!isInput_) {
        if (riffStatus_.load() == rsWriterReady)
            writerAfterOpen();
        return result;
    }
    nextDataChunk();
    if (codec_) {
        if (codec_->open(false, 10000) == MMR_NOERROR) {
            chunkSize_.store(codec_->chunkSize());
            readerChunk_ = codec_->chunkSize();
        }
        codecOut_.clear();
    }
    return result;
}

void unaRiffStream::afterClose(MMRESULT result) {
    unaWaveSoftwareDevice::afterClose(result);
    if (isInput_) {
        if (codec_)
            codec_->close(10000);
        return;
    }
    if (riffStatus_.load() != rsWriterReady || !file_)
        return;
    // The thread has stopped: what it had not yet taken from the input stream
    // is written now, so that nothing accepted is lost.
    for (;;) {
        const uint32_t n = readInput(buffer_.data(), uint32_t(buffer_.size()));
        if (n == 0)
            break;
        if (writeAll(buffer_.data(), n))
            dataSize_ += n;
    }
    const int64_t fileSize = file_->getSize();
    uint64_t data = dataSize_.load();
    if (writeFailed_.load() || fileSize != int64_t(wave_header::kSize + data)) {
        // Describe what is really in the file (a short write may have stored
        // part of its block).
        data = fileSize > int64_t(wave_header::kSize) ? uint64_t(fileSize) - wave_header::kSize : 0;
        dataSize_.store(data);
    }
    if (fileSize >= int64_t(wave_header::kSize))
        writeHeaderSizes(data);
    file_.reset();
}

void unaRiffStream::onInputWritten() {
    // A signal is only a wake-up: the thread always writes everything that
    // waits, and close writes what came after its last wake.
    if (isInput_ || getDataAvailable(true) >= kWakeChunks * chunkSize())
        deviceEvent_.signal();
}

bool unaRiffStream::handleHeader(unaMsAcmDeviceHeader* header) {
    if (!unaWaveSoftwareDevice::handleHeader(header))
        return false;
    if (isInput_)
        return readerHandle();
    consumeTick();
    const uint32_t n = readInput(buffer_.data(), uint32_t(buffer_.size()));
    if (n == 0)
        return false;
    // After a failed write the rest is drained and dropped.
    if (writeAll(buffer_.data(), n)) {
        dataSize_ += n;
        refreshHeader();
    }
    return true;
}

// --- reader ------------------------------------------------------------------------------

int32_t unaRiffStream::openRiffFile(const std::string& name) {
    close(10000);
    codec_.reset();
    currentChunk_ = nullptr;
    dataChunks_.clear();
    riff_.reset();
    totalDataSize_ = 0;
    factValue_ = 0;
    rewind();
    fileName_ = name;
    clearFormat(true);
    clearFormat(false);
    formatFound_ = false;

    int32_t result = rsReady;
    riff_ = std::make_unique<unaRIFile>(name, PAGE_READONLY);
    if (!riff_->isRiff()) {
        riff_.reset();
        result = rsNotRiff;
    } else {
        scanChunks(riff_->root(), scanFormat | scanWholeTree);
        WAVEFORMATEX src{};
        if (!getFormat(true, src) || !playableFormat(src) || chunkSize() == 0 ||
            chunkSize() > kMaxReaderChunk) {
            result = rsNoFormat;
        } else {
            // The buffer itself is made by the first pass: a reader asked
            // only for its status costs no chunk of memory.
            readerChunk_ = chunkSize();
            if (src.wFormatTag == WAVE_FORMAT_PCM) {
                setFormatRecord(false, &src);
            } else if (!acm_) {
                result = rsNoAcm;
            } else if (unaMsAcmDriver* driver = acm_->getDriverByFormatTag(src.wFormatTag)) {
                std::string full = formatText(true);
                WAVEFORMATEX* record = nullptr;
                str2format(full, record);
                codec_ = std::make_unique<unaMsAcmCodec>(driver->id());
                if (!codec_->setSourceFormat(record) || codec_->open(true) != MMR_NOERROR) {
                    codec_.reset();
                    result = rsNoCodec;
                } else {
                    WAVEFORMATEX pcm{};
                    codec_->getFormat(false, pcm);
                    setFormatRecord(false, &pcm);
                    codecOut_.clear();
                }
                freeBlock(record);
            } else {
                result = rsNoDriver;
            }
        }
    }
    if (result == rsNotRiff || result == rsNoFormat)
        readerChunk_ = 0;
    buffer_.clear();
    riffStatus_.store(result);
    return result;
}

bool unaRiffStream::scanChunks(unaRIFFChunk* chunk, uint32_t flags) {
    if (!chunk)
        return false;
    if (chunk->isContainer()) {
        bool result = false;
        for (uint32_t i = 0; i < chunk->childCount(); ++i) {
            result = scanChunks(chunk->child(i), flags);
            if (result && !(flags & scanWholeTree))
                return true;
        }
        return result;
    }
    if (chunk->idIs("fmt ") && chunk->dataSize() >= 16) {
        if (!(flags & scanFormat))
            return false;
        const std::vector<uint8_t> record = formatFromChunk(*chunk);
        const auto* f = reinterpret_cast<const WAVEFORMATEX*>(record.data());
        if (!playableFormat(*f))
            return false; // an impossible format is no format
        std::string current = formatText(true);
        WAVEFORMATEX* now = nullptr;
        str2format(current, now);
        const bool same = SameWaveFormat(f, now);
        freeBlock(now);
        if (same)
            return false;
        setFormatRecord(true, f);
        formatFound_ = true;
        return true;
    }
    if (chunk->idIs("fact") && chunk->dataSize() > 3) {
        factValue_ = getU32(chunk->data());
        return false;
    }
    if (chunk->idIs("data")) {
        if (flags & scanWholeTree) {
            totalDataSize_ += chunk->dataSize();
            dataChunks_.push_back(chunk);
        }
        // The next unused data chunk is the next one in file order.
        if ((flags & scanNextData) && nextData_ < dataChunks_.size() &&
            dataChunks_[nextData_] == chunk) {
            ++nextData_;
            currentChunk_ = chunk;
            chunkPos_ = 0;
            return true;
        }
    }
    return false;
}

void unaRiffStream::rewind() {
    currentChunk_ = nullptr;
    chunkPos_ = 0;
    readBytes_.store(0);
    consumedBytes_ = 0;
    nextData_ = 0;
    copiedSinceRewind_ = false;
}

bool unaRiffStream::fillBuffer() {
    if (buffer_.size() != readerChunk_)
        buffer_.resize(readerChunk_); // every byte is written below
    const uint32_t size = uint32_t(buffer_.size());
    if (size == 0 || !riff_)
        return false;
    if (!currentChunk_) {
        isEof_.store(true); // nothing (left) to play
        return false;
    }
    uint32_t filled = 0;
    while (currentChunk_ && filled < size) {
        const uint64_t have = currentChunk_->dataSize();
        const uint32_t n =
            uint32_t(std::min<uint64_t>(have - std::min(chunkPos_, have), size - filled));
        std::memcpy(buffer_.data() + filled, currentChunk_->data() + chunkPos_, n);
        chunkPos_ += n;
        readBytes_.store(consumedBytes_ + chunkPos_);
        filled += n;
        if (n)
            copiedSinceRewind_ = true;
        if (filled >= size)
            break;
        // The chunk is exhausted: go on with the next data chunk.
        consumedBytes_ += have;
        currentChunk_ = nullptr;
        if (nextDataChunk())
            continue;
        if (loop.load() && copiedSinceRewind_) {
            rewind();
            nextDataChunk();
            continue;
        }
        isEof_.store(true);
        // Nothing left for this chunk (the data ended on a chunk boundary, or
        // the data chunks hold no bytes at all): no chunk of pure silence.
        if (filled == 0)
            return false;
        WAVEFORMATEX f{};
        getFormat(true, f);
        std::memset(buffer_.data() + filled, f.wBitsPerSample == 8 ? 128 : 0, size - filled);
        filled = size;
    }
    return filled == size;
}

bool unaRiffStream::nextDataChunk() {
    if (nextData_ >= dataChunks_.size())
        return false;
    currentChunk_ = dataChunks_[nextData_++];
    chunkPos_ = 0;
    return true;
}

bool unaRiffStream::readerHandle() {
    if (!riff_)
        return false;
    if (!codec_) {
        consumeTick();
        if (!fillBuffer())
            return false;
        deliverChunk(buffer_.data(), uint32_t(buffer_.size()));
        return true;
    }
    bool progress = false;
    if (codec_->getDataAvailable(true) <= codec_->chunkSize() && fillBuffer()) {
        codec_->write(buffer_.data(), uint32_t(buffer_.size()));
        progress = true;
    }
    const uint32_t want = codec_->dstChunkSize();
    if (want == 0)
        return false;
    if (codecOut_.size() < want)
        codecOut_.assign(want, 0);
    if (codec_->getDataAvailable(false) < want)
        return progress;
    consumeTick();
    const uint32_t n = codec_->readOutput(codecOut_.data(), want);
    deliverChunk(codecOut_.data(), n);
    return true;
}
