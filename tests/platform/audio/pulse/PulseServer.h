// A private sound server for tests: a real PulseAudio daemon started by the
// test itself, headless, on a socket and runtime folder of its own, with a
// null sink "Speakers" and two sine sources at known frequencies as
// microphones. The daemon dies with the test process (parent-death signal)
// and is stopped by stop() or the destructor.
//
// Threads: the test's main thread.
#pragma once

#include <string>
#include <sys/types.h>

class PulseServer {
public:
    static constexpr int kMicAHz = 440;
    static constexpr int kMicBHz = 1250;

    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // False (with a reason) when pulseaudio is missing or does not come up.
    bool start(std::string* why);
    void stop(); // SIGTERM, then SIGKILL after two seconds
    void kill(); // SIGKILL at once, as a crash
    bool running() const { return pid_ > 0; }

    // Runs pactl against this server; its standard output, or "" with
    // *ok = false when it failed.
    std::string pactl(const std::string& args, bool* ok = nullptr) const;
    const std::string& socketPath() const { return socket_; }
    const std::string& folder() const { return dir_; }

private:
    std::string dir_, socket_;
    pid_t pid_ = -1;
};
