// A player library for the component's tests. Built several times with
// different defines: complete (version 3.8), without "player_delete", with
// version 3.7, or with a player that cannot start. It records the calls it
// gets and lets the test post crafted message records to the player's window.
#include "libs/mp3play/xaudio.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#ifndef FAKE_VERSION_MINOR
#define FAKE_VERSION_MINOR 8
#endif

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::mutex lock;
std::string calls;
sv_window_t window = SV_WINDOW_NONE;
int32_t priority = 3;
int playerObject;
uintptr_t nextKey = 1;
std::map<uintptr_t, std::unique_ptr<XA_Message>> posted;

void record(const std::string& s) {
    std::lock_guard<std::mutex> g(lock);
    calls += s + ";";
}
} // namespace

// ---- test access ----

FAKE_EXPORT const char* fake_calls() {
    return calls.c_str();
}
FAKE_EXPORT void fake_reset() {
    calls.clear();
}
FAKE_EXPORT sv_window_t fake_window() {
    return window;
}
// Posts a copy of the record to the player's window, as the library would.
FAKE_EXPORT int fake_post(const XA_Message* m) {
    const uintptr_t key = nextKey++;
    posted[key] = std::make_unique<XA_Message>(*m);
    return sv_post_message(window, XA_WINDOW_MESSAGE_BASE + uint32_t(m->code), key, 0);
}

// ---- the interface ----

FAKE_EXPORT int32_t player_new(XA_PlayerHandle* player, void* arg) {
    record("player_new");
#ifdef FAKE_PLAYER_NEW_FAILS
    (void)player;
    (void)arg;
    return XA_FAILURE;
#else
    window = *static_cast<const sv_window_t*>(arg);
    *player = &playerObject;
    return XA_SUCCESS;
#endif
}

#ifndef FAKE_OMIT_PLAYER_DELETE
FAKE_EXPORT int32_t player_delete(XA_PlayerHandle) {
    record("player_delete");
    return XA_SUCCESS;
}
#endif

FAKE_EXPORT int32_t player_set_priority(XA_PlayerHandle, int32_t p) {
    record("player_set_priority(" + std::to_string(p) + ")");
    priority = p;
    return XA_SUCCESS;
}

FAKE_EXPORT int32_t player_get_priority(XA_PlayerHandle) {
    return priority;
}

FAKE_EXPORT const char* xaudio_error_string(int32_t code) {
    return code == XA_FAILURE ? "fake failure" : "fake other";
}

FAKE_EXPORT uint32_t xaudio_get_version(uint8_t selector) {
    record("xaudio_get_version(" + std::to_string(selector) + ")");
    return (3u << 16) | (uint32_t(FAKE_VERSION_MINOR) << 8) | 42u;
}

FAKE_EXPORT int32_t control_message_send_N(XA_PlayerHandle, uint8_t code) {
    record("N(" + std::to_string(code) + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_P(XA_PlayerHandle, uint8_t code, const void* p) {
    record("P(" + std::to_string(code) + "," + (p ? "ptr" : "null") + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_S(XA_PlayerHandle, uint8_t code, const char* s) {
    record("S(" + std::to_string(code) + "," + s + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_SS(XA_PlayerHandle, uint8_t code, const char* a,
                                            const char* b) {
    record("SS(" + std::to_string(code) + "," + a + "," + b + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_SI(XA_PlayerHandle, uint8_t code, const char* s,
                                            int32_t i) {
    record("SI(" + std::to_string(code) + "," + s + "," + std::to_string(i) + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_IPI(XA_PlayerHandle, uint8_t code, int32_t a, void* p,
                                             int32_t b) {
    record("IPI(" + std::to_string(code) + "," + std::to_string(a) + "," + (p ? "ptr" : "null") +
           "," + std::to_string(b) + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_I(XA_PlayerHandle, uint8_t code, int32_t i) {
    record("I(" + std::to_string(code) + "," + std::to_string(i) + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_II(XA_PlayerHandle, uint8_t code, int32_t a, int32_t b) {
    record("II(" + std::to_string(code) + "," + std::to_string(a) + "," + std::to_string(b) + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_III(XA_PlayerHandle, uint8_t code, int32_t a, int32_t b,
                                             int32_t c) {
    record("III(" + std::to_string(code) + "," + std::to_string(a) + "," + std::to_string(b) + "," +
           std::to_string(c) + ")");
    return 100 + code;
}
FAKE_EXPORT int32_t control_message_send_IIII(XA_PlayerHandle, uint8_t code, int32_t, int32_t,
                                              int32_t, int32_t) {
    record("IIII(" + std::to_string(code) + ")");
    return 100 + code;
}

FAKE_EXPORT int32_t control_win32_params_to_message(XA_PlayerHandle player, XA_Message* message,
                                                    uint32_t windowMessage, uintptr_t wparam,
                                                    intptr_t) {
    if (player != &playerObject) {
        return XA_ERROR_NO_SUCH_PLAYER;
    }
    auto it = posted.find(wparam);
    if (it == posted.end() ||
        windowMessage != XA_WINDOW_MESSAGE_BASE + uint32_t(it->second->code)) {
        return XA_ERROR_UNKNOWN_MESSAGE;
    }
    std::memcpy(message, it->second.get(), sizeof(XA_Message));
    posted.erase(it);
    return XA_SUCCESS;
}
