// Runs a whole process (a peer program, or a benchmark re-run as a child)
// with its standard output piped back to the benchmark, which checks what
// it writes, and measures it from exec to exit with wait4: CPU, wall time,
// context switches. Also small output helpers for medians with their range.
// Plain functions; call them from the benchmark's main thread.
#pragma once

#include "bench/common/BenchUtil.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// One run of a whole process whose standard output is piped here.
struct PipedRun {
    bool ok = false;     // exited with status 0 (or by the SIGINT it was sent)
    double cpu = 0;      // its user + system seconds, from exec to exit (wait4)
    double wall = 0;     // seconds from start to exit
    uint64_t bytes = 0;  // everything it wrote, kept or not
    double switches = 0; // its voluntary + involuntary context switches
};

// Runs argv (found on PATH; standard error to /dev/null) with its standard
// output piped to this process, which hands the first `keep` bytes to
// `onData`. With `interrupt`, the child gets SIGINT once it has written
// `keep` bytes, as a user stops a recorder with Ctrl+C; without, it is
// expected to stop by itself.
inline PipedRun runPiped(const std::vector<std::string>& argv, uint64_t keep, bool interrupt,
                         const std::function<void(const char*, size_t)>& onData) {
    PipedRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return run;
    // A roomy pipe: neither side waits on this process for every 64 KiB.
    fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
    std::vector<char*> args = execArgs(argv);
    const double w0 = wallNow();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return run;
    }
    std::vector<char> buf(1 << 16);
    bool interrupted = false;
    for (;;) {
        const ssize_t n = read(fds[0], buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const uint64_t before = run.bytes;
        run.bytes += uint64_t(n);
        if (before < keep)
            onData(buf.data(), size_t(std::min<uint64_t>(uint64_t(n), keep - before)));
        if (interrupt && !interrupted && run.bytes >= keep) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    close(fds[0]);
    int status = 0;
    rusage use{};
    if (wait4(pid, &status, 0, &use) != pid)
        return run;
    run.wall = wallNow() - w0;
    run.cpu = cpuSeconds(use);
    run.switches = double(use.ru_nvcsw + use.ru_nivcsw);
    run.ok = (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
             (interrupted && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    return run;
}

// Writes all of a buffer to a file descriptor; false when it fails.
inline bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// "median (min..max)" of a set of figures, each scaled.
inline std::string medianRange(const std::vector<double>& v, double scale,
                               const char* fmt = "%.1f") {
    char a[32], b[32], c[32];
    std::snprintf(a, sizeof a, fmt, median(v) * scale);
    std::snprintf(b, sizeof b, fmt, *std::min_element(v.begin(), v.end()) * scale);
    std::snprintf(c, sizeof c, fmt, *std::max_element(v.begin(), v.end()) * scale);
    return std::string(a) + " (" + b + ".." + c + ")";
}
