// The exported entry points of mp3play.so.
//
// Player handles are checked against the set of live players, so a stale or
// foreign handle gets XA_ERROR_NO_SUCH_PLAYER instead of a crash.
#include "libs/mp3play/Mp3Player.h"
#include "libs/mp3play/xaudio.h"
#include "platform/audio/AudioOutput.h"

#include <mutex>
#include <set>

#define MP3PLAY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex playersLock;
std::set<Mp3Player*>& players() {
    static std::set<Mp3Player*> s;
    return s;
}

// Runs f with the player when the handle names a live one. The lock is not
// held while f runs (a command may take a while); a player is only deleted
// by player_delete, which the same caller drives.
template <typename F> int32_t withPlayer(XA_PlayerHandle handle, F f) {
    Mp3Player* p = static_cast<Mp3Player*>(handle);
    {
        std::lock_guard<std::mutex> g(playersLock);
        if (handle == nullptr || players().count(p) == 0) {
            return XA_ERROR_NO_SUCH_PLAYER;
        }
    }
    return f(*p);
}

int32_t send(XA_PlayerHandle player, Mp3Player::Command c) {
    return withPlayer(player, [&](Mp3Player& p) { return p.send(std::move(c)); });
}

std::string text(const char* s) {
    return s != nullptr ? std::string(s) : std::string();
}

} // namespace

// How long player_delete waits for a player's thread to end.
constexpr uint32_t kDeleteWaitMs = 2000;

MP3PLAY_EXPORT int32_t player_new(XA_PlayerHandle* player, void* arg) {
    if (player == nullptr) {
        return XA_ERROR_INVALID_PARAMETERS;
    }
    *player = nullptr;
    const sv_window_t window = arg != nullptr ? *static_cast<const sv_window_t*>(arg) : 0;
    Mp3Player* p = nullptr;
    try {
        p = new Mp3Player(window, [] { return createAudioOutput(-1); });
    } catch (...) {
        return XA_ERROR_OUT_OF_MEMORY;
    }
    {
        std::lock_guard<std::mutex> g(playersLock);
        players().insert(p);
    }
    *player = p;
    return XA_SUCCESS;
}

MP3PLAY_EXPORT int32_t player_delete(XA_PlayerHandle player) {
    Mp3Player* p = static_cast<Mp3Player*>(player);
    {
        std::lock_guard<std::mutex> g(playersLock);
        if (player == nullptr || players().erase(p) == 0) {
            return XA_ERROR_NO_SUCH_PLAYER;
        }
    }
    // A player thread stuck in a command (a file that does not answer) must
    // not hang the caller, typically a program that is closing: after a
    // bounded wait the player is left to its thread, which ends on its own.
    if (p->shutdown(kDeleteWaitMs)) {
        delete p;
    }
    return XA_SUCCESS;
}

MP3PLAY_EXPORT int32_t player_set_priority(XA_PlayerHandle player, int32_t priority) {
    return withPlayer(player, [&](Mp3Player& p) {
        p.setPriority(priority);
        return XA_SUCCESS;
    });
}

MP3PLAY_EXPORT int32_t player_get_priority(XA_PlayerHandle player) {
    return withPlayer(player, [&](Mp3Player& p) { return p.priority(); });
}

MP3PLAY_EXPORT const char* xaudio_error_string(int32_t code) {
    switch (code) {
    case XA_SUCCESS:
        return "success";
    case XA_FAILURE:
        return "failure";
    case XA_ERROR_INVALID_PARAMETERS:
        return "invalid parameters";
    case XA_ERROR_OUT_OF_MEMORY:
        return "out of memory";
    case XA_ERROR_NO_SUCH_PLAYER:
        return "no such player";
    case XA_ERROR_UNKNOWN_MESSAGE:
        return "unknown message";
    case XA_ERROR_NOT_SUPPORTED:
        return "not supported";
    case XA_ERROR_OPEN_FAILED:
        return "cannot open input";
    case XA_ERROR_INVALID_FORMAT:
        return "invalid format";
    case XA_ERROR_NO_INPUT:
        return "no input";
    case XA_ERROR_OUTPUT_FAILED:
        return "audio output failed";
    case XA_ERROR_DECODE_FAILED:
        return "decoding failed";
    case XA_ERROR_TIMEOUT:
        return "player not responding";
    default:
        return "unknown error";
    }
}

MP3PLAY_EXPORT uint32_t xaudio_get_version(uint8_t selector) {
    // Every selector reports the interface version; the low byte is the
    // library's own release.
    (void)selector;
    return (uint32_t(XA_API_MAJOR) << 16) | (uint32_t(XA_API_MINOR) << 8) | 1u;
}

MP3PLAY_EXPORT int32_t control_message_send_N(XA_PlayerHandle player, uint8_t code) {
    Mp3Player::Command c;
    c.code = code;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_P(XA_PlayerHandle player, uint8_t code, const void*) {
    Mp3Player::Command c;
    c.code = code;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_S(XA_PlayerHandle player, uint8_t code, const char* s) {
    Mp3Player::Command c;
    c.code = code;
    c.s1 = text(s);
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_SS(XA_PlayerHandle player, uint8_t code, const char* s1,
                                               const char* s2) {
    Mp3Player::Command c;
    c.code = code;
    c.s1 = text(s1);
    c.s2 = text(s2);
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_SI(XA_PlayerHandle player, uint8_t code, const char* s,
                                               int32_t i) {
    Mp3Player::Command c;
    c.code = code;
    c.s1 = text(s);
    c.i1 = i;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_IPI(XA_PlayerHandle player, uint8_t code, int32_t i1,
                                                void*, int32_t i2) {
    Mp3Player::Command c;
    c.code = code;
    c.i1 = i1;
    c.i2 = i2;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_I(XA_PlayerHandle player, uint8_t code, int32_t i) {
    Mp3Player::Command c;
    c.code = code;
    c.i1 = i;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_II(XA_PlayerHandle player, uint8_t code, int32_t i1,
                                               int32_t i2) {
    Mp3Player::Command c;
    c.code = code;
    c.i1 = i1;
    c.i2 = i2;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_III(XA_PlayerHandle player, uint8_t code, int32_t i1,
                                                int32_t i2, int32_t i3) {
    Mp3Player::Command c;
    c.code = code;
    c.i1 = i1;
    c.i2 = i2;
    c.i3 = i3;
    return send(player, std::move(c));
}

MP3PLAY_EXPORT int32_t control_message_send_IIII(XA_PlayerHandle player, uint8_t code, int32_t i1,
                                                 int32_t i2, int32_t i3, int32_t) {
    return control_message_send_III(player, code, i1, i2, i3); // no command uses a fourth
}

MP3PLAY_EXPORT int32_t control_win32_params_to_message(XA_PlayerHandle player, XA_Message* message,
                                                       uint32_t windowMessage, uintptr_t wparam,
                                                       intptr_t) {
    if (message == nullptr) {
        return XA_ERROR_INVALID_PARAMETERS;
    }
    return withPlayer(player, [&](Mp3Player& p) {
        return p.decode(windowMessage, wparam, message) ? XA_SUCCESS : XA_ERROR_UNKNOWN_MESSAGE;
    });
}
