// Start to window shown: the recorder against the smallest Qt 6 program that
// shows a window. Both are whole processes started the same way, with the same
// environment, on one private Xvfb display (the pointer parked in a corner so
// no hover changes a window after it is drawn). For each run it measures:
//  - mapped: wall time from fork to the X server's MapNotify of the
//    program's first top-level window;
//  - first frame: wall time from fork until the window's pixels (three rows
//    across it, read back every 2 ms) first equal what they show once the
//    program has settled, i.e. the first complete picture;
//  - CPU to mapped: the CPU time all the program's threads had used at
//    MapNotify (from /proc/<pid>/task/*/schedstat), which the load of other
//    processes on the machine disturbs far less than the wall times. The
//    threads are read every 2 ms until the map, so a thread that has ended
//    before it (a start-up job) still counts, less at most its last 2 ms.
//  - main thread CPU to mapped: the same for the main thread alone, the
//    part of the start-up no other core can take over; on an idle machine
//    it bounds the wall times from below.
// The programs get the bench's own session bus when it runs in one
// (`dbus-run-session -- bench_startup`), as every desktop session has one;
// the first text a window sets (QLabel::setText) creates Qt's accessibility
// bridge, which waits for the bus thread: with a bus for its connection and
// match rules (4 to 8 ms of wall time on the 2-core machine), without one
// for the failed attempt to start a bus (about 7 ms). The minimal window
// without text never pays it.
// The recorder records from the virtual card, unless the bench is given a
// sound server (PULSE_SERVER in its environment): then the recorder gets
// that server and chooses its sound system itself, as on a desktop.
// Each run then stops the program with SIGTERM. The runs alternate; the first
// pair warms the caches (fontconfig's, and the skin pictures the recorder
// keeps in its own cache folder) and is not counted. Also counts the
// recorder's context switches per second while its window sits idle (goal:
// none).
//
// Last, what recording costs with the window on the screen: the recorder is
// started once more (and the earlier one, when given) with the virtual
// card's microphone fed music, each from a copy of its folder so that its
// settings and recordings stay in the benchmark's own; Record is clicked
// through the X server's test extension, and after 2 s the CPU time and the
// context switches of all its threads are counted over the next 20 s of
// recording, with its default settings (the figures of the recorder alone,
// without a window, come from bench_record_realtime). The recording must
// grow meanwhile.
//
// Prints medians with their range and the load average before and after.
// Goal: the recorder at most 1.3x the minimal window. The minimal window
// draws no text; the same window with one line of text runs in the same
// rounds and is printed for comparison, since the first text any window
// draws sets up the fonts; so is that window against the blank one, which
// shows what the text alone costs.
//
// usage: bench_startup [runs=7] [recorder=the build's sonvale] [earlier recorder]
// (another build of the recorder, e.g. an older one copied beside it: with
// three programs, the earlier one runs in the same rounds too and is printed
// against the same minimal window, for a before-and-after comparison that
// the machine's changing load does not skew)
// Needs Xvfb and sox.
#include "bench/common/BenchUtil.h"

#include "app/MainSkin.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// Starts Xvfb on a free display; its number, or -1.
int startXvfb(pid_t& pid) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               "1024x768x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buf[16] = {};
    ssize_t n = 0, got = 0;
    while (got < ssize_t(sizeof buf) - 1 && (n = read(fds[0], buf + got, 1)) > 0 &&
           buf[got] != '\n')
        ++got;
    close(fds[0]);
    return got > 0 ? std::atoi(buf) : -1;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& env,
            const char* arg = nullptr) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl(program.c_str(), program.c_str(), arg, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Seconds until the next top-level window is mapped (negative: none in 20 s);
// `window` is that window. Meanwhile `sample` runs every 2 ms.
template <typename Sample>
double waitForMap(xcb_connection_t* c, double start, xcb_window_t& window, Sample&& sample) {
    const int fd = xcb_get_file_descriptor(c);
    for (;;) {
        while (xcb_generic_event_t* ev = xcb_poll_for_event(c)) {
            const bool mapped = (ev->response_type & 0x7f) == XCB_MAP_NOTIFY;
            if (mapped)
                window = reinterpret_cast<xcb_map_notify_event_t*>(ev)->window;
            free(ev);
            if (mapped)
                return wallNow() - start;
        }
        if (wallNow() - start > 20)
            return -1;
        sample();
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{0, 2000};
        select(fd + 1, &set, nullptr, nullptr, &tv);
    }
}

// Context switches (voluntary and involuntary) of every thread of the
// process: its own status file counts only the main thread.
long allSwitchesOf(pid_t pid) {
    long total = 0;
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::atol(line.c_str() + line.find(':') + 1);
    }
    return total;
}

// CPU seconds each thread of the process has run so far, into `seen` (by
// thread id; a thread that has ended keeps its last reading).
void sampleCpu(pid_t pid, std::map<std::string, double>& seen) {
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long ns = 0;
        if (in >> ns)
            seen[task.path().filename().string()] = double(ns) / 1e9;
    }
}

double total(const std::map<std::string, double>& seen) {
    double sum = 0;
    for (const auto& [task, seconds] : seen)
        sum += seconds;
    return sum;
}

// A digest of three rows across the window (a quarter, half and three
// quarters down); 0 when they cannot be read.
size_t framePixels(xcb_connection_t* c, xcb_window_t w, uint16_t width, uint16_t height) {
    xcb_get_image_cookie_t cookies[3];
    for (int i = 0; i < 3; ++i)
        cookies[i] = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0,
                                   int16_t(height * (i + 1) / 4), width, 1, ~0u);
    std::string rows;
    bool ok = true;
    for (const xcb_get_image_cookie_t& cookie : cookies) {
        xcb_get_image_reply_t* r = xcb_get_image_reply(c, cookie, nullptr);
        if (!r) {
            ok = false;
            continue;
        }
        rows.append(reinterpret_cast<const char*>(xcb_get_image_data(r)),
                    size_t(xcb_get_image_data_length(r)));
        free(r);
    }
    return ok ? std::hash<std::string>{}(rows) | 1 : 0;
}

// Seconds from `start` to the first complete frame of the mapped window `w`:
// its pixels are read every 2 ms for `settle` seconds after the map; the
// first reading equal to the last one is the first frame. Negative: never.
double waitForFirstFrame(xcb_connection_t* c, xcb_window_t w, double start, double settle) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
    if (!g)
        return -1;
    const uint16_t width = g->width, height = g->height;
    free(g);
    std::vector<std::pair<double, size_t>> seen;
    const double until = wallNow() + settle;
    while (wallNow() < until) {
        seen.emplace_back(wallNow() - start, framePixels(c, w, width, height));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const size_t settled = framePixels(c, w, width, height);
    for (const auto& [when, pixels] : seen)
        if (pixels != 0 && pixels == settled)
            return when;
    return -1;
}

void stopChild(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A click of the left button at (x, y) of the window, as the user's would be.
void click(xcb_connection_t* c, xcb_window_t root, xcb_window_t w, int x, int y) {
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, w, root, int16_t(x), int16_t(y)), nullptr);
    if (!at)
        return;
    // A pause after each step, as a hand makes: a press that comes with the
    // pointer's move is taken before the window knows the pointer is over it.
    const auto step = [c] {
        xcb_flush(c);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, at->dst_x, at->dst_y, 0);
    step();
    xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    step();
    xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    step();
    free(at);
}

// The size of the recording being written in the folder ("Untitled..."), or -1.
long recordingSize(const std::string& folder) {
    long largest = -1;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().filename().string().rfind("Untitled", 0) == 0)
            largest = std::max(largest, long(entry.file_size(ec)));
    return largest;
}

// A copy of the program with its libraries and messages in `folder`, so that
// what it keeps beside itself (its settings, the list, the recordings) stays
// in the benchmark's own folder; the copy's path.
std::string copyProgram(const std::string& program, const std::string& folder) {
    namespace fs = std::filesystem;
    fs::remove_all(folder); // a start as the first, with no earlier recordings
    fs::create_directories(folder);
    const fs::path from(program);
    for (const auto& entry : fs::directory_iterator(from.parent_path()))
        if (entry.path() == from || entry.path().extension() == ".so" ||
            entry.path().filename() == "msg.ini")
            fs::copy_file(entry.path(), folder / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
    return (fs::path(folder) / from.filename()).string();
}

struct Recording {
    double cpuPerMinute = -1; // CPU seconds of all threads per minute of sound
    double switches = 0;      // context switches of all threads per second
};

// Starts a copy of `program` in `folder`, clicks Record once its window is
// mapped and measures `seconds` of recording after 2 s of it; cpuPerMinute
// < 0 when it did not record.
Recording recordInWindow(xcb_connection_t* c, xcb_window_t root, const std::string& program,
                         const std::vector<std::string>& env, const std::string& folder,
                         int seconds) {
    const std::string copy = copyProgram(program, folder);
    while (xcb_generic_event_t* old = xcb_poll_for_event(c))
        free(old);
    const pid_t pid = spawn(copy, env);
    xcb_window_t window = XCB_NONE;
    Recording r;
    const double t0 = wallNow();
    if (waitForMap(c, t0, window, [] {}) >= 0 && waitForFirstFrame(c, window, t0, 0.5) >= 0) {
        // The Record button: the first of the transport well.
        const QRect record(28, sonvale::app::MainLayout::Transport.top() + 2, 52, 52);
        click(c, root, window, record.center().x(), record.center().y());
        std::this_thread::sleep_for(std::chrono::seconds(2));
        std::map<std::string, double> before, after;
        sampleCpu(pid, before);
        const long switchesBefore = allSwitchesOf(pid);
        const long sizeBefore = recordingSize(folder);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        sampleCpu(pid, after);
        r.switches = double(allSwitchesOf(pid) - switchesBefore) / seconds;
        if (sizeBefore > 0 && recordingSize(folder) > sizeBefore)
            r.cpuPerMinute = (total(after) - total(before)) * 60.0 / seconds;
    }
    stopChild(pid);
    return r;
}

// One figure of both programs: medians with their ranges, and the ratio.
void printFigure(const char* what, const std::vector<double>& ours, const std::vector<double>& peer,
                 const char* name = "sonvale", const char* peerName = "minimal") {
    auto range = [](const std::vector<double>& v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f ms (%.1f..%.1f)", median(v) * 1000,
                      *std::min_element(v.begin(), v.end()) * 1000,
                      *std::max_element(v.begin(), v.end()) * 1000);
        return std::string(text);
    };
    std::printf("  %-14s %s %-24s %s %-24s ratio %.2fx\n", what, name, range(ours).c_str(),
                peerName, range(peer).c_str(), median(ours) / median(peer));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string recorder = argc > 2 ? argv[2] : SONVALE_PATH;
    const std::string earlier = argc > 3 ? argv[3] : "";
    char tmpl[] = "/tmp/sonvale-bench-start-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string home = tmpl;
    pid_t xvfb = -1;
    const int display = startXvfb(xvfb);
    if (display < 0) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    const std::string displayName = ":" + std::to_string(display);
    xcb_connection_t* c = xcb_connect(displayName.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "could not connect to Xvfb\n");
        stopChild(xvfb);
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    // The pointer away from where either window appears.
    xcb_warp_pointer(c, XCB_NONE, screen->root, 0, 0, 0, 0, int16_t(screen->width_in_pixels - 1),
                     int16_t(screen->height_in_pixels - 1));
    xcb_flush(c);
    double loadBefore[3] = {0, 0, 0};
    getloadavg(loadBefore, 3);

    // Each program keeps its own cache (the recorder keeps its skin's
    // pictures there, filled by the warm-up round), so two builds of the
    // recorder do not replace each other's.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* server = std::getenv("PULSE_SERVER");
    auto envFor = [&](int which) {
        std::vector<std::string> env{"DISPLAY=" + displayName,
                                     "QT_QPA_PLATFORM=xcb",
                                     "HOME=" + home,
                                     "XDG_CONFIG_HOME=" + home + "/config",
                                     "XDG_CACHE_HOME=" + home + "/cache" + std::to_string(which),
                                     "XDG_DATA_HOME=" + home + "/data"};
        if (bus != nullptr)
            env.push_back(std::string("DBUS_SESSION_BUS_ADDRESS=") + bus);
        env.push_back(server != nullptr ? std::string("PULSE_SERVER=") + server
                                        : std::string("SONVALE_AUDIO=virtual"));
        return env;
    };
    // Per program (0: sonvale, 1: the minimal window, 2: the minimal window
    // with a line of text, 3: the earlier sonvale).
    std::vector<double> mapped[4], frame[4], cpu[4], mainCpu[4], idle;
    const int programs = earlier.empty() ? 3 : 4;
    bool failed = false;
    for (int r = 0; r <= runs && !failed; ++r) {
        for (int which = 0; which < programs && !failed; ++which) {
            const std::string program = which == 0  ? recorder
                                        : which < 3 ? MINIMAL_WINDOW_PATH
                                                    : earlier;
            while (xcb_generic_event_t* old = xcb_poll_for_event(c))
                free(old); // maps of the last run's other windows
            const double t0 = wallNow();
            const pid_t pid = spawn(program, envFor(which), which == 2 ? "text" : nullptr);
            xcb_window_t window = XCB_NONE;
            std::map<std::string, double> threads;
            const double shown = waitForMap(c, t0, window, [&] { sampleCpu(pid, threads); });
            sampleCpu(pid, threads);
            const double cpuShown = total(threads);
            const double mainCpuShown = threads[std::to_string(pid)];
            const double drawn = shown < 0 ? -1 : waitForFirstFrame(c, window, t0, 0.5);
            if (shown < 0 || drawn < 0) {
                std::fprintf(stderr, "%s showed no %s\n", program.c_str(),
                             shown < 0 ? "window" : "settled frame");
                failed = true;
            } else if (r > 0) {
                mapped[which].push_back(shown);
                frame[which].push_back(drawn);
                cpu[which].push_back(cpuShown);
                mainCpu[which].push_back(mainCpuShown);
            }
            if (which == 0 && r > 0 && !failed) {
                // The idle window (settled already while its frame was read).
                const long before = allSwitchesOf(pid);
                std::this_thread::sleep_for(std::chrono::seconds(2));
                idle.push_back(double(allSwitchesOf(pid) - before) / 2.0);
            }
            stopChild(pid);
        }
    }
    // Recording with the window shown, fed music that keeps the meter moving.
    const int recordSeconds = 20;
    std::vector<Recording> recorded[2];
    const std::string music = home + "/music.wav";
    if (!failed && !makeMusicWav(recordSeconds + 10, music)) {
        std::fprintf(stderr, "could not make the music (sox missing?)\n");
        failed = true;
    }
    for (int r = 0; r < 3 && !failed; ++r) {
        for (int which = 0; which < (earlier.empty() ? 1 : 2) && !failed; ++which) {
            std::vector<std::string> env = envFor(which == 0 ? 0 : 3);
            env.push_back("SONVALE_AUDIO=virtual");
            env.push_back("SONVALE_VCARD_FEED_0_0=" + music);
            const Recording rec =
                recordInWindow(c, screen->root, which == 0 ? recorder : earlier, env,
                               home + "/program" + std::to_string(which), recordSeconds);
            if (rec.cpuPerMinute < 0) {
                std::fprintf(stderr, "%s did not record\n",
                             (which == 0 ? recorder : earlier).c_str());
                failed = true;
            }
            recorded[which].push_back(rec);
        }
    }
    xcb_disconnect(c);
    stopChild(xvfb);
    std::system(("rm -rf " + home).c_str());
    if (failed)
        return 1;
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("Start to window shown on Xvfb, whole processes, median of %d (range); load "
                "%.2f %.2f %.2f before, %.2f %.2f %.2f after\n",
                runs, loadBefore[0], loadBefore[1], loadBefore[2], load[0], load[1], load[2]);
    std::printf("  session bus: %s\n", bus != nullptr ? bus : "none");
    std::printf("  sound: %s\n", server != nullptr ? server : "the virtual card");
    printFigure("mapped", mapped[0], mapped[1]);
    printFigure("first frame", frame[0], frame[1]);
    printFigure("CPU to mapped", cpu[0], cpu[1]);
    printFigure("main thread", mainCpu[0], mainCpu[1]);
    if (programs == 4) {
        printFigure("mapped", mapped[3], mapped[1], "earlier");
        printFigure("first frame", frame[3], frame[1], "earlier");
        printFigure("CPU to mapped", cpu[3], cpu[1], "earlier");
        printFigure("main thread", mainCpu[3], mainCpu[1], "earlier");
    }
    std::printf("  goal: mapped and first frame <= 1.3x the minimal window\n");
    std::printf("  for comparison, against the minimal window with one line of text:\n");
    printFigure("mapped", mapped[0], mapped[2], "sonvale", "text");
    printFigure("first frame", frame[0], frame[2], "sonvale", "text");
    printFigure("main thread", mainCpu[0], mainCpu[2], "sonvale", "text");
    // What the first line of text costs any window (the fonts' set-up, the
    // accessibility bridge): the text window against the blank one, in the
    // same rounds. The recorder shows text, so it cannot start faster than this.
    std::printf("  one line of text alone, the text window against the minimal one:\n");
    printFigure("mapped", mapped[2], mapped[1], "text", "minimal");
    printFigure("first frame", frame[2], frame[1], "text", "minimal");
    std::printf("  idle window: %.1f context switches/s (%.1f..%.1f; goal 0)\n", median(idle),
                *std::min_element(idle.begin(), idle.end()),
                *std::max_element(idle.begin(), idle.end()));
    std::printf("  recording in the window (virtual card, music; %d s, median of 3):\n",
                recordSeconds);
    for (int which = 0; which < (earlier.empty() ? 1 : 2); ++which) {
        std::vector<double> cpuPerMinute, switches;
        for (const Recording& rec : recorded[which]) {
            cpuPerMinute.push_back(rec.cpuPerMinute);
            switches.push_back(rec.switches);
        }
        std::printf("    %-8s cpu %.3f s/audio min (%.3f..%.3f)  wake-ups %.1f/s (%.1f..%.1f)\n",
                    which == 0 ? "sonvale" : "earlier", median(cpuPerMinute),
                    *std::min_element(cpuPerMinute.begin(), cpuPerMinute.end()),
                    *std::max_element(cpuPerMinute.begin(), cpuPerMinute.end()), median(switches),
                    *std::min_element(switches.begin(), switches.end()),
                    *std::max_element(switches.begin(), switches.end()));
    }
    return 0;
}
