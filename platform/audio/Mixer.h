// Mixer service: the mixer devices of the current backend (ALSA cards or the
// virtual card) as destinations, source lines and controls, with the
// multimedia records, control types and result codes the mixer classes use.
//
// A device is addressed either by its index or by a handle from mixerOpen
// (MixerObject converts from both). Values are read and written through a
// MIXERCONTROLDETAILS record whose buffer the caller owns. Setting a value
// calls the change callback of every open handle of that device, on the
// setter's thread, after the value is stored (so a callback may read it).
//
// Threads: any thread; the service locks itself. A change callback must not
// open or close mixer handles (posting a message is what it is for).
#pragma once

#include "platform/mmsystem.h"

#include <cstdint>
#include <functional>
#include <string>

#pragma pack(push, 1)
// Device capabilities, 48 bytes. szPname holds up to 31 characters.
struct MIXERCAPS {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[32];
    uint32_t fdwSupport;
    uint32_t cDestinations;
};

// One line (a destination or one of its sources), 168 bytes.
struct MIXERLINE {
    uint32_t cbStruct;
    uint32_t dwDestination;
    uint32_t dwSource;
    uint32_t dwLineID;
    uint32_t fdwLine;
    uint32_t dwUser;
    uint32_t dwComponentType;
    uint32_t cChannels;
    uint32_t cConnections;
    uint32_t cControls;
    char szShortName[16]; // up to 15 characters
    char szName[64];      // up to 63 characters
    struct {
        uint32_t dwType;
        uint32_t dwDeviceID;
        uint16_t wMid;
        uint16_t wPid;
        uint32_t vDriverVersion;
        char szPname[32];
    } Target;
};

// One control of a line, 148 bytes.
struct MIXERCONTROL {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t dwControlType;
    uint32_t fdwControl;
    uint32_t cMultipleItems;
    char szShortName[16];
    char szName[64];
    struct {
        union {
            int32_t lMinimum;
            uint32_t dwMinimum;
        };
        union {
            int32_t lMaximum;
            uint32_t dwMaximum;
        };
        uint32_t dwReserved[4];
    } Bounds;
    struct {
        union {
            uint32_t cSteps;
            uint32_t cbCustomData;
        };
        uint32_t dwReserved[5];
    } Metrics;
};

// One list text element of a list control, 72 bytes.
struct MIXERCONTROLDETAILS_LISTTEXT {
    uint32_t dwParam1;
    uint32_t dwParam2;
    char szName[64];
};
#pragma pack(pop)

static_assert(sizeof(MIXERCAPS) == 48, "MIXERCAPS is 48 bytes");
static_assert(sizeof(MIXERLINE) == 168, "MIXERLINE is 168 bytes");
static_assert(sizeof(MIXERCONTROL) == 148, "MIXERCONTROL is 148 bytes");
static_assert(sizeof(MIXERCONTROLDETAILS_LISTTEXT) == 72, "list text is 72 bytes");

// The details record: which control, for how many channels and items, and the
// caller's buffer of cChannels x (cMultipleItems or 1) elements of cbDetails
// bytes (4 for values, 72 for list texts).
struct MIXERCONTROLDETAILS {
    uint32_t cbStruct;
    uint32_t dwControlID;
    uint32_t cChannels;
    uint32_t cMultipleItems; // 0 for a single-item control
    uint32_t cbDetails;
    void* paDetails;
};

// The request of mixerGetLineControls: the line, the number of control
// records the caller's buffer holds and the buffer (cbmxctrl = 148 each).
struct MIXERLINECONTROLS {
    uint32_t cbStruct;
    uint32_t dwLineID;
    union {
        uint32_t dwControlID;   // MIXER_GETLINECONTROLSF_ONEBYID
        uint32_t dwControlType; // MIXER_GETLINECONTROLSF_ONEBYTYPE
    };
    uint32_t cControls;
    uint32_t cbmxctrl;
    MIXERCONTROL* pamxctrl;
};

// Line component types.
enum : uint32_t {
    MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0,
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7,
    MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000,
    MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001,
    MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002,
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003,
    MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004,
    MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005,
    MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x1006,
    MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x1007,
    MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008,
    MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009,
    MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A,
};

// Line target types: the wave device a destination line feeds or is fed by
// (Target.dwDeviceID is that device's id).
enum : uint32_t {
    MIXERLINE_TARGETTYPE_UNDEFINED = 0,
    MIXERLINE_TARGETTYPE_WAVEOUT = 1,
    MIXERLINE_TARGETTYPE_WAVEIN = 2,
};

// Line flags.
enum : uint32_t {
    MIXERLINE_LINEF_ACTIVE = 0x1,
    MIXERLINE_LINEF_SOURCE = 0x80000000,
};

// Control types used by this system (and the list/number types the mixer
// classes recognise).
enum : uint32_t {
    MIXERCONTROL_CONTROLTYPE_CUSTOM = 0x00000000,
    MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001,
    MIXERCONTROL_CONTROLTYPE_BOOLEAN = 0x20010000,
    MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001,
    MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002,
    MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001,
    MIXERCONTROL_CONTROLTYPE_EQUALIZER = 0x50030004,
    MIXERCONTROL_CONTROLTYPE_SINGLESELECT = 0x70010000,
    MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001,
    MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT = 0x71010000,
    MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001,
};

// Control flags.
enum : uint32_t {
    MIXERCONTROL_CONTROLF_UNIFORM = 0x1,
    MIXERCONTROL_CONTROLF_MULTIPLE = 0x2,
    MIXERCONTROL_CONTROLF_DISABLED = 0x80000000,
};

// mixerGetLineInfoA flags (what the MIXERLINE passed in selects).
enum : uint32_t {
    MIXER_GETLINEINFOF_DESTINATION = 0, // dwDestination
    MIXER_GETLINEINFOF_SOURCE = 1,      // dwDestination and dwSource
    MIXER_GETLINEINFOF_LINEID = 2,      // dwLineID
    MIXER_GETLINEINFOF_COMPONENTTYPE = 3,
};

// mixerGetLineControlsA flags.
enum : uint32_t {
    MIXER_GETLINECONTROLSF_ALL = 0,
    MIXER_GETLINECONTROLSF_ONEBYID = 1,
    MIXER_GETLINECONTROLSF_ONEBYTYPE = 2,
};

// mixerGet/SetControlDetails flags.
enum : uint32_t {
    MIXER_GETCONTROLDETAILSF_VALUE = 0,
    MIXER_GETCONTROLDETAILSF_LISTTEXT = 1,
    MIXER_SETCONTROLDETAILSF_VALUE = 0,
};

// The message number a change notification stands for (its lparam is the
// control identifier), for callers that forward it as a window message.
inline constexpr uint32_t MM_MIXM_CONTROL_CHANGE = 0x3D1;
inline constexpr uint32_t MM_MIXM_LINE_CHANGE = 0x3D0;

class MixerHandle; // an open mixer device
using HMIXER = MixerHandle*;

// Called after a control of the device changed through mixerSetControlDetails
// (from any handle): the handle the callback was registered with and the
// control identifier.
using MixerChangeCallback = std::function<void(HMIXER mixer, uint32_t controlId)>;

// A device by index or by open handle.
struct MixerObject {
    MixerObject(uint32_t index) : deviceIndex(index) {}
    MixerObject(HMIXER h) : handle(h) {}
    uint32_t deviceIndex = 0;
    HMIXER handle = nullptr;
};

uint32_t mixerGetNumDevs();
MMRESULT mixerGetDevCapsA(MixerObject mixer, MIXERCAPS* caps);

// Opens device `deviceIndex`; the callback is optional. MMR_BADDEVICEID for an
// unknown index, MMR_INVALPARAM without a handle pointer.
MMRESULT mixerOpen(HMIXER* handle, uint32_t deviceIndex, MixerChangeCallback onChange = {});
MMRESULT mixerClose(HMIXER handle);

// Fills *line (cbStruct must be at least 168) for the line selected by flags.
// MMR_MIXER_INVALLINE for an unknown line, MMR_BADDEVICEID / MMR_INVALHANDLE
// for an unknown device.
MMRESULT mixerGetLineInfoA(MixerObject mixer, MIXERLINE* line, uint32_t flags);

// ALL: copies the line's cControls records (request->cControls must equal the
// line's control count). ONEBYID / ONEBYTYPE: one record.
// MMR_MIXER_INVALLINE, MMR_MIXER_INVALCONTROL, MMR_INVALPARAM.
MMRESULT mixerGetLineControlsA(MixerObject mixer, MIXERLINECONTROLS* request, uint32_t flags);

// VALUE: one 4-byte element per channel (x item for a multiple-item control);
// a uniform control may be asked for 1 channel. Volumes are 0..65535, booleans
// 0/1. LISTTEXT: 72-byte elements naming the items of a list control.
// MMR_MIXER_INVALCONTROL, MMR_INVALPARAM (bad sizes or counts).
MMRESULT mixerGetControlDetailsA(MixerObject mixer, MIXERCONTROLDETAILS* details, uint32_t flags);
// VALUE only. Booleans and list items take any non-zero value as true (and
// read back as 1). A single-select list (MUX) needs exactly one item set.
// MMR_MIXER_INVALVALUE for a value out of bounds, else as above.
MMRESULT mixerSetControlDetails(MixerObject mixer, const MIXERCONTROLDETAILS* details,
                                uint32_t flags);

// The capture device that records what the device's wave-in destination
// selects (its line's Target.dwDeviceID): on a card the card's own capture
// device, on the sound server its one capture device (the default source),
// on the virtual card the device of the same number. WAVE_MAPPER when the
// destination names no device. MMR_MIXER_INVALLINE without a wave-in
// destination, MMR_INVALPARAM without an out pointer.
MMRESULT mixerGetWaveInDevice(MixerObject mixer, int* waveInDeviceId);

// The device's whole product name (MIXERCAPS::szPname holds 31 characters);
// empty for an unknown device.
std::string mixerGetDeviceName(MixerObject mixer);
