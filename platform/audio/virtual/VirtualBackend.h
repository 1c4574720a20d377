// The virtual card's parts as a backend (private to platform/audio/virtual):
// capture, speakers and mixer of the in-process card. VirtualBackend.cpp
// gathers them in the backend's table.
#pragma once

#include "platform/audio/Backends.h"

WaveInBackend& virtualWaveInBackend();
MixerBackend& virtualMixerBackend();
std::unique_ptr<AudioOutput> createVirtualOutput(int deviceId);
