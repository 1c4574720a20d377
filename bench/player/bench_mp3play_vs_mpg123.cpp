// CPU per second of MP3 played, both sides as whole processes timed from
// exec to exit (wait4), each writing the decoded PCM to its standard output,
// piped back here:
//  - ours: this program re-run as a child that loads mp3play.so through the
//    player component, plays the file to its end on the unpaced virtual
//    speakers and then writes what the speakers took;
//  - mpg123 -q -s on the same file.
// The file is the project's music-like signal encoded at 128 kbit/s by the
// lame command line. The first pair warms the caches and is not counted;
// the order alternates between pairs. The two decodings are compared: the
// same number of samples, and every sample within a small tolerance. Prints
// medians with their range, the median of the per-pair ratios and the load
// (goal: at most 1.2); also the virtual speakers' own bookkeeping, measured
// apart, which is part of our figure but not of playback.
//
// usage: bench_mp3play_vs_mpg123 [seconds=60] [runs=5]
// Needs sox (the music signal), lame and mpg123.
#include "bench/common/BenchUtil.h"
#include "bench/common/PipedRun.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/VirtualCard.h"
#include "player/TXaudioPlayer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Plays the file on the unpaced virtual speakers, then writes their PCM to
// standard output. 0 when it played to its end.
int playChild(const std::string& mp3) {
    setAudioBackend(AudioBackend::Virtual);
    VirtualCardConfig config;
    config.speed = 0; // unpaced: every write plays at once
    VirtualCard::instance().configure(config);

    TXaudioPlayer player;
    player.setXaudioPath(MP3PLAY_PATH);
    player.Init(); // loads the library; a missing one throws
    bool ended = false, failed = false;
    player.OnNotifyPlayerState = [&](auto, int state) { ended |= state == 3; };
    player.OnNotifyError = [&](auto, uint8_t, int16_t, const std::string&) { failed = true; };
    if (player.InputOpen(mp3) != 0 || player.Play() != 0)
        return 3;
    if (!PlainMessageWindow::processMessagesUntil([&] { return ended || failed; }, 600000) ||
        failed)
        return 4;
    player.Stop();
    player.InputClose();
    PlainMessageWindow::processMessages();
    for (const SpeakerRecording& r : VirtualCard::instance().speakerRecordings(0))
        if (!writeAll(1, reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size()))
            return 5;
    return 0;
}

// CPU seconds the unpaced virtual speakers alone spend taking `bytes` of
// 44.1 kHz stereo in the player's write size.
double speakersCpu(size_t bytes) {
    setAudioBackend(AudioBackend::Virtual);
    VirtualCardConfig config;
    config.speed = 0;
    VirtualCard::instance().configure(config);
    std::vector<uint8_t> block(4608, 0x11);
    const double c0 = selfCpu();
    auto out = createAudioOutput(-1);
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    if (!out || out->open(f) != MMR_NOERROR)
        return 0;
    for (size_t n = 0; n < bytes; n += block.size())
        out->write(block.data(), uint32_t(block.size()));
    out->close();
    const double c = selfCpu() - c0;
    VirtualCard::instance().clearSpeakers(0);
    return c;
}

struct Decoded {
    PipedRun run;
    std::vector<int16_t> pcm;
};

// One side's run and its samples; false (with a message) when it failed.
bool decode(const char* name, const std::vector<std::string>& argv, uint64_t limit, Decoded* d) {
    std::vector<char> bytes;
    d->run = runPiped(argv, limit, false,
                      [&](const char* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
    if (!d->run.ok || bytes.empty() || d->run.bytes != bytes.size()) {
        std::fprintf(stderr, "%s failed (%llu bytes)\n", name,
                     static_cast<unsigned long long>(d->run.bytes));
        return false;
    }
    d->pcm.resize(bytes.size() / 2);
    std::memcpy(d->pcm.data(), bytes.data(), d->pcm.size() * 2);
    return true;
}

// The same decoding: as many samples, each within `tolerance`.
bool sameDecoding(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int tolerance,
                  int* worst) {
    *worst = 0;
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        *worst = std::max(*worst, std::abs(int(a[i]) - int(b[i])));
    return *worst <= tolerance;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return playChild(argv[2]);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;
    const std::string base = "/tmp/sonvale-bench-play-" + std::to_string(getpid());
    const std::string wav = base + ".wav", mp3 = base + ".mp3";
    if (!makeMusicWav(seconds, wav) ||
        !runShell("lame --quiet -b 128 '" + wav + "' '" + mp3 + "'").ok) {
        std::fprintf(stderr, "cannot make the test file (needs sox and lame)\n");
        return 1;
    }
    const std::vector<std::string> ours = {self, "--child", mp3};
    const std::vector<std::string> peer = {"mpg123", "-q", "-s", mp3};
    // Twice the sound's length bounds what either side may write.
    const uint64_t limit = uint64_t(seconds) * 44100 * 4 * 2;

    std::vector<double> ourCpu, peerCpu, ratios;
    size_t samples = 0;
    int worst = 0;
    for (int r = 0; r <= runs; ++r) {
        Decoded a, b;
        const bool ok = r % 2 == 0
                            ? decode("ours", ours, limit, &a) && decode("mpg123", peer, limit, &b)
                            : decode("mpg123", peer, limit, &b) && decode("ours", ours, limit, &a);
        const bool same = ok && sameDecoding(a.pcm, b.pcm, 1, &worst);
        if (ok && !same)
            std::fprintf(stderr,
                         "the decodings differ: %zu and %zu samples, largest difference %d\n",
                         a.pcm.size(), b.pcm.size(), worst);
        if (!same) {
            std::remove(wav.c_str());
            std::remove(mp3.c_str());
            return 1;
        }
        samples = a.pcm.size();
        if (r == 0)
            continue;
        ourCpu.push_back(a.run.cpu / seconds);
        peerCpu.push_back(b.run.cpu / seconds);
        ratios.push_back(a.run.cpu / b.run.cpu);
    }
    const double speakers = speakersCpu(samples * 2) / seconds;
    std::remove(wav.c_str());
    std::remove(mp3.c_str());
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);

    std::printf("MP3 playback of %d s of music at 128 kbit/s, whole processes, median of %d "
                "(range), load %.2f %.2f %.2f\n",
                seconds, runs, load[0], load[1], load[2]);
    std::printf("  both decoded %zu samples, largest difference %d\n", samples, worst);
    std::printf("  mp3play.so (player component, virtual speakers): %s ms CPU per second played\n",
                medianRange(ourCpu, 1000, "%.3f").c_str());
    std::printf("  mpg123 -q -s:                                     %s ms CPU per second played\n",
                medianRange(peerCpu, 1000, "%.3f").c_str());
    std::printf("  virtual speakers' bookkeeping alone: %.3f ms per second played\n",
                speakers * 1000);
    std::printf("  ratio: %s (per pair; goal <= 1.2); without the speakers' bookkeeping %.2f\n",
                medianRange(ratios, 1, "%.2f").c_str(),
                (median(ourCpu) - speakers) / median(peerCpu));
    return 0;
}
