// The sound-server backend's parts (private to platform/audio/pulse):
// capture from the server's default source, a mixer over the server's
// sources and default sink, playback streams. PulseBackend.cpp gathers them
// in the backend's table and answers whether a server is there at all.
#pragma once

#include "platform/audio/Backends.h"

#include <string>

struct PulseState;

WaveInBackend& pulseWaveInBackend();
MixerBackend& pulseMixerBackend();
std::unique_ptr<AudioOutput> createPulseOutput(int deviceId);

// How long a service waits for the server before it counts as absent.
inline constexpr int kConnectMs = 1000;

// The name of the server's capture and mixer device ("pulseaudio" or the
// name the server gives itself).
std::string pulseDeviceName(const PulseState& state);

// True when a sound server accepts a connection within timeoutMs (no server
// is started). Any thread.
bool pulseServerAnswers(int timeoutMs);
