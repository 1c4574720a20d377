// Building message records and handing them to the window (library side).
//
// A Notifier belongs to one player. The player thread builds records with
// RecordBuilder and calls post(); the record is kept under a key until the
// window's handler asks for it with take() (control_win32_params_to_message),
// so only small integers travel through the window message. Records whose
// window is gone are dropped at once; records never collected (their window
// destroyed with messages still queued) are bounded in number.
//
// Threads: post() from any thread (the player thread), take() from the thread
// that runs the window's handler (the main thread); both lock.
#pragma once

#include "libs/mp3play/xaudio.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

class RecordBuilder {
public:
    explicit RecordBuilder(int32_t code);
    RecordBuilder& u8(unsigned offset, uint8_t v);
    RecordBuilder& u16(unsigned offset, uint16_t v);
    RecordBuilder& u32(unsigned offset, uint32_t v);
    // Stores the text inside the record (cut to fit) and its reference at
    // the offset.
    RecordBuilder& text(unsigned offset, std::string_view t);
    std::unique_ptr<XA_Message> take() { return std::move(record_); }

private:
    std::unique_ptr<XA_Message> record_;
    uint32_t store_ = 16; // texts follow the fixed part of the record
};

class Notifier {
public:
    static constexpr size_t kMaxWaiting = 4096;

    explicit Notifier(sv_window_t window) : window_(window) {}

    // Posts the record to the window. False when the window is gone.
    bool post(std::unique_ptr<XA_Message> record);
    // Copies the record the window message names into *out and forgets it.
    // False when the message is not one of ours or was already taken.
    bool take(uint32_t windowMessage, uintptr_t wparam, XA_Message* out);

    size_t waiting() const;

private:
    const sv_window_t window_;
    mutable std::mutex lock_;
    uintptr_t nextKey_ = 1;
    std::map<uintptr_t, std::unique_ptr<XA_Message>> waiting_;
};
