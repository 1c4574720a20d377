// Recording in real time, as a user records: what it costs per minute of
// sound and how often it wakes the machine. Every side is a whole process,
// timed from exec to exit with wait4, fed the same music at the same pace:
//  - ours: this program re-run as a child that records through the
//    recorder's pipes (WAV: wave-in -> RIFF writer -> file; MP3: wave-in ->
//    encoder file sink -> encoder thread -> file at 128 kbit/s stereo) from
//    the virtual card paced at real time in its own process;
//  - arecord -f cd reading an ALSA file plugin whose input is a FIFO;
//  - lame -b 128 -m s --noreplaygain reading raw PCM from a pipe;
// the two peers are fed 100 ms blocks on a real-time clock by this process.
// The card's capture thread is both our feed (it paces and copies the
// music) and our reader of the device, as arecord's one thread is, and it
// also hands each completed buffer to the recorder's pipes. The report shows
// ours whole and, to be fair both ways, without the card's loading of the
// music into memory at the start (the peers' feeding is done by this
// process and not counted for them).
//
// With "alsa" as the third argument our child records from ALSA's default
// PCM instead, which this benchmark's ALSA configuration makes the same file
// plugin and FIFO that arecord reads, fed the same way. That plugin pads a
// short FIFO read with its null slave's silence and the null slave is not
// paced, so on that path every reader runs as fast as its read sizes let it:
// a check of the pipes, not a real-time figure.
//
// Every output is checked: our WAV data must equal the music (on the
// virtual card; by length on ALSA), arecord must have written as many
// bytes, both MP3 files must be about 128 kbit/s long.
//
// Prints medians of the runs with their range, CPU seconds per audio minute,
// context switches (voluntary + involuntary) per second of sound, the
// load average, and for the last run of each of ours the switches of each
// of its threads. Goals: WAV at most 2x arecord, MP3 at most 1.1x lame, at
// most 25 wake-ups per second.
//
// usage: bench_record_realtime [seconds=10] [runs=5] [virtual|alsa]
// Needs sox (the music signal), arecord and lame.
#include "bench/common/BenchUtil.h"
#include "bench/encode/bench_signal.h"
#include "capture/unavclWaveComponents.h"
#include "encode/unaBladeMp3Enc.h"
#include "encode/unaEncoderFileSink.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kBlock = 17640; // 100 ms of 44.1 kHz 16-bit stereo

// --- the child: one recording -------------------------------------------------

// Writes each thread of this process to path, one line a thread: its name
// ("main"; "platform" for the platform's unnamed capture thread), voluntary
// and involuntary context switches, CPU seconds.
void saveThreads(const std::string& path) {
    std::ofstream out(path);
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(entry.path() / "status");
        std::string line;
        long vol = 0, invol = 0;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                vol = std::atol(line.c_str() + 24);
            else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                invol = std::atol(line.c_str() + 27);
        }
        std::string stat;
        std::getline(std::ifstream(entry.path() / "stat"), stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string skip;
        for (int i = 0; i < 11; ++i)
            fields >> skip;
        double utime = 0, stime = 0;
        fields >> utime >> stime;
        std::string name;
        std::getline(std::ifstream(entry.path() / "comm"), name);
        if (entry.path().filename().string() == std::to_string(getpid()))
            name = "main";
        else if (name.rfind("bench_record", 0) == 0)
            name = "platform";
        out << name << ' ' << vol << ' ' << invol << ' ' << (utime + stime) / tick << '\n';
    }
}

// raw: the music for the virtual card, or "-" to record from ALSA's default.
int recordChild(const std::string& kind, const std::string& raw, int seconds,
                const std::string& out) {
    if (raw == "-") {
        setAudioBackend(AudioBackend::Alsa);
    } else {
        setAudioBackend(AudioBackend::Virtual);
        VirtualCardConfig config;
        config.speed = 1;
        config.devices[0].sourceFiles[VS_MICROPHONE] = raw;
        // Loading the music into the card is feeding, done by this
        // benchmark's parent for the peers: its CPU is noted apart.
        const double before = selfCpu();
        VirtualCard::instance().configure(config);
        std::ofstream(out + ".feed") << selfCpu() - before << '\n';
    }

    const bool mp3 = kind == "mp3";
    std::unique_ptr<unaLameMp3Enc> enc;
    std::unique_ptr<unaEncoderFileSink> sink;
    if (mp3) {
        enc = std::make_unique<unaLameMp3Enc>(MP3ENC_PATH);
        sink = std::make_unique<unaEncoderFileSink>(*enc);
        const std::vector<uint8_t> cfg = cbr128StereoConfig();
        if (enc->lastError() != 0 || enc->setConfig(cfg.data()) != 0 || enc->open() != 0 ||
            !sink->open(out))
            return 2;
    }

    std::mutex lock;
    std::condition_variable cv;
    uint64_t chunks = 0;
    const uint64_t wanted = uint64_t(seconds) * 10;
    TComponent form;
    form.beginLoading();
    auto* waveIn = new TunavclWaveInDevice(&form);
    auto* waveRiff = new TunavclWaveRiff(&form);
    waveRiff->setIsInput(false);
    waveIn->setConsumer(mp3 ? nullptr : waveRiff);
    form.endLoading();
    unaEncoderFileSink* target = sink.get();
    waveIn->onDataAvailable = [&](unavclInOutPipe*, const void* data, uint32_t len) {
        if (target)
            target->write(data, len);
        // The main thread is woken once, at the end, not for every block.
        std::lock_guard<std::mutex> g(lock);
        if (++chunks == wanted)
            cv.notify_all();
    };
    if (!mp3) {
        waveRiff->setFileName(out);
        if (waveRiff->device() == nullptr ||
            waveRiff->device()->riffStatus() != unaRiffStream::rsWriterReady)
            return 3;
    }
    waveIn->setActive(true);
    if (!waveIn->active())
        return 4;
    if (mp3 && waveIn->device())
        waveIn->device()->assignStream(false, nullptr, false);
    {
        std::unique_lock<std::mutex> g(lock);
        cv.wait(g, [&] { return chunks >= wanted; });
    }
    saveThreads(out + ".threads");
    if (mp3) {
        waveIn->setActive(false);
        sink->close();
    } else {
        waveRiff->setActive(false);
        waveIn->setActive(false);
    }
    return 0;
}

// --- the parent: whole processes, paced feeds ---------------------------------

struct Run {
    bool ok = false;
    double cpu = 0;      // user + system seconds of the process
    double switches = 0; // voluntary + involuntary context switches
};

// Writes the bytes to fd in 100 ms blocks on an absolute real-time clock.
void feedPaced(int fd, const std::vector<uint8_t>& pcm) {
    auto next = std::chrono::steady_clock::now();
    for (size_t pos = 0; pos < pcm.size(); pos += kBlock) {
        const size_t n = std::min<size_t>(kBlock, pcm.size() - pos);
        for (size_t done = 0; done < n;) {
            const ssize_t w = write(fd, pcm.data() + pos + done, n - done);
            if (w <= 0)
                return; // the reader went away
            done += size_t(w);
        }
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
    }
}

// Runs argv as a child. With feed, the child's standard input (fifo empty)
// or the named FIFO (opened for writing here) gets the PCM at real-time pace.
Run runChild(const std::vector<std::string>& argv, const std::vector<uint8_t>* feed,
             const std::string& fifo = std::string()) {
    int pipeFds[2] = {-1, -1};
    if (feed && fifo.empty() && pipe(pipeFds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        if (pipeFds[0] >= 0) {
            dup2(pipeFds[0], 0);
            close(pipeFds[0]);
            close(pipeFds[1]);
        }
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    std::thread feeder;
    if (feed) {
        int fd = pipeFds[1];
        if (pipeFds[0] >= 0)
            close(pipeFds[0]);
        feeder = std::thread([fd, feed, fifo]() mutable {
            if (!fifo.empty())
                fd = open(fifo.c_str(), O_WRONLY); // waits for the reader
            if (fd >= 0) {
                feedPaced(fd, *feed); // ends with EPIPE once the reader is gone
                close(fd);
            }
        });
    }
    int status = 0;
    rusage use{};
    wait4(pid, &status, 0, &use);
    if (feeder.joinable()) {
        if (!fifo.empty()) {
            // A reader that ended early leaves the opener waiting: open the
            // FIFO once for reading so that it returns.
            const int unblock = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            if (unblock >= 0)
                close(unblock);
            feeder.join();
        } else {
            feeder.join();
        }
    }
    Run r;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!r.ok)
        std::fprintf(stderr, "%s ended with status %d\n", argv[0].c_str(), status);
    r.cpu = cpuSeconds(use);
    r.switches = double(use.ru_nvcsw + use.ru_nivcsw);
    return r;
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long fileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

bool samePrefix(const std::vector<uint8_t>& got, size_t offset, size_t length,
                const std::vector<uint8_t>& music) {
    return length >= music.size() &&
           std::memcmp(got.data() + offset, music.data(), music.size()) == 0;
}

void report(const char* name, const std::vector<Run>& runs, int seconds) {
    std::vector<double> cpu, wakes;
    for (const Run& r : runs) {
        cpu.push_back(r.cpu * 60.0 / seconds);
        wakes.push_back(r.switches / seconds);
    }
    std::printf("  %-34s cpu %.3f s/audio min (%.3f..%.3f)  wake-ups %.1f/s (%.1f..%.1f)\n", name,
                median(cpu), *std::min_element(cpu.begin(), cpu.end()),
                *std::max_element(cpu.begin(), cpu.end()), median(wakes),
                *std::min_element(wakes.begin(), wakes.end()),
                *std::max_element(wakes.begin(), wakes.end()));
}

// "name v+i" switches per second of sound for each thread saved by
// saveThreads.
std::string threadReport(const std::string& path, int seconds) {
    std::ifstream in(path);
    std::string text, name;
    long vol = 0, invol = 0;
    double cpu = 0;
    while (in >> name >> vol >> invol >> cpu) {
        char item[96];
        std::snprintf(item, sizeof item, " %s %.1f+%.1f", name.c_str(), double(vol) / seconds,
                      double(invol) / seconds);
        text += item;
    }
    return text;
}

double medianCpu(const std::vector<Run>& runs) {
    std::vector<double> v;
    for (const Run& r : runs)
        v.push_back(r.cpu);
    return median(v);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0)
        return recordChild(argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    signal(SIGPIPE, SIG_IGN); // a feed whose reader is gone ends with EPIPE
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bool virtualCard = !(argc > 3 && std::strcmp(argv[3], "alsa") == 0);

    char tmpl[] = "/tmp/sonvale-bench-rt-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    const std::string wav = dir + "/music.wav", raw = dir + "/music.raw";
    if (!makeMusicWav(seconds, wav) ||
        std::system(("sox " + wav + " -t raw " + raw).c_str()) != 0) {
        std::fprintf(stderr, "could not make the music signal (sox missing?)\n");
        return 1;
    }
    const std::vector<uint8_t> music = readAll(raw);
    const std::string fifo = dir + "/feed.fifo";
    if (mkfifo(fifo.c_str(), 0600) != 0)
        return 1;
    std::ofstream(dir + "/alsa.conf")
        << "pcm.sonvale_rt {\n type file\n slave.pcm { type null }\n"
        << " file \"/dev/null\"\n infile \"" << fifo << "\"\n format \"raw\"\n}\n"
        << "pcm.!default sonvale_rt\n";
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + dir + "/alsa.conf").c_str(), 1);

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;
    const std::string secs = std::to_string(seconds);
    const std::string ourWav = dir + "/ours.wav", ourMp3 = dir + "/ours.mp3";
    const std::string peerRaw = dir + "/arecord.raw", peerMp3 = dir + "/lame.mp3";
    std::vector<Run> wavRuns, mp3Runs, arecordRuns, lameRuns, wavNoFeed, mp3NoFeed;
    std::string wavThreads, mp3Threads;
    // Run 0 warms the caches and is not counted.
    for (int r = 0; r <= runs; ++r) {
        // Our child reads ALSA's default, the same file plugin and FIFO as
        // arecord, fed the same way (or the virtual card, fed by itself).
        const std::string source = virtualCard ? raw : "-";
        const std::vector<uint8_t>* ourFeed = virtualCard ? nullptr : &music;
        const std::string ourFifo = virtualCard ? std::string() : fifo;
        const Run w = runChild({self, "--child", "wav", source, secs, ourWav}, ourFeed, ourFifo);
        const Run a = runChild({"arecord", "-q", "-D", "sonvale_rt", "-f", "cd", "-t", "raw", "-s",
                                std::to_string(music.size() / 4), peerRaw},
                               &music, fifo);
        const Run m = runChild({self, "--child", "mp3", source, secs, ourMp3}, ourFeed, ourFifo);
        const Run l = runChild({"lame", "-r", "-s", "44.1", "--bitwidth", "16", "-b", "128", "-m",
                                "s", "--silent", "--noreplaygain", "-", peerMp3},
                               &music);
        if (!w.ok || !a.ok || !m.ok || !l.ok) {
            std::fprintf(stderr, "a run failed: ours wav %d, arecord %d, ours mp3 %d, lame %d\n",
                         w.ok, a.ok, m.ok, l.ok);
            return 1;
        }
        // Outputs: the WAV data is the music itself; both MP3 files hold about
        // 128 kbit/s for the duration.
        const std::vector<uint8_t> ours = readAll(ourWav);
        size_t off = 0, len = 0;
        if (!findWavData(ours.data(), ours.size(), off, len) || len < music.size() ||
            (virtualCard && !samePrefix(ours, off, len, music))) {
            std::fprintf(stderr, "our WAV file does not hold the music\n");
            return 1;
        }
        // The file plugin fills what a short FIFO read leaves with the null
        // slave's silence, so arecord's bytes are checked by count only.
        const long peerBytes = fileSize(peerRaw);
        if (peerBytes != long(music.size())) {
            std::fprintf(stderr, "arecord wrote %ld bytes, not %zu\n", peerBytes, music.size());
            return 1;
        }
        const long expected = 16000L * seconds;
        for (const std::string& f : {ourMp3, peerMp3}) {
            const long size = fileSize(f);
            if (size < expected * 9 / 10 || size > expected * 12 / 10) {
                std::fprintf(stderr, "%s holds %ld bytes, not about %ld\n", f.c_str(), size,
                             expected);
                return 1;
            }
        }
        Run wc = w, mc = m; // without the card's loading of the music
        const std::string wt = threadReport(ourWav + ".threads", seconds);
        const std::string mt = threadReport(ourMp3 + ".threads", seconds);
        double feed = 0;
        if (std::ifstream(ourWav + ".feed") >> feed)
            wc.cpu -= feed;
        if (std::ifstream(ourMp3 + ".feed") >> feed)
            mc.cpu -= feed;
        if (r == runs) {
            wavThreads = wt;
            mp3Threads = mt;
        }
        if (r == 0)
            continue;
        wavRuns.push_back(w);
        wavNoFeed.push_back(wc);
        mp3NoFeed.push_back(mc);
        arecordRuns.push_back(a);
        mp3Runs.push_back(m);
        lameRuns.push_back(l);
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::system(("rm -rf " + dir).c_str());
    std::printf("Recording %d s in real time, 44100 Hz 16-bit stereo, whole processes, median "
                "of %d (range), load %.2f %.2f %.2f\n",
                seconds, runs, load[0], load[1], load[2]);
    report(virtualCard ? "ours WAV (virtual card)" : "ours WAV (file plugin, FIFO)", wavRuns,
           seconds);
    if (virtualCard)
        report("  without loading the music", wavNoFeed, seconds);
    report("arecord -f cd (file plugin, FIFO)", arecordRuns, seconds);
    report("ours MP3 128 kbit/s", mp3Runs, seconds);
    if (virtualCard)
        report("  without loading the music", mp3NoFeed, seconds);
    report("lame -b 128 --noreplaygain (pipe)", lameRuns, seconds);
    std::printf("  WAV ratio %.2fx (goal <= 2x), MP3 ratio %.2fx (goal <= 1.1x), goal <= 25 "
                "wake-ups/s\n",
                medianCpu(wavRuns) / medianCpu(arecordRuns),
                medianCpu(mp3Runs) / medianCpu(lameRuns));
    if (virtualCard)
        std::printf("  without loading the music: WAV ratio %.2fx, MP3 ratio %.2fx\n",
                    medianCpu(wavNoFeed) / medianCpu(arecordRuns),
                    medianCpu(mp3NoFeed) / medianCpu(lameRuns));
    std::printf("  last run, switches per second of each thread (voluntary+involuntary):\n"
                "    WAV %s\n    MP3 %s\n",
                wavThreads.c_str(), mp3Threads.c_str());
    return 0;
}
