// MP3 player component over the player library loaded at run time.
//
// TXaudioPlayer turns method calls into the library's control messages and
// the library's notifications into events. The notifications arrive as
// messages to a hidden message window the component owns; the window's
// handler decodes each one with the library ("control_win32_params_to_message")
// and fires OnNotifyMessage and then the event for the record's code.
//
// The library is loaded, and the player created, on the first call that needs
// a player; the player then lives until the component is destroyed. Loading
// failures raise EXaudioException with the system's texts; command results
// are returned unchanged, never raised.
//
// Threads: main thread only, for every call and every event.
#pragma once

#include "libs/mp3play/xaudio.h"
#include "platform/ui/MessageWindow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class EXaudioException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TXaudioPlayer {
public:
    // Raises EXaudioException("Cannot Create Hidden Window") when no message
    // window can be made.
    TXaudioPlayer();
    ~TXaudioPlayer();
    TXaudioPlayer(const TXaudioPlayer&) = delete;
    TXaudioPlayer& operator=(const TXaudioPlayer&) = delete;

    // ---- published properties ----
    const std::string& XaudioPath() const { return xaudioPath_; }
    void setXaudioPath(std::string path) { xaudioPath_ = std::move(path); }
    // Read from / written to the library while a player exists.
    int32_t Priority() const;
    void setPriority(int32_t priority);

    // ---- published methods (each makes sure the player exists) ----
    int32_t Init();
    int32_t Play();
    int32_t Pause();
    int32_t Stop();
    int32_t InputOpen(const std::string& name);
    int32_t InputClose();
    int32_t OutputClose();
    int32_t OutputReset();
    int32_t InputSeek(int32_t offset, int32_t range);
    int32_t Ping(int32_t tag);

    int32_t Synchronize();
    int32_t InputFilterList();
    int32_t InputModulesList();
    int32_t OutputMute();
    int32_t OutputUnmute();
    int32_t OutputDrain();
    int32_t OutputFilterList();
    int32_t OutputModulesList();
    int32_t CodecModulesList();
    int32_t GetPlayerMode();
    int32_t GetInputName();
    int32_t GetInputModule();
    int32_t GetInputPositionRange();
    int32_t GetInputTimecodeGranularity();
    int32_t GetOutputName();
    int32_t GetOutputModule();
    int32_t GetOutputVolume();
    int32_t GetOutputChannels();
    int32_t GetOutputPorts();
    int32_t GetCodecQuality();
    int32_t GetCodecEqualizer();
    int32_t GetNotificationMask();
    int32_t GetDebugLevel();

    int32_t InputModuleQuery(int32_t module);
    int32_t OutputModuleQuery(int32_t module);
    int32_t CodecModuleQuery(int32_t module);
    int32_t SetPlayerMode(int32_t mode);
    int32_t SetInputModule(int32_t module);
    int32_t SetInputPositionRange(int32_t range);
    int32_t SetInputTimecodeGranularity(int32_t granularity);
    int32_t SetOutputModule(int32_t module);
    int32_t SetOutputChannels(int32_t channels);
    int32_t SetOutputPorts(int32_t ports);
    int32_t SetCodecQuality(uint8_t quality);
    int32_t SetNotificationMask(int32_t mask);
    int32_t SetDebugLevel(int32_t level);

    int32_t InputModuleRegister(const std::string& name);
    int32_t OutputOpen(const std::string& name);
    int32_t OutputModuleRegister(const std::string& name);
    int32_t CodecModuleRegister(const std::string& name);
    int32_t GetPlayerEnvironmentInteger(const std::string& name);
    int32_t GetPlayerEnvironmentString(const std::string& name);
    int32_t UnsetPlayerEnvironment(const std::string& name);
    int32_t SetInputName(const std::string& name);
    int32_t SetOutputName(const std::string& name);

    int32_t InputAddFilter(const std::string& name, int32_t where);
    int32_t InputRemoveFilter(const std::string& name, int32_t id);
    int32_t OutputAddFilter(const std::string& name, int32_t where);
    int32_t OutputRemoveFilter(const std::string& name, int32_t id);
    int32_t SetPlayerEnvironmentInteger(const std::string& name, int32_t value);
    int32_t SetPlayerEnvironmentString(const std::string& name, const std::string& value);

    int32_t InputSendMessage(int16_t type, void* data, int32_t size);
    int32_t OutputSendMessage(int16_t type, void* data, int32_t size);
    int32_t CodecSendMessage(int16_t type, void* data, int32_t size);

    int32_t SetOutputVolume(int32_t masterLevel, int32_t pcmLevel, int32_t balance);
    int32_t SetCodecEqualizer(const void* equalizer);

    // ---- further operations ----
    // The library's version word for the selector while a player exists,
    // else 0 (does not create the player).
    uint32_t GetVersion(uint8_t selector);
    // The library's text for a result code; "" when no player can be made.
    std::string ErrorString(int32_t code);

    // The hidden window the library posts to. Any thread.
    sv_window_t windowHandle() const { return window_ ? window_->handle() : SV_WINDOW_NONE; }
    // True once the player has been created.
    bool hasPlayer() const { return player_ != nullptr; }

    // ---- events (published) ----
    using Sender = TXaudioPlayer*;
    std::function<void(Sender, const XA_Message& Msg)> OnNotifyMessage;
    std::function<void(Sender)> OnNotifyReady;
    std::function<void(Sender, uint8_t Command)> OnNotifyAck;
    std::function<void(Sender, uint8_t Command, int16_t Code)> OnNotifyNack;
    std::function<void(Sender, uint32_t Tag)> OnNotifyPong;
    std::function<void(Sender)> OnNotifyExited;
    std::function<void(Sender, int State)> OnNotifyPlayerState;
    std::function<void(Sender, uint32_t Mode)> OnNotifyPlayerMode;
    std::function<void(Sender, const std::string& Name, int32_t Value)>
        OnNotifyPlayerEnvironmentInteger;
    std::function<void(Sender, const std::string& Name, const std::string& Value)>
        OnNotifyPlayerEnvironmentString;
    std::function<void(Sender, int State)> OnNotifyInputState;
    std::function<void(Sender, const std::string& Name)> OnNotifyInputName;
    std::function<void(Sender, uint32_t Caps)> OnNotifyInputCaps;
    std::function<void(Sender, uint32_t Offset, uint32_t Range)> OnNotifyInputPosition;
    std::function<void(Sender, uint32_t Range)> OnNotifyInputPositionRange;
    std::function<void(Sender, uint8_t Hours, uint8_t Minutes, uint8_t Seconds, uint8_t Fractions)>
        OnNotifyInputTimecode;
    std::function<void(Sender, uint32_t Granularity)> OnNotifyInputTimecodeGranularity;
    std::function<void(Sender, int16_t ID)> OnNotifyInputModule;
    std::function<void(Sender, uint8_t ID, uint8_t NbDevices, const std::string& Name,
                       const std::string& Description)>
        OnNotifyInputModuleInfo;
    std::function<void(Sender, uint8_t ModuleID, uint8_t Index, uint8_t Flags,
                       const std::string& Name, const std::string& Description)>
        OnNotifyInputDeviceInfo;
    std::function<void(Sender, uint8_t ID, const std::string& Name)> OnNotifyInputFilterInfo;
    std::function<void(Sender, int State)> OnNotifyOutputState;
    std::function<void(Sender, const std::string& Name)> OnNotifyOutputName;
    std::function<void(Sender, uint32_t Caps)> OnNotifyOutputCaps;
    std::function<void(Sender, uint8_t MasterLevel, uint8_t PcmLevel, uint8_t Balance)>
        OnNotifyOutputVolume;
    std::function<void(Sender, uint8_t Balance)> OnNotifyOutputBalance;
    std::function<void(Sender, uint8_t PcmLevel)> OnNotifyOutputPcmLevel;
    std::function<void(Sender, uint8_t MasterLevel)> OnNotifyOutputMasterLevel;
    std::function<void(Sender, uint8_t Channels)> OnNotifyOutputChannels;
    std::function<void(Sender, uint32_t Ports)> OnNotifyOutputPorts;
    std::function<void(Sender, int16_t ID)> OnNotifyOutputModule;
    std::function<void(Sender, uint8_t ID, uint8_t NbDevices, const std::string& Name,
                       const std::string& Description)>
        OnNotifyOutputModuleInfo;
    std::function<void(Sender, uint8_t ModuleID, uint8_t Index, uint8_t Flags,
                       const std::string& Name, const std::string& Description)>
        OnNotifyOutputDeviceInfo;
    std::function<void(Sender, uint8_t ID, const std::string& Name)> OnNotifyOutputFilterInfo;
    std::function<void(Sender, const std::string& MimeType)> OnNotifyStreamMimeType;
    std::function<void(Sender, uint32_t Duration)> OnNotifyStreamDuration;
    std::function<void(Sender, uint32_t Frequency, uint16_t Bitrate, uint8_t NbChannels)>
        OnNotifyStreamParameters;
    std::function<void(Sender, uint32_t NbProperties, const void* Properties)>
        OnNotifyStreamProperties;
    std::function<void(Sender, uint8_t Quality)> OnNotifyCodecQuality;
    std::function<void(Sender, const void* Equalizer)> OnNotifyCodecEqualizer;
    std::function<void(Sender, int16_t ID)> OnNotifyCodecModule;
    std::function<void(Sender, uint8_t ID, uint8_t NbDevices, const std::string& Name,
                       const std::string& Description)>
        OnNotifyCodecModuleInfo;
    std::function<void(Sender, uint8_t ModuleID, uint8_t Index, uint8_t Flags,
                       const std::string& Name, const std::string& Description)>
        OnNotifyCodecDeviceInfo;
    std::function<void(Sender, uint32_t Mask)> OnNotifyNotificationMask;
    std::function<void(Sender, uint8_t Level)> OnNotifyDebugLevel;
    std::function<void(Sender, uint8_t Source, uint8_t Code, int16_t Value,
                       const std::string& Message)>
        OnNotifyProgress;
    std::function<void(Sender, uint8_t Source, uint8_t Level, const std::string& Message)>
        OnNotifyDebug;
    std::function<void(Sender, uint8_t Source, int16_t Code, const std::string& Message)>
        OnNotifyError;

private:
    struct Library;

    // Loads the library and looks up every entry point; raises on failure.
    void loadLibrary();
    void unloadLibrary() noexcept;
    // Loads, checks the version and creates the player when none exists.
    void ensurePlayer();
    // The hidden window's procedure.
    void windowProc(uint32_t message, uintptr_t wparam, intptr_t lparam);
    void fireEvent(const XA_Message& msg);

    int32_t sendN(uint8_t code);
    int32_t sendI(uint8_t code, int32_t value);
    int32_t sendS(uint8_t code, const std::string& s);
    int32_t sendSI(uint8_t code, const std::string& s, int32_t value);
    int32_t sendIPI(uint8_t code, int16_t i1, void* p, int32_t i2);

    std::string xaudioPath_ = "xaudio.dll";
    XA_PlayerHandle player_ = nullptr;
    int32_t priority_ = 3;
    std::unique_ptr<MessageWindow> window_;
    // Address handed to "player_new": the window handle the library posts to.
    sv_window_t windowHandle_ = SV_WINDOW_NONE;
    std::unique_ptr<Library> library_;
    std::unique_ptr<XA_Message> message_; // decode buffer (8 KiB, not on the stack)
};
