// How one ALSA card's simple mixer elements become a mixer device of
// destinations, source lines and controls. A pure function, so the mapping is
// tested without a card.
//
// Mapping:
//   - Speakers destination (type 4), when the card has playback elements:
//     its volume and mute come from "Master" (else the first playback
//     element with a volume); every other playback element is a source line
//     with a volume and a mute (mute = switch off).
//   - Wave-in destination (type 7), when the card has capture elements:
//     "Capture" (if present) gives its volume; the capture-source
//     enumeration (if any) becomes its MUX, items in the element's order.
//     Source lines: with a MUX, one per item in item order, each with the
//     volume and select switch of the capture element of the same name (none
//     when there is no such element), then the remaining capture elements;
//     without a MUX, one per capture element. A select switch is shown as
//     the mute control, true = selected (capture switch on).
//   - Volumes are scaled linearly from the element's range to 0..65535.
//
// Threads: none of its own; pure.
#pragma once

#include "platform/audio/Backends.h"

#include <string>
#include <vector>

struct AlsaElement {
    std::string name;
    unsigned index = 0;
    bool playbackVolume = false;
    bool playbackSwitch = false;
    bool captureVolume = false;
    bool captureSwitch = false;
    bool captureEnum = false; // enumerated element choosing the capture source
    std::vector<std::string> enumItems;
    long playbackMin = 0, playbackMax = 0;
    long captureMin = 0, captureMax = 0;
    unsigned playbackChannels = 2; // 1 for a mono element
    unsigned captureChannels = 2;
};

// What a control does to its element: kind | element index << 4.
enum AlsaBindingKind : uint32_t {
    kAlsaPlaybackVolume = 1,
    kAlsaPlaybackMute = 2, // inverted playback switch
    kAlsaCaptureVolume = 3,
    kAlsaCaptureSelect = 4, // capture switch as is
    kAlsaCaptureMux = 5,
};

inline uint32_t alsaBinding(AlsaBindingKind kind, size_t element) {
    return uint32_t(kind) | uint32_t(element) << 4;
}
inline AlsaBindingKind alsaBindingKind(uint32_t binding) {
    return AlsaBindingKind(binding & 0xF);
}
inline size_t alsaBindingElement(uint32_t binding) {
    return binding >> 4;
}

// The component type a line name suggests (e.g. "Mic" -> microphone).
uint32_t alsaComponentType(const std::string& name);

MixerDeviceModel mapAlsaMixer(const std::string& cardName,
                              const std::vector<AlsaElement>& elements);

// Element range <-> 0..65535.
uint32_t alsaToVolume(long value, long min, long max);
long volumeToAlsa(uint32_t volume, long min, long max);
