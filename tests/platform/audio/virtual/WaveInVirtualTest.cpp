#include "platform/AudioTestSupport.h"
#include "platform/MixerTestSupport.h"

#include "platform/audio/AudioOutput.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

WAVEFORMATEX pcm(uint32_t rate = 44100, uint16_t bits = 16, uint16_t channels = 2) {
    WAVEFORMATEX f;
    FillPcmFormat(f, rate, bits, channels);
    return f;
}

using WaveInVirtual = VirtualCardTest;

TEST_F(WaveInVirtual, BuffersCompleteInQueueOrderWithFlagsAndCounts) {
    const WAVEFORMATEX f = pcm();
    std::mutex m;
    std::vector<size_t> order;
    CaptureBuffers b(4, 17640);
    auto onSignal = [&] {
        std::lock_guard lock(m);
        for (size_t i = 0; i < b.headers.size(); ++i) {
            if (b.done(i) && std::find(order.begin(), order.end(), i) == order.end())
                order.push_back(i);
        }
    };
    SignalCounter signals;
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(
                  &h, WAVE_MAPPER, &f,
                  [&] {
                      onSignal();
                      signals();
                  },
                  CALLBACK_EVENT),
              MMR_NOERROR);
    EXPECT_EQ(signals.count(), 1); // the open is signalled
    b.queue(h);
    for (auto& hdr : b.headers)
        EXPECT_EQ(waveHeaderFlags(hdr), uint32_t(WHDR_PREPARED | WHDR_INQUEUE));
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    for (int n = 2; !b.done(3); ++n)
        ASSERT_TRUE(signals.waitFor(n));
    {
        std::lock_guard lock(m);
        EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3}));
    }
    for (auto& hdr : b.headers) {
        EXPECT_EQ(waveHeaderFlags(hdr), uint32_t(WHDR_DONE | WHDR_PREPARED));
        EXPECT_EQ(hdr.dwBytesRecorded, 17640u);
    }
    // The tone runs on across buffer boundaries: no gap, no repeat.
    auto left1 = channelOf(b.data[1].data(), 17640, 2, 0);
    double expected = 0.5 * std::sin(2 * M_PI * 500.0 * 4410 / 44100);
    EXPECT_NEAR(left1[0], expected, 1e-3);
    for (auto& hdr : b.headers)
        EXPECT_EQ(waveInUnprepareHeader(h, &hdr, sizeof hdr), MMR_NOERROR);
    ASSERT_EQ(waveInClose(h), MMR_NOERROR);
    // Open, the buffers (the unpaced card fills them back to back, and such
    // a burst is signalled together), close.
    EXPECT_GE(signals.count(), 3);
    EXPECT_LE(signals.count(), 6);
}

TEST_F(WaveInVirtual, StopReturnsThePartlyFilledBufferAndKeepsTheEmptyOnes) {
    configure(1.0);
    const WAVEFORMATEX f = pcm(8000, 16, 1);
    SignalCounter signals;
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, 0, &f, std::ref(signals), CALLBACK_EVENT), MMR_NOERROR);
    CaptureBuffers b(2, 16000 * 10); // ten seconds each: never full here
    b.queue(h);
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    // The paced card fills whole buffers; a stop part way through still hands
    // back what the first one holds so far.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(waveInStop(h), MMR_NOERROR);
    EXPECT_TRUE(b.done(0));
    EXPECT_GT(b.headers[0].dwBytesRecorded, 0u);
    EXPECT_EQ(b.headers[0].dwBytesRecorded % 2, 0u);
    EXPECT_EQ(waveHeaderFlags(b.headers[1]), uint32_t(WHDR_PREPARED | WHDR_INQUEUE));
    // Still queued: close is refused, nothing is lost.
    EXPECT_EQ(waveInClose(h), MMR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(h, &b.headers[1], sizeof(WAVEHDR)), MMR_STILLPLAYING);
    ASSERT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_TRUE(b.done(1));
    EXPECT_EQ(b.headers[1].dwBytesRecorded, 0u);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
}

TEST_F(WaveInVirtual, ResetReturnsEveryQueuedBufferInOrderAndRestartWorks) {
    configure(1.0);
    const WAVEFORMATEX f = pcm(11025, 8, 1);
    SignalCounter signals;
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, 0, &f, std::ref(signals), CALLBACK_EVENT), MMR_NOERROR);
    CaptureBuffers b(3, 2205);
    b.queue(h);
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    ASSERT_EQ(waveInReset(h), MMR_NOERROR);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(waveHeaderFlags(b.headers[i]), uint32_t(WHDR_DONE | WHDR_PREPARED));
    // Re-queue the same headers and record again after the reset.
    configure(0.0);
    for (auto& hdr : b.headers)
        ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_NOERROR);
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    ASSERT_EQ(waveInReset(h), MMR_NOERROR);
    ASSERT_EQ(waveInClose(h), MMR_NOERROR);
}

TEST_F(WaveInVirtual, RefusesBadIdsFormatsHeadersAndSecondOpens) {
    WAVEFORMATEX f = pcm();
    HWAVEIN h = nullptr, h2 = nullptr;
    EXPECT_EQ(waveInOpen(&h, 1, &f, {}, 0), MMR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(&h, -2, &f, {}, 0), MMR_BADDEVICEID);
    WAVEINCAPS caps;
    EXPECT_EQ(waveInGetDevCapsA(5, &caps), MMR_BADDEVICEID);
    for (auto mutate : std::vector<void (*)(WAVEFORMATEX&)>{
             [](WAVEFORMATEX& x) { x.wFormatTag = 2; }, [](WAVEFORMATEX& x) { x.nChannels = 3; },
             [](WAVEFORMATEX& x) { x.wBitsPerSample = 24; },
             [](WAVEFORMATEX& x) { x.nBlockAlign = 3; },
             [](WAVEFORMATEX& x) { x.nSamplesPerSec = 0; }}) {
        WAVEFORMATEX bad = pcm();
        mutate(bad);
        EXPECT_EQ(waveInOpen(&h, 0, &bad, {}, 0), MMR_BADFORMAT);
        EXPECT_EQ(waveInOpen(nullptr, 0, &bad, {}, WAVE_FORMAT_QUERY), MMR_BADFORMAT);
    }
    EXPECT_EQ(waveInOpen(&h, 0, nullptr, {}, 0), MMR_INVALPARAM);
    EXPECT_EQ(waveInOpen(nullptr, 0, &f, {}, WAVE_FORMAT_QUERY), MMR_NOERROR);

    ASSERT_EQ(waveInOpen(&h, 0, &f, {}, 0), MMR_NOERROR);
    EXPECT_EQ(waveInOpen(&h2, -1, &f, {}, 0), MMR_ALLOCATED);
    WAVEHDR hdr{};
    char buf[64];
    EXPECT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMR_INVALPARAM); // no buffer
    hdr.lpData = buf;
    hdr.dwBufferLength = sizeof buf;
    EXPECT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_UNPREPARED);
    EXPECT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_STILLPLAYING);
    EXPECT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
    // A closed handle is refused, not dereferenced.
    EXPECT_EQ(waveInStart(h), MMR_INVALHANDLE);
    EXPECT_EQ(waveInClose(h), MMR_INVALHANDLE);
    // The device is free again.
    ASSERT_EQ(waveInOpen(&h2, 0, &f, {}, 0), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h2), MMR_NOERROR);
}

TEST_F(WaveInVirtual, CapabilitiesAndErrorTexts) {
    configure(0.0, true, 2);
    EXPECT_EQ(waveInGetNumDevs(), 2u);
    WAVEINCAPS a, b;
    ASSERT_EQ(waveInGetDevCapsA(0, &a), MMR_NOERROR);
    ASSERT_EQ(waveInGetDevCapsA(1, &b), MMR_NOERROR);
    EXPECT_STRNE(a.szPname, b.szPname);
    EXPECT_EQ(a.wChannels, 2);
    EXPECT_TRUE(a.dwFormats & WAVE_FORMAT_4S16);
    char text[129];
    EXPECT_EQ(waveInGetErrorTextA(MMR_BADFORMAT, text, sizeof text), MMR_NOERROR);
    EXPECT_GT(std::strlen(text), 0u);
    char tiny[5];
    EXPECT_EQ(waveInGetErrorTextA(MMR_ALLOCATED, tiny, sizeof tiny), MMR_NOERROR);
    EXPECT_EQ(std::strlen(tiny), 4u);
    EXPECT_EQ(waveInGetErrorTextA(4242, text, sizeof text), MMR_BADERRNUM);
}

TEST_F(WaveInVirtual, TheMuxChoosesTheCapturedToneAndVolumeScalesIt) {
    const WAVEFORMATEX f = pcm();
    auto mic = recordBuffers(0, f, 1, 17640);
    EXPECT_NEAR(measureFrequency(channelOf(mic.data(), mic.size(), 2, 0), 44100), 500, 2);
    EXPECT_NEAR(measureFrequency(channelOf(mic.data(), mic.size(), 2, 1), 44100), 700, 2);
    EXPECT_NEAR(rms(channelOf(mic.data(), mic.size(), 2, 0)), 0.5 / std::sqrt(2.0), 0.01);

    ASSERT_EQ(chooseMuxItem(0u, waveInMux(0u), 2), MMR_NOERROR); // CD Audio
    auto cd = recordBuffers(0, f, 1, 17640);
    EXPECT_NEAR(measureFrequency(channelOf(cd.data(), cd.size(), 2, 0), 44100), 2000, 5);
    EXPECT_NEAR(measureFrequency(channelOf(cd.data(), cd.size(), 2, 1), 44100), 2500, 5);

    VirtualCard::instance().setSourceVolume(0, VS_CD_AUDIO, 32768, 0);
    auto quiet = recordBuffers(0, f, 1, 17640);
    EXPECT_NEAR(rms(channelOf(quiet.data(), quiet.size(), 2, 0)), 0.25 / std::sqrt(2.0), 0.01);
    EXPECT_LT(rms(channelOf(quiet.data(), quiet.size(), 2, 1)), 1e-4);
}

TEST_F(WaveInVirtual, EachMixerDeviceNamesTheCaptureDeviceThatRecordsItsChoice) {
    VirtualCardConfig c;
    c.devices.resize(2);
    c.devices[1].name = "Second Card With A Name Longer Than Thirty-One Characters";
    c.speed = 0;
    ASSERT_TRUE(VirtualCard::instance().configure(c));
    VirtualCard::instance().selectSource(1, VS_LINE_IN);
    const WAVEFORMATEX f = pcm();
    for (uint32_t mixer : {0u, 1u}) {
        int device = -2;
        ASSERT_EQ(mixerGetWaveInDevice(mixer, &device), MMR_NOERROR);
        EXPECT_EQ(device, int(mixer));
        auto got = recordBuffers(device, f, 1, 17640);
        EXPECT_NEAR(measureFrequency(channelOf(got.data(), got.size(), 2, 0), 44100),
                    mixer == 0 ? 500 : 1000, 3);
    }
    // Names come whole beside the 31 characters the records hold.
    EXPECT_EQ(waveInGetDeviceName(1), c.devices[1].name);
    EXPECT_EQ(mixerGetDeviceName(1u), c.devices[1].name);
    WAVEINCAPS caps;
    ASSERT_EQ(waveInGetDevCapsA(1, &caps), MMR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), c.devices[1].name.substr(0, 31));
    EXPECT_EQ(waveInGetDeviceName(2), "");
}

TEST_F(WaveInVirtual, WithoutAMuxEverySelectedSourceIsSummed) {
    configure(0.0, false);
    VirtualCard::instance().setSourceSelected(0, VS_MICROPHONE, false);
    auto silent = recordBuffers(0, pcm(), 1, 17640);
    EXPECT_LT(rms(channelOf(silent.data(), silent.size(), 2, 0)), 1e-4);

    VirtualCard::instance().setSourceSelected(0, VS_MICROPHONE, true);
    VirtualCard::instance().setSourceSelected(0, VS_LINE_IN, true);
    auto both = recordBuffers(0, pcm(), 1, 17640);
    // Two uncorrelated sines of amplitude 0.5 add up to an RMS of 0.5.
    EXPECT_NEAR(rms(channelOf(both.data(), both.size(), 2, 0)), 0.5, 0.01);
}

TEST_F(WaveInVirtual, ARawFeedAtUnityIsRecordedByteForByte) {
    char path[] = "/tmp/sonvale-feed-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> raw(4410 * 4);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = uint8_t((i * 37) ^ (i >> 3));
    ASSERT_EQ(write(fd, raw.data(), raw.size()), ssize_t(raw.size()));
    close(fd);
    VirtualCardConfig c;
    c.speed = 0;
    c.devices[0].sourceFiles[VS_LINE_IN] = path;
    ASSERT_TRUE(VirtualCard::instance().configure(c));
    VirtualCard::instance().selectSource(0, VS_LINE_IN);
    auto got = recordBuffers(0, pcm(), 3, 4410 * 4 / 2); // the feed loops
    unlink(path);
    ASSERT_EQ(got.size(), raw.size() * 3 / 2);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), got.begin()));
    EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + long(raw.size() / 2),
                           got.begin() + long(raw.size())));
}

TEST_F(WaveInVirtual, StereoMixRecordsWhatTheSpeakersPlay) {
    // 300 ms of a 440 Hz tone at 22050 Hz, played at once (unpaced).
    WAVEFORMATEX pf = pcm(22050, 16, 2);
    std::vector<uint8_t> tone(22050 * 4 * 3 / 10);
    for (size_t i = 0; i < tone.size() / 4; ++i) {
        int16_t v = int16_t(16000 * std::sin(2 * M_PI * 440.0 * double(i) / 22050));
        for (int c = 0; c < 2; ++c) {
            tone[i * 4 + c * 2] = uint8_t(v & 0xFF);
            tone[i * 4 + c * 2 + 1] = uint8_t((v >> 8) & 0xFF);
        }
    }
    VirtualCard::instance().selectSource(0, VS_STEREO_MIX);
    auto out = createAudioOutput(0);
    ASSERT_EQ(out->open(pf), MMR_NOERROR);
    ASSERT_EQ(out->write(tone.data(), uint32_t(tone.size())), MMR_NOERROR);
    auto got = recordBuffers(0, pcm(44100, 16, 2), 1, 17640); // 100 ms at twice the rate
    EXPECT_NEAR(measureFrequency(channelOf(got.data(), got.size(), 2, 0), 44100), 440, 3);

    // Muted speakers are heard as silence.
    VirtualCard::instance().clearSpeakers(0); // forget the 200 ms not recorded yet
    VirtualCard::instance().setSpeakers(0, 65535, 65535, true);
    ASSERT_EQ(out->write(tone.data(), uint32_t(tone.size())), MMR_NOERROR);
    auto muted = recordBuffers(0, pcm(44100, 16, 2), 1, 17640);
    EXPECT_LT(rms(channelOf(muted.data(), muted.size(), 2, 0)), 1e-4);
    out->close();
}

TEST_F(WaveInVirtual, PacingFollowsTheClockTimesTheSpeed) {
    configure(50.0); // 100 ms buffers arrive every 2 ms
    const WAVEFORMATEX f = pcm(8000, 8, 1);
    auto started = std::chrono::steady_clock::now();
    auto got = recordBuffers(0, f, 10, 800); // one second of sound
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(got.size(), 8000u);
    // Never faster than the clock allows (a lower bound only: no flaky upper bound).
    EXPECT_GE(seconds, 1.0 / 50 * 0.9);
}

} // namespace
