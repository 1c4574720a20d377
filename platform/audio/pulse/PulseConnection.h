// The process's one connection to the sound server (private to
// platform/audio/pulse): libpulse's threaded main loop, its context, and a
// copy of the server state the mixer and wave-in parts read (server name,
// default source and sink, every source with its volume and mute, the
// default sink's volume and mute).
//
// The loop thread (libpulse's) runs every callback: it keeps the state
// current from the server's change events and, when the server goes away,
// tries to connect again once a second. Changes reach the listener on a
// notifier thread of this class (a small state machine: idle until the
// state changes, then pending until the listener has heard it), never on
// the loop thread, so a listener may call back into the services.
//
// Threads: connect(), state() and the Lock may be used from any thread
// except the loop thread; wait() and finish() need the Lock held. The
// connection lives until the process ends.
#pragma once

#include "platform/mmsystem.h"

#include "platform/audio/pulse/PulseLibrary.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct PulseSource {
    uint32_t index = PA_INVALID_INDEX;
    std::string name;        // the server's name of the source
    std::string description; // the name people see ("Monitor of Speakers")
    pa_cvolume volume{};
    bool mute = false;
};

struct PulseSink {
    uint32_t index = PA_INVALID_INDEX; // PA_INVALID_INDEX: no default sink
    std::string name;
    pa_cvolume volume{};
    bool mute = false;
};

struct PulseState {
    bool connected = false;
    std::string serverName;
    std::string defaultSource;        // the source's server name
    std::vector<PulseSource> sources; // in the server's index order
    PulseSink sink;                   // the default sink
};

// What changed between two states, as the listener hears it.
struct PulseChanges {
    bool connection = false;            // connected or lost
    bool sourceList = false;            // sources added, removed or renamed
    bool defaultSource = false;         // another default source
    std::vector<uint32_t> sourceLevels; // source indexes whose volume or mute changed
    bool sink = false;                  // default sink, its volume or mute
};

class PulseConnection {
public:
    static PulseConnection& instance();

    // Starts connecting when not connected and waits at most timeoutMs for
    // the server. True when connected.
    bool connect(int timeoutMs);
    // The state as last seen (any thread); connected is false while there is
    // no server.
    std::shared_ptr<const PulseState> state() const;

    // One listener (the mixer); called on the notifier thread.
    using Listener = std::function<void(const PulseChanges&)>;
    void setListener(Listener listener);

    // Holds the loop's lock (not on the loop thread).
    class Lock {
    public:
        explicit Lock(PulseConnection& c) : loop_(c.loop_) {
            libpulse().pa_threaded_mainloop_lock(loop_);
        }
        ~Lock() { libpulse().pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    pa_threaded_mainloop* loop() const { return loop_; }
    // Lock held: the ready context, or null while there is no server.
    pa_context* context() const;
    // Lock held: waits until done() is true, the context fails or timeoutMs
    // passed; returns done().
    bool wait(const std::function<bool()>& done, int timeoutMs);
    // Lock held: waits for an operation (unreferenced here); true when it
    // completed and *success (set by the operation's callback) is true.
    bool finish(pa_operation* op, int timeoutMs);
    // Loop thread (in callbacks), or any thread with the Lock held: wakes
    // every wait().
    void signal();
    // Lock held: applies a change this process made to the server (after it
    // succeeded) to the state, without telling the listener (the mixer
    // service notifies its own changes).
    void applyOwnChange(const std::function<void(PulseState&)>& change);

    // Maps a libpulse error to a result code: the one place this backend does.
    static MMRESULT result(int paError);

    // The callback of a success operation: stores success and wakes wait().
    static void successCallback(pa_context*, int success, void* flag);
    static void streamSuccessCallback(pa_stream*, int success, void* flag);

private:
    PulseConnection();
    ~PulseConnection() = delete; // lives until the process ends

    void startContext();           // loop thread or lock held
    void onContextState();         // loop thread
    void refresh();                // loop thread: fetch the whole state
    void finishRefresh();          // loop thread
    void publish(PulseState next); // loop thread
    void scheduleReconnect();      // loop thread
    void notifierRun();            // notifier thread
    static PulseChanges diff(const PulseState& before, const PulseState& after);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;  // lock held
    bool connecting_ = false;        // lock held
    bool known_ = false;             // lock held: the state of this connection has been fetched
    pa_time_event* retry_ = nullptr; // lock held

    // A refresh in flight collects here (loop thread only).
    int refreshPending_ = 0;    // outstanding introspection replies
    bool refreshAgain_ = false; // an event came while refreshing
    PulseState building_;

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::shared_ptr<const PulseState> state_;    // guarded by mutex_
    std::shared_ptr<const PulseState> notified_; // guarded by mutex_: what the listener last heard
    Listener listener_;                          // guarded by mutex_
    bool changed_ = false;                       // guarded by mutex_
    std::thread notifier_;
};
