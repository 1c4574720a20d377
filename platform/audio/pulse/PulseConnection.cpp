#include "platform/audio/pulse/PulseConnection.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr pa_usec_t kRetryUs = 1000000; // a lost server is looked for once a second

bool sameVolume(const pa_cvolume& a, const pa_cvolume& b) {
    return libpulse().pa_cvolume_equal(&a, &b) != 0;
}

} // namespace

PulseConnection& PulseConnection::instance() {
    static PulseConnection* connection = new PulseConnection();
    return *connection;
}

PulseConnection::PulseConnection()
    : loop_(libpulse().pa_threaded_mainloop_new()), state_(std::make_shared<PulseState>()),
      notified_(state_) {
    libpulse().pa_threaded_mainloop_start(loop_);
    notifier_ = std::thread(&PulseConnection::notifierRun, this);
    notifier_.detach(); // runs until the process ends, like the loop thread
}

MMRESULT PulseConnection::result(int paError) {
    switch (paError) {
    case PA_OK:
        return MMR_NOERROR;
    case PA_ERR_NOENTITY:
        return MMR_BADDEVICEID;
    case PA_ERR_INVALID:
    case PA_ERR_NOTSUPPORTED:
        return MMR_BADFORMAT;
    case PA_ERR_BUSY:
    case PA_ERR_EXIST:
        return MMR_ALLOCATED;
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
        return MMR_NOTENABLED;
    case PA_ERR_CONNECTIONREFUSED:
    case PA_ERR_CONNECTIONTERMINATED:
    case PA_ERR_KILLED:
        return MMR_NODRIVER;
    default:
        return MMR_ERROR;
    }
}

void PulseConnection::successCallback(pa_context*, int success, void* flag) {
    *static_cast<int*>(flag) = success ? 1 : 0;
    instance().signal();
}

void PulseConnection::streamSuccessCallback(pa_stream*, int success, void* flag) {
    successCallback(nullptr, success, flag);
}

void PulseConnection::signal() {
    libpulse().pa_threaded_mainloop_signal(loop_, 0);
}

pa_context* PulseConnection::context() const {
    return context_ && libpulse().pa_context_get_state(context_) == PA_CONTEXT_READY ? context_
                                                                                     : nullptr;
}

bool PulseConnection::connect(int timeoutMs) {
    Lock lock(*this);
    if (context() && known_)
        return true;
    if (!context() && !connecting_)
        startContext();
    // Connected means the server's state is known too: the first look at
    // its sources has come back.
    wait([this] { return (context() && known_) || (!context() && !connecting_); }, timeoutMs);
    return context() != nullptr && known_;
}

bool PulseConnection::wait(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    // A timer on the loop wakes this wait when the time is up.
    struct Expiry {
        bool expired = false;
    } expiry;
    pa_mainloop_api* api = libpulse().pa_threaded_mainloop_get_api(loop_);
    timeval tv;
    libpulse().pa_timeval_add(libpulse().pa_gettimeofday(&tv), pa_usec_t(timeoutMs) * 1000);
    pa_time_event* timer = api->time_new(
        api, &tv,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* e) {
            static_cast<Expiry*>(e)->expired = true;
            instance().signal();
        },
        &expiry);
    while (!done() && !expiry.expired) {
        if (connecting_ || context())
            libpulse().pa_threaded_mainloop_wait(loop_);
        else
            break; // no server: nothing will ever come
    }
    // Freeing a timer does not wake the loop, which then wakes once more, idle,
    // at the time it had prepared for; restarting it first makes the loop look
    // at its timers again now, while it is awake anyway.
    if (!expiry.expired)
        api->time_restart(timer, &tv);
    api->time_free(timer);
    return done();
}

bool PulseConnection::finish(pa_operation* op, int timeoutMs) {
    if (!op)
        return false;
    wait([op] { return libpulse().pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, timeoutMs);
    const bool done = libpulse().pa_operation_get_state(op) == PA_OPERATION_DONE;
    if (!done)
        libpulse().pa_operation_cancel(op);
    libpulse().pa_operation_unref(op);
    return done;
}

std::shared_ptr<const PulseState> PulseConnection::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void PulseConnection::setListener(Listener listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void PulseConnection::applyOwnChange(const std::function<void(PulseState&)>& change) {
    std::lock_guard lock(mutex_);
    auto next = std::make_shared<PulseState>(*state_);
    change(*next);
    state_ = next;
    // The listener's view moves along, so the server's echo of this change
    // is not heard a second time.
    auto heard = std::make_shared<PulseState>(*notified_);
    change(*heard);
    notified_ = heard;
}

void PulseConnection::startContext() {
    if (context_) {
        libpulse().pa_context_set_state_callback(context_, nullptr, nullptr);
        libpulse().pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        libpulse().pa_context_disconnect(context_);
        libpulse().pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_proplist* props = libpulse().pa_proplist_new();
    libpulse().pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Sonvale");
    libpulse().pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.sonvale.Sonvale");
    libpulse().pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "audio-input-microphone");
    context_ = libpulse().pa_context_new_with_proplist(
        libpulse().pa_threaded_mainloop_get_api(loop_), "Sonvale", props);
    libpulse().pa_proplist_free(props);
    if (!context_) {
        connecting_ = false;
        return;
    }
    libpulse().pa_context_set_state_callback(
        context_,
        [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->onContextState(); },
        this);
    connecting_ = true;
    // Never starts a server of its own: no server means another backend.
    if (libpulse().pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        connecting_ = false;
        scheduleReconnect();
    }
}

void PulseConnection::onContextState() {
    switch (libpulse().pa_context_get_state(context_)) {
    case PA_CONTEXT_READY: {
        connecting_ = false;
        libpulse().pa_context_set_subscribe_callback(
            context_,
            [](pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
                static_cast<PulseConnection*>(self)->refresh();
            },
            this);
        pa_operation* op = libpulse().pa_context_subscribe(
            context_,
            pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE |
                                   PA_SUBSCRIPTION_MASK_SERVER),
            nullptr, nullptr);
        if (op)
            libpulse().pa_operation_unref(op);
        refreshPending_ = 0;
        refreshAgain_ = false;
        known_ = false;
        refresh();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
        connecting_ = false;
        refreshPending_ = 0;
        known_ = false;
        publish(PulseState{});
        scheduleReconnect();
        break;
    }
    default:
        break;
    }
    signal();
}

void PulseConnection::scheduleReconnect() {
    if (retry_)
        return;
    pa_mainloop_api* api = libpulse().pa_threaded_mainloop_get_api(loop_);
    timeval tv;
    libpulse().pa_timeval_add(libpulse().pa_gettimeofday(&tv), kRetryUs);
    retry_ = api->time_new(
        api, &tv,
        [](pa_mainloop_api* api, pa_time_event* e, const timeval*, void* self) {
            auto* c = static_cast<PulseConnection*>(self);
            api->time_free(e);
            c->retry_ = nullptr;
            if (!c->context() && !c->connecting_)
                c->startContext();
        },
        this);
}

void PulseConnection::refresh() {
    if (refreshPending_ > 0) {
        refreshAgain_ = true; // fetch once more when this round is in
        return;
    }
    if (!context())
        return;
    building_ = PulseState{};
    building_.connected = true;
    refreshPending_ = 1;
    pa_operation* op = libpulse().pa_context_get_server_info(
        context_,
        [](pa_context* c, const pa_server_info* info, void* self) {
            auto* me = static_cast<PulseConnection*>(self);
            if (info) {
                me->building_.serverName = info->server_name ? info->server_name : "";
                me->building_.defaultSource =
                    info->default_source_name ? info->default_source_name : "";
                me->building_.sink.name = info->default_sink_name ? info->default_sink_name : "";
            }
            // Sources and the default sink are asked for once the defaults are known.
            auto sourceCb = [](pa_context*, const pa_source_info* s, int eol, void* self) {
                auto* me = static_cast<PulseConnection*>(self);
                if (eol) {
                    me->finishRefresh();
                    return;
                }
                PulseSource src;
                src.index = s->index;
                src.name = s->name ? s->name : "";
                src.description = s->description && *s->description ? s->description : src.name;
                src.volume = s->volume;
                src.mute = s->mute != 0;
                me->building_.sources.push_back(std::move(src));
            };
            if (pa_operation* o = libpulse().pa_context_get_source_info_list(c, sourceCb, me)) {
                ++me->refreshPending_;
                libpulse().pa_operation_unref(o);
            }
            if (!me->building_.sink.name.empty()) {
                auto sinkCb = [](pa_context*, const pa_sink_info* s, int eol, void* self) {
                    auto* me = static_cast<PulseConnection*>(self);
                    if (eol) {
                        me->finishRefresh();
                        return;
                    }
                    me->building_.sink.index = s->index;
                    me->building_.sink.volume = s->volume;
                    me->building_.sink.mute = s->mute != 0;
                };
                if (pa_operation* o = libpulse().pa_context_get_sink_info_by_name(
                        c, me->building_.sink.name.c_str(), sinkCb, me)) {
                    ++me->refreshPending_;
                    libpulse().pa_operation_unref(o);
                }
            }
            me->finishRefresh();
        },
        this);
    if (op)
        libpulse().pa_operation_unref(op);
    else
        refreshPending_ = 0;
}

void PulseConnection::finishRefresh() {
    if (refreshPending_ == 0 || --refreshPending_ > 0)
        return;
    std::sort(building_.sources.begin(), building_.sources.end(),
              [](const PulseSource& a, const PulseSource& b) { return a.index < b.index; });
    publish(std::move(building_));
    building_ = PulseState{};
    known_ = true;
    signal();
    if (refreshAgain_) {
        refreshAgain_ = false;
        refresh();
    }
}

void PulseConnection::publish(PulseState next) {
    {
        std::lock_guard lock(mutex_);
        state_ = std::make_shared<PulseState>(std::move(next));
        changed_ = true;
    }
    cv_.notify_all();
    signal();
}

PulseChanges PulseConnection::diff(const PulseState& a, const PulseState& b) {
    PulseChanges c;
    c.connection = a.connected != b.connected;
    c.defaultSource = a.defaultSource != b.defaultSource;
    c.sourceList = a.sources.size() != b.sources.size();
    for (size_t i = 0; !c.sourceList && i < a.sources.size(); ++i)
        c.sourceList = a.sources[i].index != b.sources[i].index ||
                       a.sources[i].description != b.sources[i].description;
    for (const PulseSource& s : b.sources) {
        auto old = std::find_if(a.sources.begin(), a.sources.end(),
                                [&](const PulseSource& o) { return o.index == s.index; });
        if (old != a.sources.end() && (!sameVolume(old->volume, s.volume) || old->mute != s.mute))
            c.sourceLevels.push_back(s.index);
    }
    c.sink = a.sink.index != b.sink.index || !sameVolume(a.sink.volume, b.sink.volume) ||
             a.sink.mute != b.sink.mute;
    return c;
}

void PulseConnection::notifierRun() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock, [this] { return changed_; });
        changed_ = false;
        const PulseChanges changes = diff(*notified_, *state_);
        notified_ = state_;
        Listener listener = listener_;
        const bool any = changes.connection || changes.sourceList || changes.defaultSource ||
                         !changes.sourceLevels.empty() || changes.sink;
        if (!any || !listener)
            continue;
        lock.unlock();
        listener(changes);
        lock.lock();
    }
}
