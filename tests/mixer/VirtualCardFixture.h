// Test support: puts the platform on the virtual card with a chosen
// configuration, and records from a virtual device to measure which tone the
// mixer lets through.
#pragma once

#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "platform/audio/WaveIn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

class VirtualCardTest : public ::testing::Test {
protected:
    void SetUp() override { setAudioBackend(AudioBackend::Virtual); }
    void TearDown() override { VirtualCard::instance().configure(VirtualCardConfig{}); }

    // One or two devices, each with or without a MUX, unpaced.
    static void configureCard(std::vector<bool> mux, std::vector<std::string> names = {}) {
        VirtualCardConfig config;
        config.devices.clear();
        for (size_t i = 0; i < mux.size(); ++i) {
            VirtualDeviceConfig d;
            d.hasMux = mux[i];
            if (i < names.size())
                d.name = names[i];
            config.devices.push_back(d);
        }
        config.speed = 0;
        ASSERT_TRUE(VirtualCard::instance().configure(config));
    }

    // Records 0.2 s of 16-bit mono at 44100 Hz from a virtual device and
    // returns the frequency of what was recorded (from its zero crossings);
    // 0 for silence.
    static double recordedFrequency(int device) {
        WAVEFORMATEX format;
        FillPcmFormat(format, 44100, 16, 1);
        std::mutex m;
        std::condition_variable cv;
        HWAVEIN in = nullptr;
        auto signal = [&] {
            std::lock_guard lock(m);
            cv.notify_all();
        };
        if (waveInOpen(&in, device, &format, signal, CALLBACK_EVENT) != MMR_NOERROR)
            return -1;
        std::vector<int16_t> samples(8820);
        WAVEHDR header{};
        header.lpData = reinterpret_cast<char*>(samples.data());
        header.dwBufferLength = uint32_t(samples.size() * 2);
        waveInPrepareHeader(in, &header, sizeof(header));
        waveInAddBuffer(in, &header, sizeof(header));
        waveInStart(in);
        {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::seconds(20),
                        [&] { return (waveHeaderFlags(header) & WHDR_DONE) != 0; });
        }
        waveInReset(in);
        waveInUnprepareHeader(in, &header, sizeof(header));
        waveInClose(in);
        if (header.dwBytesRecorded < samples.size() * 2)
            return -1;
        int crossings = 0;
        int peak = 0;
        for (size_t i = 1; i < samples.size(); ++i) {
            peak = std::max(peak, std::abs(int(samples[i])));
            if ((samples[i - 1] < 0) != (samples[i] < 0))
                ++crossings;
        }
        if (peak < 100)
            return 0;
        return crossings / 2.0 / (double(samples.size()) / 44100.0);
    }
};
