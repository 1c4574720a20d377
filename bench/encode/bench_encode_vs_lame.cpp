// A minute of music-like PCM encoded at 128 kbit/s stereo two ways on the
// same machine in the same run: through the path an MP3 recording takes
// (the encoder file sink: 100 ms blocks queued from a capture-like loop,
// encoded on the encoder's thread, written to the one open file, then
// closed) over mp3enc.so, and by the lame command line on the same raw PCM.
// Both are whole processes (ours is this program re-run as a child that
// reads the raw file), timed from start to exit. The ratio is taken against
// `lame --noreplaygain`, which does the same work as the library path (no
// ReplayGain analysis); lame with ReplayGain is printed for reference. Both
// MP3 files are checked to be about 128 kbit/s long.
//
// usage: bench_encode_vs_lame [seconds=60] [runs=5]
#include "bench/common/BenchUtil.h"
#include "bench_signal.h"
#include "encode/unaBladeMp3Enc.h"
#include "encode/unaEncoderFileSink.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Result {
    double cpu = 0, wall = 0;
    long bytes = 0;
};

// Through the encoder file sink, as a recording writes its MP3 file (in the
// child process).
Result encodeOurs(const std::vector<uint8_t>& pcm, const std::string& out) {
    unaLameMp3Enc enc(MP3ENC_PATH);
    if (enc.lastError() != 0) {
        std::fprintf(stderr, "cannot load %s\n", MP3ENC_PATH);
        std::exit(1);
    }
    unaEncoderFileSink sink(enc);
    const std::vector<uint8_t> cfg = cbr128StereoConfig();
    const auto w0 = std::chrono::steady_clock::now();
    const double c0 = selfCpu();
    if (enc.setConfig(cfg.data()) != 0 || enc.open() != 0 || !sink.open(out)) {
        std::fprintf(stderr, "encoder or file refused\n");
        std::exit(1);
    }
    const size_t block = 17640; // 100 ms of 44.1 kHz 16-bit stereo
    for (size_t pos = 0; pos < pcm.size(); pos += block)
        sink.write(pcm.data() + pos, uint32_t(std::min(block, pcm.size() - pos)));
    sink.close();
    Result r;
    r.cpu = selfCpu() - c0;
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    r.bytes = long(sink.bytesWritten());
    if (sink.writeFailed()) {
        std::fprintf(stderr, "writing %s failed\n", out.c_str());
        std::exit(1);
    }
    return r;
}

// The lame command line; with noReplayGain it also skips its ReplayGain
// analysis, which the library path does not do.
Result encodeLame(const std::string& raw, const std::string& out, bool noReplayGain) {
    std::vector<std::string> argv = {"lame", "-r",  "-s", "44.1", "--bitwidth", "16",
                                     "-b",   "128", "-m", "s",    "--silent"};
    if (noReplayGain)
        argv.push_back("--noreplaygain");
    argv.push_back(raw);
    argv.push_back(out);
    // Standard error is dropped: lame notes there that raw input goes through libsndfile.
    const PeerRun run = runProgram(argv, true);
    if (!run.ok) {
        std::fprintf(stderr, "lame failed (is it installed?)\n");
        std::exit(1);
    }
    Result r;
    r.cpu = run.cpu;
    r.wall = run.wall;
    FILE* f = std::fopen(out.c_str(), "rb");
    if (f) {
        std::fseek(f, 0, SEEK_END);
        r.bytes = std::ftell(f);
        std::fclose(f);
    }
    return r;
}

} // namespace

// The child: encodes the raw file as a recording would; exit status 0 on
// success.
int encodeChild(const std::string& raw, const std::string& out) {
    std::vector<uint8_t> pcm;
    if (FILE* f = std::fopen(raw.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            pcm.insert(pcm.end(), buf, buf + n);
        std::fclose(f);
    }
    if (pcm.empty())
        return 1;
    encodeOurs(pcm, out);
    return 0;
}

// Ours as a whole process.
Result runOurs(const std::string& raw, const std::string& out) {
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        std::exit(1);
    const PeerRun run = runProgram({self, "--child", raw, out});
    if (!run.ok) {
        std::fprintf(stderr, "our encoder failed\n");
        std::exit(1);
    }
    Result r;
    r.cpu = run.cpu;
    r.wall = run.wall;
    if (FILE* f = std::fopen(out.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        r.bytes = std::ftell(f);
        std::fclose(f);
    }
    return r;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child")
        return encodeChild(argv[2], argv[3]);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string why;
    const std::vector<uint8_t> pcm = makeMusicPcm(seconds, why);
    if (pcm.empty()) {
        std::fprintf(stderr, "no test signal: %s\n", why.c_str());
        return 1;
    }
    char dir[] = "/tmp/sonvale-bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string raw = std::string(dir) + "/music.raw";
    const std::string ours = std::string(dir) + "/ours.mp3";
    const std::string theirs = std::string(dir) + "/lame.mp3";
    FILE* f = std::fopen(raw.c_str(), "wb");
    std::fwrite(pcm.data(), 1, pcm.size(), f);
    std::fclose(f);

    std::vector<double> oursCpu, lameCpu, lameNrgCpu, oursWall, lameWall;
    Result o, l, n;
    // Run 0 warms the caches and is not counted.
    for (int i = 0; i <= runs; ++i) {
        o = runOurs(raw, ours);
        l = encodeLame(raw, theirs, false);
        n = encodeLame(raw, theirs, true);
        const long expected = 16000L * seconds;
        for (long bytes : {o.bytes, n.bytes})
            if (bytes < expected * 9 / 10 || bytes > expected * 11 / 10) {
                std::fprintf(stderr, "an MP3 file holds %ld bytes, not about %ld\n", bytes,
                             expected);
                return 1;
            }
        if (i == 0)
            continue;
        oursCpu.push_back(o.cpu);
        lameCpu.push_back(l.cpu);
        lameNrgCpu.push_back(n.cpu);
        oursWall.push_back(o.wall);
        lameWall.push_back(l.wall);
    }
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i)
        ratios.push_back(oursCpu[size_t(i)] / lameNrgCpu[size_t(i)]);
    const double oc = median(oursCpu), lc = median(lameCpu), nc = median(lameNrgCpu);
    const auto [rmin, rmax] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("signal: %d s of music-like PCM, 44.1 kHz 16-bit stereo, 128 kbit/s CBR, "
                "median of %d runs\n",
                seconds, runs);
    std::printf("ours (process: sink + framework + mp3enc.so): cpu %.3f s, wall %.3f s, %ld bytes, "
                "%.0fx real time\n",
                oc, median(oursWall), o.bytes, seconds / median(oursWall));
    std::printf("lame -r -s 44.1 --bitwidth 16 -b 128 -m s: cpu %.3f s, wall %.3f s, %ld bytes, "
                "%.0fx real time\n",
                lc, median(lameWall), l.bytes, seconds / median(lameWall));
    std::printf("lame ... --noreplaygain: cpu %.3f s, %ld bytes\n", nc, n.bytes);
    std::printf("cpu ratio ours/lame --noreplaygain: median %.3f (per-run %.3f .. %.3f); goal "
                "<= 1.05\n",
                median(ratios), *rmin, *rmax);
    std::printf("cpu ratio ours/lame with ReplayGain: %.3f\n", oc / lc);
    std::remove(raw.c_str());
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    rmdir(dir);
    return 0;
}
