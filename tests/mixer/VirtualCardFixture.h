// Test support: puts the platform on the virtual card with a chosen
// configuration, and records from a virtual device to measure which tone the
// mixer lets through. Test thread only.
#pragma once

#include "platform/AudioTestSupport.h"

#include <string>
#include <vector>

class MixerCardTest : public VirtualCardTest {
protected:
    void TearDown() override {
        VirtualCard::instance().configure(VirtualCardConfig{});
        VirtualCardTest::TearDown();
    }

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

    // The frequency of 0.2 s of 16-bit mono at 44100 Hz recorded from a
    // virtual device; 0 for silence, -1 when nothing was recorded.
    static double recordedFrequency(int device) {
        WAVEFORMATEX format;
        FillPcmFormat(format, 44100, 16, 1);
        const std::vector<uint8_t> bytes = recordBuffers(device, format, 1, 17640);
        if (bytes.size() < 17640)
            return -1;
        const std::vector<double> samples = channelOf(bytes.data(), bytes.size(), 1, 0);
        return rms(samples) < 0.003 ? 0 : measureFrequency(samples, 44100);
    }
};
