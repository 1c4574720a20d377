// Message records of the player library.
#include "libs/mp3play/PlayerMessages.h"

#include <algorithm>
#include <cstring>

RecordBuilder::RecordBuilder(int32_t code) : record_(std::make_unique<XA_Message>()) {
    std::memset(record_.get(), 0, sizeof(XA_Message));
    record_->code = code;
}

RecordBuilder& RecordBuilder::u8(unsigned offset, uint8_t v) {
    reinterpret_cast<uint8_t*>(record_.get())[offset] = v;
    return *this;
}

RecordBuilder& RecordBuilder::u16(unsigned offset, uint16_t v) {
    std::memcpy(reinterpret_cast<uint8_t*>(record_.get()) + offset, &v, sizeof v);
    return *this;
}

RecordBuilder& RecordBuilder::u32(unsigned offset, uint32_t v) {
    std::memcpy(reinterpret_cast<uint8_t*>(record_.get()) + offset, &v, sizeof v);
    return *this;
}

RecordBuilder& RecordBuilder::text(unsigned offset, std::string_view t) {
    if (store_ >= XA_MESSAGE_SIZE) {
        return u32(offset, 0);
    }
    const size_t room = XA_MESSAGE_SIZE - store_ - 1;
    const size_t n = std::min(room, t.size());
    char* dst = reinterpret_cast<char*>(record_.get()) + store_;
    std::memcpy(dst, t.data(), n);
    dst[n] = '\0';
    u32(offset, store_);
    store_ += uint32_t(n + 1);
    return *this;
}

bool Notifier::post(std::unique_ptr<XA_Message> record) {
    if (window_ == SV_WINDOW_NONE || !record) {
        return false;
    }
    const uint32_t message = XA_WINDOW_MESSAGE_BASE + uint32_t(record->code & 0xFF);
    uintptr_t key;
    {
        std::lock_guard<std::mutex> g(lock_);
        key = nextKey_++;
        waiting_.emplace(key, std::move(record));
        // A window that stopped handling messages must not make us grow
        // without end: the oldest records go first.
        while (waiting_.size() > kMaxWaiting) {
            waiting_.erase(waiting_.begin());
        }
    }
    if (sv_post_message(window_, message, key, 0) == 0) {
        std::lock_guard<std::mutex> g(lock_);
        waiting_.erase(key);
        return false;
    }
    return true;
}

bool Notifier::take(uint32_t windowMessage, uintptr_t wparam, XA_Message* out) {
    if (out == nullptr || windowMessage < XA_WINDOW_MESSAGE_BASE ||
        windowMessage >= XA_WINDOW_MESSAGE_BASE + 0x100) {
        return false;
    }
    std::unique_ptr<XA_Message> record;
    {
        std::lock_guard<std::mutex> g(lock_);
        auto it = waiting_.find(wparam);
        if (it == waiting_.end() ||
            XA_WINDOW_MESSAGE_BASE + uint32_t(it->second->code & 0xFF) != windowMessage) {
            return false;
        }
        record = std::move(it->second);
        waiting_.erase(it);
    }
    std::memcpy(out, record.get(), sizeof(XA_Message));
    return true;
}

size_t Notifier::waiting() const {
    std::lock_guard<std::mutex> g(lock_);
    return waiting_.size();
}
