// Helpers shared by the benchmark programs: CPU and wall clocks, the median
// of repeated runs, the music-like test signal made by the shared
// make-music.sh script, and running a peer command line while measuring the
// CPU it takes. Plain functions; call them from the benchmark's main thread.
#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// User plus system time in a rusage record, in seconds.
double cpuSeconds(const rusage& r);
// CPU seconds this process has used so far.
double selfCpu();
// CPU seconds used so far by the children this process has waited for.
double childrenCpu();
// Seconds on the monotonic clock.
double wallNow();

// Median of the values (the upper one of the middle two for an even count);
// the vector must not be empty.
double median(std::vector<double> v);

// Path of make-music.sh: $SONVALE_MUSIC_SCRIPT when set and not empty, else
// the project's shared copy.
std::string musicScript();
// Writes `seconds` of the music-like signal (44100 Hz, 16-bit stereo WAV) to
// `wav`. False when the script fails (it needs sox).
bool makeMusicWav(int seconds, const std::string& wav);

// Offset and length of the first data chunk of a RIFF WAVE image; false
// when there is none. The length is cut to the bytes present.
// Makes SECONDS of the music signal in DIR as in.wav and, its sample bytes
// alone, in.raw; fills the two paths. False when either cannot be made.
bool makeMusicRaw(int seconds, const std::string& dir, std::string& wav, std::string& raw);

bool findWavData(const uint8_t* bytes, size_t size, size_t& offset, size_t& length);

// One run of a peer program.
struct PeerRun {
    bool ok = false; // started and exited with status 0
    double cpu = 0;  // its CPU seconds (children included)
    double wall = 0; // seconds from start to exit
};

// The null-terminated argument vector execvp takes, pointing into argv.
std::vector<char*> execArgs(const std::vector<std::string>& argv);

// Runs a shell command line (std::system) and measures its children's CPU.
PeerRun runShell(const std::string& command);
// Runs a program found on PATH with the given arguments (argv[0] is the
// program), optionally with its standard error sent to /dev/null.
PeerRun runProgram(const std::vector<std::string>& argv, bool silenceStderr = false);
