// Start to window shown: the recorder against the smallest Qt 6 program that
// shows a window. Both are whole processes started the same way on a private
// Xvfb display; the time runs from fork to the X server's MapNotify of the
// program's first top-level window. Each run then stops the program with
// SIGTERM. The runs alternate; the first pair warms the caches and is not
// counted. Also counts the recorder's context switches per second while its
// window sits idle (goal: none).
//
// Prints medians with their range and the load average. Goal: the recorder
// at most 1.3x the minimal window.
//
// usage: bench_startup [runs=7]
// Needs Xvfb.
#include "bench/common/BenchUtil.h"

#include <xcb/xcb.h>

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

pid_t spawn(const std::string& program, const std::vector<std::string>& env) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Seconds until the next top-level window is mapped (negative: none in 20 s).
double waitForMap(xcb_connection_t* c, double start) {
    const int fd = xcb_get_file_descriptor(c);
    for (;;) {
        while (xcb_generic_event_t* ev = xcb_poll_for_event(c)) {
            const bool mapped = (ev->response_type & 0x7f) == XCB_MAP_NOTIFY;
            free(ev);
            if (mapped)
                return wallNow() - start;
        }
        if (wallNow() - start > 20)
            return -1;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{0, 100000};
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

void printStats(const char* name, std::vector<double> v) {
    std::printf("  %-22s %.1f ms (%.1f..%.1f)\n", name, median(v) * 1000,
                *std::min_element(v.begin(), v.end()) * 1000,
                *std::max_element(v.begin(), v.end()) * 1000);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
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
    xcb_flush(c);

    const std::vector<std::string> env = {"DISPLAY=" + displayName,
                                          "QT_QPA_PLATFORM=xcb",
                                          "HOME=" + home,
                                          "XDG_CONFIG_HOME=" + home + "/config",
                                          "XDG_CACHE_HOME=" + home + "/cache",
                                          "XDG_DATA_HOME=" + home + "/data",
                                          "SONVALE_AUDIO=virtual"};
    std::vector<double> ours, peer, idle;
    bool failed = false;
    for (int r = 0; r <= runs && !failed; ++r) {
        for (int which = 0; which < 2 && !failed; ++which) {
            const std::string program = which == 0 ? SONVALE_PATH : MINIMAL_WINDOW_PATH;
            while (xcb_generic_event_t* old = xcb_poll_for_event(c))
                free(old); // maps of the last run's other windows
            const double t0 = wallNow();
            const pid_t pid = spawn(program, env);
            const double shown = waitForMap(c, t0);
            if (shown < 0) {
                std::fprintf(stderr, "%s showed no window\n", program.c_str());
                failed = true;
            } else if (r > 0) {
                (which == 0 ? ours : peer).push_back(shown);
            }
            if (which == 0 && r > 0 && !failed) {
                // The idle window: let the start-up settle, then count.
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                const long before = allSwitchesOf(pid);
                std::this_thread::sleep_for(std::chrono::seconds(2));
                idle.push_back(double(allSwitchesOf(pid) - before) / 2.0);
            }
            stopChild(pid);
        }
    }
    xcb_disconnect(c);
    stopChild(xvfb);
    std::system(("rm -rf " + home).c_str());
    if (failed)
        return 1;
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("Start to window shown on Xvfb, whole processes, median of %d (range), load "
                "%.2f %.2f %.2f\n",
                runs, load[0], load[1], load[2]);
    printStats("sonvale", ours);
    printStats("minimal Qt 6 window", peer);
    std::printf("  ratio %.2fx (goal <= 1.3x)\n", median(ours) / median(peer));
    std::printf("  idle window: %.1f context switches/s (%.1f..%.1f; goal 0)\n", median(idle),
                *std::min_element(idle.begin(), idle.end()),
                *std::max_element(idle.begin(), idle.end()));
    return 0;
}
