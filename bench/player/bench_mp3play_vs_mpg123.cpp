// CPU per second of MP3 played: the player component over mp3play.so on the
// virtual speakers run unpaced, against `mpg123 -q -w /dev/null` on the same
// file in the same run. The file is the project's music-like signal encoded
// at 128 kbit/s by the lame command line. Prints both figures and their
// ratio (goal: at most 1.2).
//
// usage: bench_mp3play_vs_mpg123 [seconds=60] [runs=3]
#include "bench/common/BenchUtil.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/VirtualCard.h"
#include "player/TXaudioPlayer.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// CPU seconds of one `mpg123 -q -w /dev/null file`.
double peerCpu(const std::string& mp3) {
    const PeerRun run = runProgram({"mpg123", "-q", "-w", "/dev/null", mp3});
    if (!run.ok) {
        std::fprintf(stderr, "mpg123 failed\n");
        std::exit(1);
    }
    return run.cpu;
}

struct Ours {
    double cpu = 0;
    double wall = 0;
    size_t bytes = 0;
};

Ours playOurs(TXaudioPlayer& player, const std::string& mp3) {
    VirtualCard::instance().clearSpeakers(0);
    bool ended = false, failed = false;
    player.OnNotifyPlayerState = [&](auto, int state) { ended |= state == 3; };
    player.OnNotifyError = [&](auto, uint8_t, int16_t, const std::string& m) {
        std::fprintf(stderr, "player error: %s\n", m.c_str());
        failed = true;
    };
    PlainMessageWindow::processMessages();
    const auto w0 = std::chrono::steady_clock::now();
    const double c0 = selfCpu();
    if (player.InputOpen(mp3) != 0 || player.Play() != 0) {
        std::fprintf(stderr, "the player refused the file\n");
        std::exit(1);
    }
    if (!PlainMessageWindow::processMessagesUntil([&] { return ended || failed; }, 600000) ||
        failed) {
        std::fprintf(stderr, "playback did not end\n");
        std::exit(1);
    }
    Ours o;
    o.cpu = selfCpu() - c0;
    o.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    player.Stop();
    player.InputClose();
    PlainMessageWindow::processMessages();
    for (const SpeakerRecording& r : VirtualCard::instance().speakerRecordings(0)) {
        o.bytes += r.bytes.size();
    }
    return o;
}

// CPU seconds the unpaced virtual speakers alone spend taking `bytes` of
// 44.1 kHz stereo in the player's write size: the part of our figure that
// is the test card's bookkeeping, not playback.
double speakersCpu(size_t bytes) {
    VirtualCard::instance().clearSpeakers(0);
    std::vector<uint8_t> block(4608, 0x11);
    const double c0 = selfCpu();
    auto out = createAudioOutput(-1);
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    if (!out || out->open(f) != MMR_NOERROR) {
        std::fprintf(stderr, "cannot open the virtual speakers\n");
        std::exit(1);
    }
    for (size_t n = 0; n < bytes; n += block.size()) {
        out->write(block.data(), uint32_t(block.size()));
    }
    out->close();
    const double c = selfCpu() - c0;
    VirtualCard::instance().clearSpeakers(0);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    const std::string base = "/tmp/sonvale-bench-play-" + std::to_string(getpid());
    const std::string wav = base + ".wav", mp3 = base + ".mp3";
    if (!makeMusicWav(seconds, wav) ||
        !runShell("lame --quiet -b 128 '" + wav + "' '" + mp3 + "'").ok) {
        std::fprintf(stderr, "cannot make the test file (needs sox and lame)\n");
        return 1;
    }

    setAudioBackend(AudioBackend::Virtual);
    VirtualCardConfig config;
    config.speed = 0; // unpaced: every write plays at once
    VirtualCard::instance().configure(config);

    TXaudioPlayer player;
    player.setXaudioPath(MP3PLAY_PATH);
    player.Init();

    std::vector<double> ours, peer, speakers;
    size_t bytes = 0;
    double wall = 0;
    for (int i = 0; i < runs; ++i) {
        const Ours o = playOurs(player, mp3);
        ours.push_back(o.cpu / seconds);
        bytes = o.bytes;
        wall = o.wall;
        peer.push_back(peerCpu(mp3) / seconds);
        speakers.push_back(speakersCpu(size_t(seconds) * 44100 * 4) / seconds);
    }
    std::remove(wav.c_str());
    std::remove(mp3.c_str());

    const double o = median(ours), p = median(peer), sp = median(speakers);
    std::printf("file: %d s of music, 128 kbit/s; %d runs, medians\n", seconds, runs);
    std::printf("mp3play.so on virtual speakers: %.3f ms CPU per second played (%.0fx real time, "
                "%zu bytes played, last run %.2f s wall)\n",
                o * 1000, o > 0 ? 1.0 / o : 0.0, bytes, wall);
    std::printf("mpg123 -q -w /dev/null:         %.3f ms CPU per second played (%.0fx real time)\n",
                p * 1000, p > 0 ? 1.0 / p : 0.0);
    std::printf("virtual speakers alone:         %.3f ms CPU per second played\n", sp * 1000);
    std::printf("ratio ours / mpg123: %.2f (goal <= 1.2); without the speakers' own cost: %.2f\n",
                p > 0 ? o / p : 0.0, p > 0 ? (o - sp) / p : 0.0);
    return 0;
}
