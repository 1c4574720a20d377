/* C interface of the MP3 player library (mp3play.so).
 *
 * The program loads the library at run time and looks up the 17 entry points
 * below by name. A player is created with the address of a message-window
 * handle (platform/ui/message_window.h); it decodes and plays on a thread of
 * its own and reports only by posting notifications to that window. The
 * window's handler, on the main thread, turns each posted message back into
 * a message record with control_win32_params_to_message.
 *
 * Commands are sent with control_message_send_<shape>(player, code, ...);
 * the shape names the further arguments (N none, P pointer, S string,
 * I integer). Every entry point may be called from any thread, but one
 * player is meant to be driven by one thread (the main thread).
 *
 * Message record: the code at offset 0, the data from offset 4 on (8-bit
 * values at 4, 5, 6; 16-bit values at 6 and 8; 32-bit values at 4, 8, 12).
 * A text or pointer is stored as a 32-bit offset from the start of the record
 * to its bytes inside the record's own storage (0 = none), so a filled record
 * is self-contained: it can be copied and kept, and its texts stay valid for
 * as long as the record does. */
#ifndef SONVALE_XAUDIO_H
#define SONVALE_XAUDIO_H

#include "platform/ui/message_window.h"

#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Interface version reported by xaudio_get_version(XA_API_ID_SYNC):
 * major in bits 16-23, minor in bits 8-15. */
#define XA_API_MAJOR 3
#define XA_API_MINOR 8
#define XA_API_ID_SYNC 2

/* Window messages posted by the library: XA_WINDOW_MESSAGE_BASE + code. */
#define XA_WINDOW_MESSAGE_BASE 0x9000u

/* Result codes. */
#define XA_SUCCESS 0
#define XA_FAILURE (-1)
#define XA_ERROR_INVALID_PARAMETERS (-2)
#define XA_ERROR_OUT_OF_MEMORY (-3)
#define XA_ERROR_NO_SUCH_PLAYER (-4)
#define XA_ERROR_UNKNOWN_MESSAGE (-5)
#define XA_ERROR_NOT_SUPPORTED (-6)
#define XA_ERROR_OPEN_FAILED (-7)
#define XA_ERROR_INVALID_FORMAT (-8)
#define XA_ERROR_NO_INPUT (-9)
#define XA_ERROR_OUTPUT_FAILED (-10)
#define XA_ERROR_DECODE_FAILED (-11)
#define XA_ERROR_TIMEOUT (-12)

/* Command codes. */
enum {
    XA_MSG_COMMAND_SYNC = 2,
    XA_MSG_COMMAND_PING = 3,
    XA_MSG_COMMAND_PLAY = 4,
    XA_MSG_COMMAND_PAUSE = 5,
    XA_MSG_COMMAND_STOP = 6,
    XA_MSG_COMMAND_INPUT_SEEK = 7,
    XA_MSG_COMMAND_INPUT_OPEN = 8,
    XA_MSG_COMMAND_INPUT_CLOSE = 9,
    XA_MSG_COMMAND_OUTPUT_OPEN = 17,
    XA_MSG_COMMAND_OUTPUT_CLOSE = 18,
    XA_MSG_COMMAND_OUTPUT_MUTE = 20,
    XA_MSG_COMMAND_OUTPUT_UNMUTE = 21,
    XA_MSG_COMMAND_OUTPUT_RESET = 22,
    XA_MSG_COMMAND_OUTPUT_DRAIN = 23,
    XA_MSG_GET_PLAYER_MODE = 35,
    XA_MSG_GET_INPUT_NAME = 42,
    XA_MSG_SET_INPUT_POSITION_RANGE = 45,
    XA_MSG_GET_INPUT_POSITION_RANGE = 46,
    XA_MSG_GET_OUTPUT_NAME = 50,
    XA_MSG_SET_NOTIFICATION_MASK = 69,
    XA_MSG_GET_NOTIFICATION_MASK = 70,
    XA_MSG_SET_DEBUG_LEVEL = 71,
    XA_MSG_GET_DEBUG_LEVEL = 72
};

/* Notification codes. */
enum {
    XA_MSG_NOTIFY_READY = 73,
    XA_MSG_NOTIFY_ACK = 74,
    XA_MSG_NOTIFY_NACK = 75,
    XA_MSG_NOTIFY_PONG = 76,
    XA_MSG_NOTIFY_EXITED = 77,
    XA_MSG_NOTIFY_PLAYER_STATE = 78,
    XA_MSG_NOTIFY_PLAYER_MODE = 79,
    XA_MSG_NOTIFY_INPUT_STATE = 82,
    XA_MSG_NOTIFY_INPUT_NAME = 83,
    XA_MSG_NOTIFY_INPUT_CAPS = 84,
    XA_MSG_NOTIFY_INPUT_POSITION = 85,
    XA_MSG_NOTIFY_INPUT_POSITION_RANGE = 86,
    XA_MSG_NOTIFY_OUTPUT_STATE = 93,
    XA_MSG_NOTIFY_OUTPUT_NAME = 94,
    XA_MSG_NOTIFY_STREAM_DURATION = 111,
    XA_MSG_NOTIFY_STREAM_PARAMETERS = 112,
    XA_MSG_NOTIFY_NOTIFICATION_MASK = 119,
    XA_MSG_NOTIFY_DEBUG_LEVEL = 120,
    XA_MSG_NOTIFY_ERROR = 123
};

/* Player states (notification 78). */
enum {
    XA_PLAYER_STATE_STOPPED = 0,
    XA_PLAYER_STATE_PLAYING = 1,
    XA_PLAYER_STATE_PAUSED = 2,
    XA_PLAYER_STATE_EOF = 3
};

/* Input and output states (notifications 82 and 93). */
enum { XA_INPUT_STATE_CLOSED = 0, XA_INPUT_STATE_OPEN = 1 };
enum { XA_OUTPUT_STATE_CLOSED = 0, XA_OUTPUT_STATE_OPEN = 1 };

/* Sources of error notifications (notification 123, offset 4). */
enum { XA_SOURCE_PLAYER = 1, XA_SOURCE_INPUT = 2, XA_SOURCE_CODEC = 3, XA_SOURCE_OUTPUT = 4 };

#define XA_MESSAGE_SIZE 8192u

typedef struct XA_Message {
    int32_t code;
    uint8_t data[XA_MESSAGE_SIZE - 4]; /* record offsets 4 and on */
} XA_Message;

typedef void* XA_PlayerHandle;

/* Readers of the record by offset (little-endian, unaligned-safe). */
static inline uint8_t xa_message_u8(const XA_Message* m, unsigned offset) {
    return ((const uint8_t*)m)[offset];
}
static inline uint16_t xa_message_u16(const XA_Message* m, unsigned offset) {
    uint16_t v;
    memcpy(&v, (const uint8_t*)m + offset, sizeof v);
    return v;
}
static inline uint32_t xa_message_u32(const XA_Message* m, unsigned offset) {
    uint32_t v;
    memcpy(&v, (const uint8_t*)m + offset, sizeof v);
    return v;
}
/* The bytes a reference at the offset names; NULL when the reference is 0 or
 * points outside the record. */
static inline const void* xa_message_pointer(const XA_Message* m, unsigned offset) {
    uint32_t ref = xa_message_u32(m, offset);
    if (ref < 16u || ref >= XA_MESSAGE_SIZE) {
        return NULL;
    }
    return (const uint8_t*)m + ref;
}
/* The text a reference names, cut at the end of the record; "" when none. */
static inline const char* xa_message_text(const XA_Message* m, unsigned offset) {
    const char* t = (const char*)xa_message_pointer(m, offset);
    if (t == NULL || memchr(t, 0, XA_MESSAGE_SIZE - (size_t)(t - (const char*)m)) == NULL) {
        return "";
    }
    return t;
}

/* Entry points, in lookup order. */
typedef int32_t (*xa_player_new_t)(XA_PlayerHandle* player, void* arg);
typedef int32_t (*xa_player_delete_t)(XA_PlayerHandle player);
typedef int32_t (*xa_player_set_priority_t)(XA_PlayerHandle player, int32_t priority);
typedef int32_t (*xa_player_get_priority_t)(XA_PlayerHandle player);
typedef const char* (*xa_error_string_t)(int32_t code);
typedef uint32_t (*xa_get_version_t)(uint8_t selector);
typedef int32_t (*xa_send_N_t)(XA_PlayerHandle player, uint8_t code);
typedef int32_t (*xa_send_P_t)(XA_PlayerHandle player, uint8_t code, const void* p);
typedef int32_t (*xa_send_S_t)(XA_PlayerHandle player, uint8_t code, const char* s);
typedef int32_t (*xa_send_SS_t)(XA_PlayerHandle player, uint8_t code, const char* s1,
                                const char* s2);
typedef int32_t (*xa_send_SI_t)(XA_PlayerHandle player, uint8_t code, const char* s, int32_t i);
typedef int32_t (*xa_send_IPI_t)(XA_PlayerHandle player, uint8_t code, int32_t i1, void* p,
                                 int32_t i2);
typedef int32_t (*xa_send_I_t)(XA_PlayerHandle player, uint8_t code, int32_t i);
typedef int32_t (*xa_send_II_t)(XA_PlayerHandle player, uint8_t code, int32_t i1, int32_t i2);
typedef int32_t (*xa_send_III_t)(XA_PlayerHandle player, uint8_t code, int32_t i1, int32_t i2,
                                 int32_t i3);
typedef int32_t (*xa_send_IIII_t)(XA_PlayerHandle player, uint8_t code, int32_t i1, int32_t i2,
                                  int32_t i3, int32_t i4);
typedef int32_t (*xa_params_to_message_t)(XA_PlayerHandle player, XA_Message* message,
                                          uint32_t window_message, uintptr_t wparam,
                                          intptr_t lparam);

#ifdef __cplusplus
}
#endif

#endif
