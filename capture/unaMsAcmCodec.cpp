#include "capture/unaMsAcmCodec.h"

#include "core/unaUtils.h"

#include <algorithm>

unaMsAcmCodec::unaMsAcmCodec(HACMDRIVERID driver) : driverId_(driver) {
    assignStream(true, new unaMemoryStream(), true);
    assignStream(false, new unaMemoryStream(), true);
}

unaMsAcmCodec::~unaMsAcmCodec() {
    shutdown();
    release();
}

bool unaMsAcmCodec::setSourceFormat(const WAVEFORMATEX* source) {
    if (!source)
        return false;
    // Room for the largest record any driver uses.
    std::vector<uint8_t> dst(std::max<uint32_t>(maxFormatSize(), sizeof(WAVEFORMATEX)), 0);
    auto* pcm = reinterpret_cast<WAVEFORMATEX*>(dst.data());
    HACMDRIVER driver = nullptr;
    if (acmDriverOpen(&driver, driverId_, 0) != MMR_NOERROR)
        return false;
    const MMRESULT r =
        acmFormatSuggest(driver, source, pcm, uint32_t(dst.size()), ACM_FORMATSUGGESTF_WFORMATTAG);
    acmDriverClose(driver, 0);
    if (r != MMR_NOERROR || pcm->wFormatTag != WAVE_FORMAT_PCM)
        return false;
    return setFormatRecord(true, source) && setFormatRecord(false, pcm);
}

MMRESULT unaMsAcmCodec::open(bool query, uint32_t timeout, uint32_t flags) {
    if (query && flags == 0)
        flags = ACM_STREAMOPENF_QUERY;
    return unaMsAcmStreamDevice::open(query, timeout, flags);
}

MMRESULT unaMsAcmCodec::doOpen(uint32_t flags) {
    unaMsAcmStreamDevice::doOpen(flags);
    const std::string srcText = formatText(true);
    const std::string dstText = formatText(false);
    WAVEFORMATEX* src = nullptr;
    WAVEFORMATEX* dst = nullptr;
    if (!str2format(srcText, src) || !str2format(dstText, dst)) {
        freeBlock(src);
        freeBlock(dst);
        return MMR_INVALPARAM;
    }
    srcBlock_ = std::max<uint32_t>(src->nBlockAlign, 1);
    MMRESULT r = acmDriverOpen(&driver_, driverId_, 0);
    if (r == MMR_NOERROR)
        r = acmStreamOpen(&stream_, driver_, src, dst, flags & ACM_STREAMOPENF_QUERY);
    freeBlock(src);
    freeBlock(dst);
    if (r != MMR_NOERROR || (flags & ACM_STREAMOPENF_QUERY)) {
        release();
        return r;
    }
    uint32_t out = 0;
    if (acmStreamSize(stream_, chunkSize(), &out, ACM_STREAMSIZEF_SOURCE) != MMR_NOERROR ||
        out == 0)
        out = chunkSize() * 4;
    dstChunkSize_ = out;
    handle_.store(1);
    return MMR_NOERROR;
}

MMRESULT unaMsAcmCodec::afterOpen() {
    const MMRESULT r = unaMsAcmStreamDevice::afterOpen();
    unaGateGuard<unaInProcessGate> guard(convertGate_);
    src_.assign(std::max<uint32_t>(chunkSize(), srcBlock_), 0);
    dst_.assign(dstChunkSize_, 0);
    header_ = ACMSTREAMHEADER{};
    header_.cbStruct = sizeof header_;
    header_.pbSrc = src_.data();
    header_.cbSrcLength = uint32_t(src_.size());
    header_.pbDst = dst_.data();
    header_.cbDstLength = uint32_t(dst_.size());
    headerPrepared_ = acmStreamPrepareHeader(stream_, &header_, 0) == MMR_NOERROR;
    return headerPrepared_ ? r : MMR_ACM_UNPREPARED;
}

MMRESULT unaMsAcmCodec::doClose(uint32_t timeout) {
    release();
    return unaMsAcmStreamDevice::doClose(timeout);
}

void unaMsAcmCodec::release() {
    unaGateGuard<unaInProcessGate> guard(convertGate_);
    if (headerPrepared_) {
        header_.cbSrcLength = uint32_t(src_.size());
        header_.cbDstLength = uint32_t(dst_.size());
        acmStreamUnprepareHeader(stream_, &header_, 0);
        headerPrepared_ = false;
    }
    if (stream_)
        acmStreamClose(stream_, 0);
    if (driver_)
        acmDriverClose(driver_, 0);
    stream_ = nullptr;
    driver_ = nullptr;
}

void unaMsAcmCodec::convert() {
    unaGateGuard<unaInProcessGate> guard(convertGate_);
    if (!headerPrepared_ || !isOpen())
        return;
    const uint32_t capacity = uint32_t(src_.size()) / srcBlock_ * srcBlock_;
    for (;;) {
        const uint32_t n = std::min(getDataAvailable(true), capacity) / srcBlock_ * srcBlock_;
        if (n == 0)
            return;
        const uint32_t got = readInput(src_.data(), n);
        if (got == 0)
            return;
        header_.cbSrcLength = got;
        header_.cbDstLength = uint32_t(dst_.size());
        header_.cbSrcLengthUsed = header_.cbDstLengthUsed = 0;
        if (acmStreamConvert(stream_, &header_, ACM_STREAMCONVERTF_BLOCKALIGN) != MMR_NOERROR)
            return;
        deliverChunk(dst_.data(), header_.cbDstLengthUsed);
    }
}
