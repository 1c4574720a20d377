// MP3 player component: library loading, commands and notification decoding.
#include "player/TXaudioPlayer.h"

#include "platform/loader/LibraryLoader.h"

#include <cstring>

// The loaded library and its 17 entry points.
struct TXaudioPlayer::Library {
    void* module = nullptr;
    xa_player_new_t player_new = nullptr;
    xa_player_delete_t player_delete = nullptr;
    xa_player_set_priority_t player_set_priority = nullptr;
    xa_player_get_priority_t player_get_priority = nullptr;
    xa_error_string_t xaudio_error_string = nullptr;
    xa_get_version_t xaudio_get_version = nullptr;
    xa_send_N_t send_N = nullptr;
    xa_send_P_t send_P = nullptr;
    xa_send_S_t send_S = nullptr;
    xa_send_SS_t send_SS = nullptr;
    xa_send_SI_t send_SI = nullptr;
    xa_send_IPI_t send_IPI = nullptr;
    xa_send_I_t send_I = nullptr;
    xa_send_II_t send_II = nullptr;
    xa_send_III_t send_III = nullptr;
    xa_send_IIII_t send_IIII = nullptr;
    xa_params_to_message_t params_to_message = nullptr;
};

namespace {

template <typename Fn> void lookUp(void* module, const char* name, Fn& slot, bool& ok) {
    if (!ok) {
        return;
    }
    void* p = libraryLoader().symbol(module, name, nullptr);
    if (p == nullptr) {
        ok = false;
        return;
    }
    slot = reinterpret_cast<Fn>(p);
}

} // namespace

TXaudioPlayer::TXaudioPlayer() : message_(std::make_unique<XA_Message>()) {
    window_ =
        createMessageWindow([this](uint32_t m, uintptr_t w, intptr_t l) { windowProc(m, w, l); });
    if (!window_) {
        throw EXaudioException("Cannot Create Hidden Window");
    }
    windowHandle_ = window_->handle();
}

TXaudioPlayer::~TXaudioPlayer() {
    if (player_ != nullptr && library_ && library_->player_delete != nullptr) {
        XA_PlayerHandle p = player_;
        player_ = nullptr;
        library_->player_delete(p);
    }
    player_ = nullptr;
    unloadLibrary();
    window_.reset();
}

// ---- library ----

void TXaudioPlayer::loadLibrary() {
    void* module = libraryLoader().load(xaudioPath_, nullptr);
    if (module == nullptr) {
        throw EXaudioException("Cannot Load Xaudio DLL (" + xaudioPath_ + ")");
    }
    auto lib = std::make_unique<Library>();
    lib->module = module;
    bool ok = true;
    const char* missing = nullptr;
#define SV_LOOK_UP(field, name)                                                                    \
    if (ok) {                                                                                      \
        lookUp(module, name, lib->field, ok);                                                      \
        if (!ok) {                                                                                 \
            missing = name;                                                                        \
        }                                                                                          \
    }
    SV_LOOK_UP(player_new, "player_new")
    SV_LOOK_UP(player_delete, "player_delete")
    SV_LOOK_UP(player_set_priority, "player_set_priority")
    SV_LOOK_UP(player_get_priority, "player_get_priority")
    SV_LOOK_UP(xaudio_error_string, "xaudio_error_string")
    SV_LOOK_UP(xaudio_get_version, "xaudio_get_version")
    SV_LOOK_UP(send_N, "control_message_send_N")
    SV_LOOK_UP(send_P, "control_message_send_P")
    SV_LOOK_UP(send_S, "control_message_send_S")
    SV_LOOK_UP(send_SS, "control_message_send_SS")
    SV_LOOK_UP(send_SI, "control_message_send_SI")
    SV_LOOK_UP(send_IPI, "control_message_send_IPI")
    SV_LOOK_UP(send_I, "control_message_send_I")
    SV_LOOK_UP(send_II, "control_message_send_II")
    SV_LOOK_UP(send_III, "control_message_send_III")
    SV_LOOK_UP(send_IIII, "control_message_send_IIII")
    SV_LOOK_UP(params_to_message, "control_win32_params_to_message")
#undef SV_LOOK_UP
    if (!ok) {
        libraryLoader().unload(module, nullptr);
        throw EXaudioException(std::string("Cannot Find Symbol ") + missing + " in Xaudio DLL");
    }
    library_ = std::move(lib);
}

void TXaudioPlayer::unloadLibrary() noexcept {
    if (library_) {
        libraryLoader().unload(library_->module, nullptr);
        library_.reset();
    }
}

void TXaudioPlayer::ensurePlayer() {
    if (player_ != nullptr) {
        return;
    }
    if (!library_) {
        loadLibrary();
    }
    const uint32_t version = library_->xaudio_get_version(XA_API_ID_SYNC);
    const uint32_t major = (version >> 16) & 0xFF;
    const uint32_t minor = (version >> 8) & 0xFF;
    if (major != XA_API_MAJOR || minor != XA_API_MINOR) {
        throw EXaudioException("Xaudio DLL API Mismatch\rExpected " + std::to_string(XA_API_MAJOR) +
                               "." + std::to_string(XA_API_MINOR) + ", Got " +
                               std::to_string(major) + "." + std::to_string(minor));
    }
    XA_PlayerHandle created = nullptr;
    if (library_->player_new(&created, &windowHandle_) != 0) {
        throw EXaudioException("Cannot Start Xaudio Player");
    }
    player_ = created;
    if (priority_ != 3) {
        library_->player_set_priority(player_, priority_);
    }
}

// ---- properties and further operations ----

int32_t TXaudioPlayer::Priority() const {
    if (player_ != nullptr) {
        return library_->player_get_priority(player_);
    }
    return priority_;
}

void TXaudioPlayer::setPriority(int32_t priority) {
    if (player_ != nullptr) {
        library_->player_set_priority(player_, priority);
    } else {
        priority_ = priority;
    }
}

uint32_t TXaudioPlayer::GetVersion(uint8_t selector) {
    if (player_ == nullptr) {
        return 0;
    }
    return library_->xaudio_get_version(selector);
}

std::string TXaudioPlayer::ErrorString(int32_t code) {
    ensurePlayer();
    if (player_ == nullptr) {
        return {};
    }
    const char* text = library_->xaudio_error_string(code);
    return text != nullptr ? std::string(text) : std::string();
}

// ---- commands ----

int32_t TXaudioPlayer::sendN(uint8_t code) {
    ensurePlayer();
    return library_->send_N(player_, code);
}

int32_t TXaudioPlayer::sendI(uint8_t code, int32_t value) {
    ensurePlayer();
    return library_->send_I(player_, code, value);
}

int32_t TXaudioPlayer::sendS(uint8_t code, const std::string& s) {
    ensurePlayer();
    return library_->send_S(player_, code, s.c_str());
}

int32_t TXaudioPlayer::sendSI(uint8_t code, const std::string& s, int32_t value) {
    ensurePlayer();
    return library_->send_SI(player_, code, s.c_str(), value);
}

int32_t TXaudioPlayer::sendIPI(uint8_t code, int16_t i1, void* p, int32_t i2) {
    ensurePlayer();
    return library_->send_IPI(player_, code, i1, p, i2);
}

int32_t TXaudioPlayer::Init() {
    ensurePlayer();
    return 1;
}

int32_t TXaudioPlayer::Play() {
    return sendN(4);
}
int32_t TXaudioPlayer::Pause() {
    return sendN(5);
}
int32_t TXaudioPlayer::Stop() {
    return sendN(6);
}
int32_t TXaudioPlayer::InputOpen(const std::string& name) {
    return sendS(8, name);
}
int32_t TXaudioPlayer::InputClose() {
    return sendN(9);
}
int32_t TXaudioPlayer::OutputClose() {
    return sendN(18);
}
int32_t TXaudioPlayer::OutputReset() {
    return sendN(22);
}
int32_t TXaudioPlayer::InputSeek(int32_t offset, int32_t range) {
    ensurePlayer();
    return library_->send_II(player_, 7, offset, range);
}
int32_t TXaudioPlayer::Ping(int32_t tag) {
    return sendI(3, tag);
}

int32_t TXaudioPlayer::Synchronize() {
    return sendN(2);
}
int32_t TXaudioPlayer::InputFilterList() {
    return sendN(13);
}
int32_t TXaudioPlayer::InputModulesList() {
    return sendN(16);
}
int32_t TXaudioPlayer::OutputMute() {
    return sendN(20);
}
int32_t TXaudioPlayer::OutputUnmute() {
    return sendN(21);
}
int32_t TXaudioPlayer::OutputDrain() {
    return sendN(23);
}
int32_t TXaudioPlayer::OutputFilterList() {
    return sendN(26);
}
int32_t TXaudioPlayer::OutputModulesList() {
    return sendN(29);
}
int32_t TXaudioPlayer::CodecModulesList() {
    return sendN(33);
}
int32_t TXaudioPlayer::GetPlayerMode() {
    return sendN(35);
}
int32_t TXaudioPlayer::GetInputName() {
    return sendN(42);
}
int32_t TXaudioPlayer::GetInputModule() {
    return sendN(44);
}
int32_t TXaudioPlayer::GetInputPositionRange() {
    return sendN(46);
}
int32_t TXaudioPlayer::GetInputTimecodeGranularity() {
    return sendN(48);
}
int32_t TXaudioPlayer::GetOutputName() {
    return sendN(50);
}
int32_t TXaudioPlayer::GetOutputModule() {
    return sendN(52);
}
int32_t TXaudioPlayer::GetOutputVolume() {
    return sendN(58);
}
int32_t TXaudioPlayer::GetOutputChannels() {
    return sendN(60);
}
int32_t TXaudioPlayer::GetOutputPorts() {
    return sendN(62);
}
int32_t TXaudioPlayer::GetCodecQuality() {
    return sendN(64);
}
int32_t TXaudioPlayer::GetCodecEqualizer() {
    return sendN(66);
}
int32_t TXaudioPlayer::GetNotificationMask() {
    return sendN(70);
}
int32_t TXaudioPlayer::GetDebugLevel() {
    return sendN(72);
}

int32_t TXaudioPlayer::InputModuleQuery(int32_t module) {
    return sendI(15, module);
}
int32_t TXaudioPlayer::OutputModuleQuery(int32_t module) {
    return sendI(28, module);
}
int32_t TXaudioPlayer::CodecModuleQuery(int32_t module) {
    return sendI(32, module);
}
int32_t TXaudioPlayer::SetPlayerMode(int32_t mode) {
    return sendI(34, mode);
}
int32_t TXaudioPlayer::SetInputModule(int32_t module) {
    return sendI(43, module);
}
int32_t TXaudioPlayer::SetInputPositionRange(int32_t range) {
    return sendI(45, range);
}
int32_t TXaudioPlayer::SetInputTimecodeGranularity(int32_t granularity) {
    return sendI(47, granularity);
}
int32_t TXaudioPlayer::SetOutputModule(int32_t module) {
    return sendI(51, module);
}
int32_t TXaudioPlayer::SetOutputChannels(int32_t channels) {
    return sendI(59, channels);
}
int32_t TXaudioPlayer::SetOutputPorts(int32_t ports) {
    return sendI(61, ports);
}
int32_t TXaudioPlayer::SetCodecQuality(uint8_t quality) {
    return sendI(63, quality);
}
int32_t TXaudioPlayer::SetNotificationMask(int32_t mask) {
    return sendI(69, mask);
}
int32_t TXaudioPlayer::SetDebugLevel(int32_t level) {
    return sendI(71, level);
}

int32_t TXaudioPlayer::InputModuleRegister(const std::string& name) {
    return sendS(14, name);
}
int32_t TXaudioPlayer::OutputOpen(const std::string& name) {
    return sendS(17, name);
}
int32_t TXaudioPlayer::OutputModuleRegister(const std::string& name) {
    return sendS(27, name);
}
int32_t TXaudioPlayer::CodecModuleRegister(const std::string& name) {
    return sendS(31, name);
}
int32_t TXaudioPlayer::GetPlayerEnvironmentInteger(const std::string& name) {
    return sendS(37, name);
}
int32_t TXaudioPlayer::GetPlayerEnvironmentString(const std::string& name) {
    return sendS(39, name);
}
int32_t TXaudioPlayer::UnsetPlayerEnvironment(const std::string& name) {
    return sendS(40, name);
}
int32_t TXaudioPlayer::SetInputName(const std::string& name) {
    return sendS(41, name);
}
int32_t TXaudioPlayer::SetOutputName(const std::string& name) {
    return sendS(49, name);
}

int32_t TXaudioPlayer::InputAddFilter(const std::string& name, int32_t where) {
    return sendSI(11, name, where);
}
int32_t TXaudioPlayer::InputRemoveFilter(const std::string& name, int32_t id) {
    return sendSI(12, name, id);
}
int32_t TXaudioPlayer::OutputAddFilter(const std::string& name, int32_t where) {
    return sendSI(24, name, where);
}
int32_t TXaudioPlayer::OutputRemoveFilter(const std::string& name, int32_t id) {
    return sendSI(25, name, id);
}
int32_t TXaudioPlayer::SetPlayerEnvironmentInteger(const std::string& name, int32_t value) {
    return sendSI(36, name, value);
}
int32_t TXaudioPlayer::SetPlayerEnvironmentString(const std::string& name,
                                                  const std::string& value) {
    ensurePlayer();
    return library_->send_SS(player_, 38, name.c_str(), value.c_str());
}

int32_t TXaudioPlayer::InputSendMessage(int16_t type, void* data, int32_t size) {
    return sendIPI(10, type, data, size);
}
int32_t TXaudioPlayer::OutputSendMessage(int16_t type, void* data, int32_t size) {
    return sendIPI(19, type, data, size);
}
int32_t TXaudioPlayer::CodecSendMessage(int16_t type, void* data, int32_t size) {
    return sendIPI(30, type, data, size);
}

int32_t TXaudioPlayer::SetOutputVolume(int32_t masterLevel, int32_t pcmLevel, int32_t balance) {
    ensurePlayer();
    return library_->send_III(player_, 57, masterLevel, pcmLevel, balance);
}

int32_t TXaudioPlayer::SetCodecEqualizer(const void* equalizer) {
    ensurePlayer();
    return library_->send_P(player_, 65, equalizer);
}

// ---- notifications ----

void TXaudioPlayer::windowProc(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    // Messages below the player's range (XA_WINDOW_MESSAGE_BASE) would also go
    // to the platform's default handling, which has nothing to do for a
    // hidden window here; every message is still offered to the library.
    if (player_ == nullptr || !library_) {
        return;
    }
    XA_Message& msg = *message_;
    std::memset(&msg, 0, sizeof msg);
    if (library_->params_to_message(player_, &msg, message, wparam, lparam) != 0) {
        return;
    }
    // The handlers may send commands, which may decode nothing into this
    // buffer; still, fire from a copy so a handler sees a stable record.
    auto copy = std::make_unique<XA_Message>(msg);
    if (OnNotifyMessage) {
        OnNotifyMessage(this, *copy);
    }
    fireEvent(*copy);
}

void TXaudioPlayer::fireEvent(const XA_Message& m) {
    auto u8 = [&](unsigned off) { return xa_message_u8(&m, off); };
    auto s16 = [&](unsigned off) { return static_cast<int16_t>(xa_message_u16(&m, off)); };
    auto u16 = [&](unsigned off) { return xa_message_u16(&m, off); };
    auto u32 = [&](unsigned off) { return xa_message_u32(&m, off); };
    auto text = [&](unsigned off) { return std::string(xa_message_text(&m, off)); };
    auto ptr = [&](unsigned off) { return xa_message_pointer(&m, off); };
    auto fire = [this](auto& event, auto&&... args) {
        if (event) {
            event(this, std::forward<decltype(args)>(args)...);
        }
    };

    switch (m.code) {
    case 73:
        fire(OnNotifyReady);
        break;
    case 74:
        fire(OnNotifyAck, u8(4));
        break;
    case 75:
        fire(OnNotifyNack, u8(4), s16(6));
        break;
    case 76:
        fire(OnNotifyPong, u32(4));
        break;
    case 77:
        fire(OnNotifyExited);
        break;
    case 78:
        fire(OnNotifyPlayerState, int(u8(4)));
        break;
    case 79:
        fire(OnNotifyPlayerMode, u32(4));
        break;
    case 80:
        fire(OnNotifyPlayerEnvironmentInteger, text(4), int32_t(u32(8)));
        break;
    case 81:
        fire(OnNotifyPlayerEnvironmentString, text(4), text(8));
        break;
    case 82:
        fire(OnNotifyInputState, int(u8(4)));
        break;
    case 83:
        fire(OnNotifyInputName, text(4));
        break;
    case 84:
        fire(OnNotifyInputCaps, u32(4));
        break;
    case 85:
        fire(OnNotifyInputPosition, u32(4), u32(8));
        break;
    case 86:
        fire(OnNotifyInputPositionRange, u32(4));
        break;
    case 87:
        fire(OnNotifyInputTimecode, u8(4), u8(5), u8(6), u8(7));
        break;
    case 88:
        fire(OnNotifyInputTimecodeGranularity, u32(4));
        break;
    case 89:
        fire(OnNotifyInputModule, s16(4));
        break;
    case 90:
        fire(OnNotifyInputModuleInfo, u8(4), u8(5), text(8), text(12));
        break;
    case 91:
        fire(OnNotifyInputDeviceInfo, u8(4), u8(5), u8(6), text(8), text(12));
        break;
    case 92:
        fire(OnNotifyInputFilterInfo, u8(8), text(4));
        break;
    case 93:
        fire(OnNotifyOutputState, int(u8(4)));
        break;
    case 94:
        fire(OnNotifyOutputName, text(4));
        break;
    case 95:
        fire(OnNotifyOutputCaps, u32(4));
        break;
    case 100:
        fire(OnNotifyOutputVolume, u8(4), u8(5), u8(6));
        break;
    case 101:
        fire(OnNotifyOutputBalance, u8(6));
        break;
    case 102:
        fire(OnNotifyOutputPcmLevel, u8(5));
        break;
    case 103:
        fire(OnNotifyOutputMasterLevel, u8(4));
        break;
    case 104:
        fire(OnNotifyOutputChannels, u8(4));
        break;
    case 105:
        fire(OnNotifyOutputPorts, uint32_t(u8(4)));
        break;
    case 106:
        fire(OnNotifyOutputModule, s16(4));
        break;
    case 107:
        fire(OnNotifyOutputModuleInfo, u8(4), u8(5), text(8), text(12));
        break;
    case 108:
        fire(OnNotifyOutputDeviceInfo, u8(4), u8(5), u8(6), text(8), text(12));
        break;
    case 109:
        fire(OnNotifyOutputFilterInfo, u8(8), text(4));
        break;
    case 110:
        fire(OnNotifyStreamMimeType, text(4));
        break;
    case 111:
        fire(OnNotifyStreamDuration, u32(4));
        break;
    case 112:
        fire(OnNotifyStreamParameters, u32(4), u16(8), u8(10));
        break;
    case 113:
        fire(OnNotifyStreamProperties, u32(4), ptr(8));
        break;
    case 114:
        fire(OnNotifyCodecQuality, u8(4));
        break;
    case 115:
        fire(OnNotifyCodecEqualizer, ptr(4));
        break;
    case 116:
        fire(OnNotifyCodecModule, s16(4));
        break;
    case 117:
        fire(OnNotifyCodecModuleInfo, u8(4), u8(5), text(8), text(12));
        break;
    case 118:
        fire(OnNotifyCodecDeviceInfo, u8(4), u8(5), u8(6), text(8), text(12));
        break;
    case 119:
        fire(OnNotifyNotificationMask, u32(4));
        break;
    case 120:
        fire(OnNotifyDebugLevel, u8(4));
        break;
    case 121:
        fire(OnNotifyProgress, u8(4), u8(5), s16(6), text(8));
        break;
    case 122:
        fire(OnNotifyDebug, u8(4), u8(5), text(8));
        break;
    case 123:
        fire(OnNotifyError, u8(4), s16(6), text(8));
        break;
    default:
        break; // 96 to 99 and anything unknown: OnNotifyMessage only
    }
}
