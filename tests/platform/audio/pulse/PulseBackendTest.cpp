// The sound-server backend against a real PulseAudio daemon the suite starts
// itself (PulseServer): capture follows the source chosen in the mixer, the
// speakers' monitor hears the output, volumes agree with pactl both ways,
// hot-plugged sources show up with a notification, a lost server ends a
// recording cleanly and is found again, and ALSA's default through the
// server's plugin counts as a device.
#include "PulseServer.h"

#include "platform/AudioTestSupport.h"
#include "platform/MixerTestSupport.h"
#include "platform/audio/AudioOutput.h"

#include <alsa/asoundlib.h>
#include <gmock/gmock.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <optional>
#include <thread>

// libpulse recycles its memory blocks through lock-free lists ThreadSanitizer
// cannot see (the library is not instrumented): two connections in one
// process (the backend's and the ALSA plugin's) then look like a race inside
// libpulse. Races with a libpulse frame are left out; ours are still seen.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulsecommon\nrace:libpulse.so\nrace:libasound_module_pcm_pulse\n";
}

namespace {

using namespace std::chrono_literals;

// Control ids the change callback reported, waitable.
class ChangeLog {
public:
    void operator()(HMIXER, uint32_t controlId) {
        std::lock_guard lock(m_);
        ids_.push_back(controlId);
        cv_.notify_all();
    }
    bool waitFor(uint32_t controlId, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, limit, [&] {
            return std::find(ids_.begin(), ids_.end(), controlId) != ids_.end();
        });
    }
    void clear() {
        std::lock_guard lock(m_);
        ids_.clear();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint32_t> ids_;
};

struct Line {
    uint32_t lineId = 0;
    uint32_t volumeId = 0;
    uint32_t muteId = 0;
};

class PulseBackend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new PulseServer();
        if (!server_->start(&why_) && why_.find("not installed") == std::string::npos)
            failed_ = true;
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (failed_)
            FAIL() << why_;
        if (!server_->running())
            GTEST_SKIP() << why_;
        setAudioBackend(AudioBackend::Pulse);
    }
    void TearDown() override { setAudioBackend(AudioBackend::Virtual); }

    // Sets the MUX to the named item; false when there is no such item.
    static bool chooseSource(const std::string& name) {
        std::vector<std::string> items;
        const MIXERCONTROL mux = waveInMux(0u, &items);
        auto it = std::find(items.begin(), items.end(), name);
        return it != items.end() &&
               chooseMuxItem(0u, mux, uint32_t(it - items.begin())) == MMR_NOERROR;
    }

    static std::string chosenSource() {
        std::vector<std::string> items;
        const auto v = controlValues(0u, waveInMux(0u, &items), 1);
        for (size_t i = 0; i < v.size() && i < items.size(); ++i) {
            if (v[i])
                return items[i];
        }
        return {};
    }

    // A line by name (destination `dest`, or any source of it) and its controls.
    static std::optional<Line> findLine(uint32_t dest, const std::string& name) {
        MIXERLINE d{};
        d.cbStruct = sizeof d;
        d.dwDestination = dest;
        if (mixerGetLineInfoA(0u, &d, MIXER_GETLINEINFOF_DESTINATION) != MMR_NOERROR)
            return std::nullopt;
        std::vector<MIXERLINE> lines{d};
        for (uint32_t s = 0; s < d.cConnections; ++s) {
            MIXERLINE l{};
            l.cbStruct = sizeof l;
            l.dwDestination = dest;
            l.dwSource = s;
            if (mixerGetLineInfoA(0u, &l, MIXER_GETLINEINFOF_SOURCE) == MMR_NOERROR)
                lines.push_back(l);
        }
        for (const MIXERLINE& l : lines) {
            if (name != l.szName)
                continue;
            Line out;
            out.lineId = l.dwLineID;
            for (const MIXERCONTROL& c : lineControls(0u, l)) {
                if (c.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME)
                    out.volumeId = c.dwControlID;
                if (c.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE)
                    out.muteId = c.dwControlID;
            }
            return out;
        }
        return std::nullopt;
    }

    static int32_t value(uint32_t controlId) {
        int32_t v = -1;
        MIXERCONTROLDETAILS d{sizeof d, controlId, 1, 0, 4, &v};
        EXPECT_EQ(mixerGetControlDetailsA(0u, &d, MIXER_GETCONTROLDETAILSF_VALUE), MMR_NOERROR);
        return v;
    }

    static MMRESULT setValue(uint32_t controlId, int32_t v) {
        MIXERCONTROLDETAILS d{sizeof d, controlId, 1, 0, 4, &v};
        return mixerSetControlDetails(0u, &d, MIXER_SETCONTROLDETAILSF_VALUE);
    }

    // Records `count` 100 ms buffers of 16-bit mono at 44100 Hz from a device.
    static std::vector<double> record(int device = WAVE_MAPPER, int count = 3) {
        WAVEFORMATEX f;
        FillPcmFormat(f, 44100, 16, 1);
        const auto all = recordBuffers(device, f, size_t(count), 8820);
        return channelOf(all.data(), all.size(), 1, 0);
    }

    static std::string trimmed(std::string s) {
        while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
            s.pop_back();
        return s;
    }

    static inline PulseServer* server_ = nullptr;
    static inline std::string why_;
    static inline bool failed_ = false;
};

TEST_F(PulseBackend, TheSourceChosenInTheMixerIsRecordedAndIsTheServersDefault) {
    ASSERT_EQ(mixerGetNumDevs(), 1u);
    ASSERT_EQ(waveInGetNumDevs(), 1u);
    std::vector<std::string> items;
    ASSERT_NE(waveInMux(0u, &items).dwControlID, 0u);
    EXPECT_THAT(items, ::testing::IsSupersetOf({"MicA", "MicB", "Monitor of Speakers"}));

    ASSERT_TRUE(chooseSource("MicB"));
    EXPECT_EQ(trimmed(server_->pactl("get-default-source")), "mic_b");
    EXPECT_NEAR(measureFrequency(record(), 44100), PulseServer::kMicBHz, 25);
    ASSERT_TRUE(chooseSource("MicA"));
    EXPECT_NEAR(measureFrequency(record(0), 44100), PulseServer::kMicAHz, 10);

    // A default chosen elsewhere shows in the MUX, with a notification.
    ChangeLog log;
    HMIXER m = nullptr;
    ASSERT_EQ(mixerOpen(&m, 0, std::ref(log)), MMR_NOERROR);
    const uint32_t mux = waveInMux(0u, &items).dwControlID;
    server_->pactl("set-default-source mic_b");
    EXPECT_TRUE(log.waitFor(mux));
    EXPECT_EQ(chosenSource(), "MicB");
    EXPECT_EQ(mixerClose(m), MMR_NOERROR);
    server_->pactl("set-default-source mic_a");
}

TEST_F(PulseBackend, TheSpeakersMonitorRecordsWhatTheOutputPlays) {
    ASSERT_TRUE(chooseSource("Monitor of Speakers"));
    WAVEFORMATEX f;
    FillPcmFormat(f, 48000, 16, 2);
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(f), MMR_NOERROR);
    std::atomic<bool> done{false};
    std::thread player([&] {
        std::vector<int16_t> tone(4800 * 2); // 100 ms of 3 kHz
        for (size_t i = 0; i < 4800; ++i)
            tone[2 * i] = tone[2 * i + 1] =
                int16_t(12000 * std::sin(2 * M_PI * 3000 * double(i) / 48000));
        while (!done)
            ASSERT_EQ(out->write(tone.data(), uint32_t(tone.size() * 2)), MMR_NOERROR);
    });
    std::this_thread::sleep_for(300ms);
    const auto heard = record(WAVE_MAPPER, 4);
    done = true;
    player.join();
    EXPECT_NEAR(measureFrequency(heard, 44100), 3000, 60);
    EXPECT_GT(out->playedBytes(), 0u);
    EXPECT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_EQ(out->close(), MMR_NOERROR);
    ASSERT_TRUE(chooseSource("MicA"));
}

TEST_F(PulseBackend, VolumesAndMutesAgreeWithTheServerBothWays) {
    ChangeLog log;
    HMIXER m = nullptr;
    ASSERT_EQ(mixerOpen(&m, 0, std::ref(log)), MMR_NOERROR);
    auto mic = findLine(1, "MicA");
    ASSERT_TRUE(mic);
    ASSERT_EQ(setValue(mic->volumeId, 32768), MMR_NOERROR);
    EXPECT_NE(server_->pactl("get-source-volume mic_a").find(" 50%"), std::string::npos);
    EXPECT_EQ(value(mic->volumeId), 32768);

    log.clear();
    server_->pactl("set-source-volume mic_a 25%");
    EXPECT_TRUE(log.waitFor(mic->volumeId));
    EXPECT_NEAR(value(mic->volumeId), 16384, 1);
    log.clear();
    server_->pactl("set-source-mute mic_a 1");
    EXPECT_TRUE(log.waitFor(mic->volumeId));
    EXPECT_EQ(value(mic->muteId), 1);
    server_->pactl("set-source-mute mic_a 0");
    server_->pactl("set-source-volume mic_a 100%");

    auto speakers = findLine(0, "Speakers");
    ASSERT_TRUE(speakers);
    ASSERT_EQ(setValue(speakers->volumeId, 65535), MMR_NOERROR);
    EXPECT_NE(server_->pactl("get-sink-volume speakers").find(" 100%"), std::string::npos);
    ASSERT_EQ(setValue(speakers->muteId, 1), MMR_NOERROR);
    EXPECT_NE(server_->pactl("get-sink-mute speakers").find("yes"), std::string::npos);
    log.clear();
    server_->pactl("set-sink-mute speakers 0");
    EXPECT_TRUE(log.waitFor(speakers->volumeId));
    EXPECT_EQ(value(speakers->muteId), 0);
    EXPECT_EQ(mixerClose(m), MMR_NOERROR);
}

TEST_F(PulseBackend, SourcesPluggedInAndOutAppearAndDisappearWithANotification) {
    ChangeLog log;
    HMIXER m = nullptr;
    ASSERT_EQ(mixerOpen(&m, 0, std::ref(log)), MMR_NOERROR);
    std::vector<std::string> items;
    const uint32_t mux = waveInMux(0u, &items).dwControlID;
    const size_t before = items.size();
    bool ok = false;
    const std::string module =
        trimmed(server_->pactl("load-module module-sine-source source_name=usb_mic frequency=2000 "
                               "source_properties=device.description=UsbMic",
                               &ok));
    ASSERT_TRUE(ok);
    EXPECT_TRUE(log.waitFor(mux));
    waveInMux(0u, &items);
    EXPECT_EQ(items.size(), before + 1);
    EXPECT_TRUE(findLine(1, "UsbMic"));

    log.clear();
    server_->pactl("unload-module " + module);
    EXPECT_TRUE(log.waitFor(mux));
    waveInMux(0u, &items);
    EXPECT_EQ(items.size(), before);
    EXPECT_FALSE(findLine(1, "UsbMic"));
    EXPECT_EQ(mixerClose(m), MMR_NOERROR);
}

TEST_F(PulseBackend, ALostServerEndsARecordingCleanlyAndIsFoundAgain) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 1);
    SignalCounter signals;
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, std::ref(signals), CALLBACK_EVENT), MMR_NOERROR);
    CaptureBuffers b(50, 8820);
    b.queue(h);
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    while (!b.done(1))
        ASSERT_TRUE(signals.waitFor(signals.count() + 1, 10s));

    server_->kill();
    WaveInStats stats;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (waveInGetStats(h, &stats) && !stats.deviceLost &&
           std::chrono::steady_clock::now() < deadline)
        signals.waitFor(signals.count() + 1, 1s);
    EXPECT_TRUE(stats.deviceLost);
    // What came before the loss is kept; the rest comes back on reset.
    EXPECT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
    EXPECT_EQ(b.headers[0].dwBytesRecorded, 8820u);
    EXPECT_NEAR(measureFrequency(channelOf(b.data[0].data(), 8820, 1, 0), 44100),
                PulseServer::kMicAHz, 10);
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, {}, 0), MMR_NODRIVER);

    // The server comes back: the backend finds it again by itself.
    std::string why;
    ASSERT_TRUE(server_->start(&why)) << why;
    const auto back = std::chrono::steady_clock::now() + 10s;
    while (waveInGetNumDevs() == 0 && std::chrono::steady_clock::now() < back)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(waveInGetNumDevs(), 1u);
    EXPECT_NEAR(measureFrequency(record(), 44100), PulseServer::kMicAHz, 10);
}

TEST_F(PulseBackend, AlsaDefaultThroughTheServerPluginCountsAsADevice) {
    const std::string conf = server_->folder() + "/asound.conf";
    std::ofstream(conf) << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf).c_str(), 1);
    snd_config_update_free_global();
    setAudioBackend(AudioBackend::Alsa);
    int card = -1;
    const bool noCard = snd_card_next(&card) == 0 && card < 0;
    if (noCard) {
        EXPECT_EQ(waveInGetNumDevs(), 1u);
        auto out = createAudioOutput(0);
        WAVEFORMATEX f;
        FillPcmFormat(f, 44100, 16, 2);
        EXPECT_EQ(out->open(f), MMR_NOERROR);
        out->close();
    }
    EXPECT_NEAR(measureFrequency(record(), 44100), PulseServer::kMicAHz, 10);
    unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}

// As at the program's start, nothing chosen yet: the warm-up chooses and
// connects on its thread while this one asks at once; both meet one choice
// and one connection (counted once the server's sources are known), and the
// warm-up's thread ends by itself. Without a server it settles on ALSA.
TEST_F(PulseBackend, AWarmUpMakesTheChoiceWhileTheFirstCallsWaitForIt) {
    const std::string server = std::getenv("PULSE_SERVER");
    unsetenv("SONVALE_AUDIO");
    for (const std::string& at : {server, "unix:" + server_->folder() + "/no-server-here"}) {
        setenv("PULSE_SERVER", at.c_str(), 1);
        forgetAudioBackendChoice();
        const AudioWarmUp warmUp;
        const bool found = at == server;
        EXPECT_EQ(audioBackend(), found ? AudioBackend::Pulse : AudioBackend::Alsa) << at;
        if (found) {
            EXPECT_EQ(waveInGetNumDevs() + mixerGetNumDevs(), 2u);
        }
    }
    setenv("PULSE_SERVER", server.c_str(), 1);
}

// Bytes held back for a 100 ms piece: a drain sends the tail (a frame split
// across two writes included), an interrupted write returns at once and
// keeps its rest, a stop drops them.
TEST_F(PulseBackend, BytesHeldBackForAPieceAllPlayAndAnInterruptedWriteKeepsItsRest) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(f), MMR_NOERROR);
    std::vector<uint8_t> sound(44100 * 4, 0x10); // 1 s
    uint64_t total = 0;
    for (int i = 0; i < 20; ++i, total += 4608) // 0.52 s, a frame at a time
        ASSERT_EQ(out->write(sound.data(), 4608), MMR_NOERROR);
    ASSERT_EQ(out->write(sound.data(), 6), MMR_NOERROR);
    ASSERT_EQ(out->write(sound.data(), 2), MMR_NOERROR);
    total += 8;
    ASSERT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), total);

    ASSERT_EQ(out->stop(), MMR_NOERROR);
    std::atomic<bool> returned{false};
    std::thread writer([&] {
        EXPECT_EQ(out->write(sound.data(), uint32_t(sound.size())), MMR_NOERROR);
        returned = true;
    });
    std::this_thread::sleep_for(150ms); // the server is full; the writer waits
    EXPECT_FALSE(returned);
    out->interruptWrite();
    for (int i = 0; i < 200 && !returned; ++i) // else about 0.5 s more
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(returned);
    writer.join();
    ASSERT_EQ(out->flush(), MMR_NOERROR);
    // Run dry, the stream's own time stops a sink latency short; the count
    // goes on to the end as the sink plays it, with no drain to push it
    // (within 8 s: the test server's sink may first idle for 2 s).
    for (int i = 0; i < 800 && out->playedBytes() < sound.size(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(out->playedBytes(), sound.size()) << "what the write kept was played";
    ASSERT_EQ(out->write(sound.data(), 4608), MMR_NOERROR);
    ASSERT_EQ(out->flush(), MMR_NOERROR);
    EXPECT_GE(out->playedBytes(), sound.size()) << "more sound does not take the count back";
    ASSERT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), sound.size() + 4608);

    ASSERT_EQ(out->stop(), MMR_NOERROR);
    ASSERT_EQ(out->write(sound.data(), 1323 * 4), MMR_NOERROR); // 30 ms, held
    ASSERT_EQ(out->stop(), MMR_NOERROR);
    ASSERT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), 0u) << "held bytes do not outlive a stop";
    EXPECT_EQ(out->close(), MMR_NOERROR);
}

// A sine source has a fixed latency of two seconds: it hands over two
// seconds at once, every two seconds. None of such a piece may be lost.
TEST_F(PulseBackend, ASourceHandingOverSecondsAtOnceLosesNothing) {
    // The default source is MicA.
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 1);
    SignalCounter signals;
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, std::ref(signals), CALLBACK_EVENT), MMR_NOERROR);
    std::vector<std::vector<char>> data(30, std::vector<char>(8820));
    std::vector<WAVEHDR> hdr(data.size());
    for (size_t i = 0; i < hdr.size(); ++i) {
        hdr[i] = WAVEHDR{};
        hdr[i].lpData = data[i].data();
        hdr[i].dwBufferLength = 8820;
        waveInPrepareHeader(h, &hdr[i], sizeof(WAVEHDR));
        waveInAddBuffer(h, &hdr[i], sizeof(WAVEHDR));
    }
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    while (!(waveHeaderFlags(hdr[0]) & WHDR_DONE))
        ASSERT_TRUE(signals.waitFor(signals.count() + 1, 10s));
    std::this_thread::sleep_for(500ms); // the rest of the piece lands
    EXPECT_EQ(waveInStop(h), MMR_NOERROR);
    WaveInStats stats;
    ASSERT_TRUE(waveInGetStats(h, &stats));
    EXPECT_GE(stats.recordedBytes, 88200u * 2 - 882); // the whole first piece
    EXPECT_EQ(stats.overruns, 0u);
    EXPECT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
}

} // namespace
