// Shared by the capture benchmarks: the recorder's two pipes on the virtual
// card, unpaced, fed from a raw file, and a way to stop the file after an
// exact number of chunks.
#pragma once

#include "capture/unavclWaveComponents.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct BenchChain {
    TComponent form;
    TunavclWaveInDevice* waveIn;
    TunavclWaveRiff* waveRiff;

    std::mutex lock;
    std::condition_variable cv;
    uint64_t chunks = 0;
    uint64_t stopAfter = UINT64_MAX;
    bool released = false;
    std::function<void(uint64_t chunk)> onChunk; // capture thread
    std::function<void()> beforeStart;           // the file's writer is built

    // speed: the card's pacing factor (0 = unpaced).
    explicit BenchChain(const std::string& rawFeed, double speed = 0) {
        setAudioBackend(AudioBackend::Virtual);
        VirtualCardConfig config;
        config.speed = speed;
        config.devices[0].sourceFiles[VS_MICROPHONE] = rawFeed;
        VirtualCard::instance().configure(config);
        form.beginLoading();
        waveIn = new TunavclWaveInDevice(&form);
        waveRiff = new TunavclWaveRiff(&form);
        waveRiff->setIsInput(false);
        waveIn->setConsumer(waveRiff);
        form.endLoading();
        waveIn->onDataAvailable = [this](unavclInOutPipe*, const void*, uint32_t) {
            std::unique_lock<std::mutex> guard(lock);
            ++chunks;
            if (onChunk)
                onChunk(chunks);
            cv.notify_all();
            if (chunks >= stopAfter)
                cv.wait(guard, [this] { return released; });
        };
    }

    // Records exactly n chunks of 44.1 kHz 16-bit stereo into file.
    void record(const std::string& file, uint64_t n) {
        chunks = 0;
        released = false;
        stopAfter = n;
        waveRiff->setFileName(file);
        if (beforeStart)
            beforeStart();
        waveIn->setActive(true);
        {
            std::unique_lock<std::mutex> guard(lock);
            cv.wait(guard, [&] { return chunks >= n; });
        }
        waveRiff->setActive(false); // the capture thread waits in chunk n
        {
            std::lock_guard<std::mutex> guard(lock);
            released = true;
            cv.notify_all();
        }
        waveRiff->setFileName("");
        waveIn->setActive(false);
    }
};
