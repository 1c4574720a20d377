#include "PulseServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool socketAnswers(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

PulseServer::PulseServer() {
    char tmpl[] = "/tmp/sonvale-pulse-XXXXXX";
    if (mkdtemp(tmpl))
        dir_ = tmpl;
    socket_ = dir_ + "/native";
    ::mkdir((dir_ + "/run").c_str(), 0700);
    std::ofstream(dir_ + "/client.conf") << "autospawn = no\n";
    std::ofstream script(dir_ + "/server.pa");
    script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket_ << "\n"
           << "load-module module-null-sink sink_name=speakers "
              "sink_properties=device.description=Speakers\n"
           << "load-module module-sine-source source_name=mic_a rate=44100 frequency=" << kMicAHz
           << " source_properties=device.description=MicA\n"
           << "load-module module-sine-source source_name=mic_b rate=44100 frequency=" << kMicBHz
           << " source_properties=device.description=MicB\n"
           << "set-default-sink speakers\n"
           << "set-default-source mic_a\n";
    // Clients of this process (the backend, pactl) find this server only.
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
}

PulseServer::~PulseServer() {
    stop();
    unsetenv("PULSE_SERVER");
    unsetenv("PULSE_CLIENTCONFIG");
    if (!dir_.empty())
        std::system(("rm -rf " + dir_).c_str());
}

bool PulseServer::start(std::string* why) {
    if (pid_ > 0)
        return true;
    if (dir_.empty()) {
        *why = "no temporary folder";
        return false;
    }
    if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0) {
        *why = "pulseaudio is not installed (scripts/install-deps.sh installs it)";
        return false;
    }
    ::unlink(socket_.c_str());
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (dir_ + "/run").c_str(), 1);
        setenv("PULSE_STATE_PATH", dir_.c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("DISPLAY");
        const int log = ::open((dir_ + "/server.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        // Runs as root too (CI): pulseaudio then only warns.
        const std::string script = dir_ + "/server.pa";
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
               "--use-pid-file=no", "--disallow-exit", "--log-target=stderr", "--log-level=error",
               "-F", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) {
        *why = "fork failed";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (socketAnswers(socket_))
            return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            *why = "pulseaudio exited; see " + dir_ + "/server.log";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill();
    *why = "pulseaudio did not answer within 10 s";
    return false;
}

void PulseServer::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill();
}

void PulseServer::kill() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string PulseServer::pactl(const std::string& args, bool* ok) const {
    std::string out;
    FILE* p = popen(("pactl " + args + " 2>/dev/null").c_str(), "r");
    if (!p) {
        if (ok)
            *ok = false;
        return out;
    }
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = pclose(p);
    if (ok)
        *ok = status == 0;
    return out;
}
