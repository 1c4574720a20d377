// unaThread: an object that owns one operating-system thread at a time,
// with cooperative stop, start and stop time-outs, a priority, overridable
// hooks, and the process-wide ThreadRegistry of live thread objects.
//
// Life of a run:
//   start(timeout): under the object's gate, status becomes "starting", a new
//     thread is created and start waits up to timeout ms for it to report
//     "running". The new thread sets its priority, calls onThreadStart, sets
//     status "running", signals startedEvent and calls execute().
//   execute() polls shouldStop() and returns; an exception escaping it ends
//     the run with exit code -1. The thread then sets status "stopped", calls
//     onThreadEnd and signals stoppedEvent.
//   stop(timeout, force) raises shouldStop and calls onStopRequested, so a
//     thread that waits for work without a time-out is woken. Called on the
//     thread itself it does nothing more (and reports false: the thread is still running).
//     From any other thread it first runs the message-pump hook (see below),
//     then enters the object's gate (timeout) and waits (timeout again) for
//     the run to end. A timeout of 0 only raises the flag.
//
// Threads are never cancelled and never left to run unsupervised:
//  - The object joins the thread of a run when stop sees it end, before the
//    next start, and in its destructor.
//  - A thread that begins only after start has given up waiting finds its
//    run abandoned (start reported false and status "stopped") and ends at
//    once without touching the object; it never runs execute, so a later
//    start cannot produce two threads running the same object. The registry
//    keeps such threads and joins them (at the latest when the process ends).
//  - A run whose object is destroyed from inside execute or onThreadEnd is
//    handed to the registry the same way; on return the thread sees that
//    its registry slot no longer holds its object and ends without touching
//    it.
//
// Subclasses that override execute (or any other hook) must call stop() in
// their own destructor: when ~unaThread runs, the subclass part is already
// gone. The base destructor stops runs driven by onExecute.
//
// Message-pump hook: before it waits, stop() from another thread lets the
// calling thread handle its pending window messages, so that a thread which
// posts to the main window and a main thread that waits for it cannot block
// each other. The user-interface layer installs the hook once at start-up
// (setMessagePumpHook); by default nothing is run.
//
// Threads: start, stop, setPriority, enter/leave and the observers may be
// called from any thread; the hooks run on the object's own thread.
#pragma once

#include "core/unaEvent.h"
#include "core/unaGate.h"
#include "core/unaKernel.h"
#include "core/unaObject.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class unaThread : public unaObject {
public:
    // Status values.
    enum : int32_t {
        unatsStopped = 0,
        unatsRunning = 2,
        unatsStarting = 3,
    };

    using MessagePumpHook = void (*)();

    explicit unaThread(int32_t priority = THREAD_PRIORITY_NORMAL);
    ~unaThread() override;

    // True when the thread is starting or running afterwards, or when this
    // call began a run that has already ended (a short body).
    bool start(uint32_t timeout = 10000);
    // True when the thread is stopped afterwards.
    bool stop(uint32_t timeout = INFINITE_TIMEOUT, bool force = false);

    void setPriority(int32_t value);
    int32_t priority() const { return priority_.load(std::memory_order_relaxed); }

    int32_t status() const { return status_.load(std::memory_order_acquire); }
    bool shouldStop() const { return shouldStop_.load(std::memory_order_acquire); }
    // Kernel id of the thread of the current (or last) run; 0 before the
    // first run.
    uint32_t threadId() const { return threadId_.load(std::memory_order_acquire); }
    int32_t registryIndex() const { return registryIndex_; }
    // Result of the last execute() (-1 when it threw).
    int32_t exitCode() const { return exitCode_.load(std::memory_order_acquire); }

    // The object's own gate: start and stop run under it; subclasses enter it
    // around steps that must not overlap a start or stop.
    bool enter(uint32_t timeout = INFINITE_TIMEOUT) { return gate_.enter(timeout); }
    void leave() { gate_.leave(); }

    // Auto-reset events signalled when a run reports running / has ended.
    unaEvent& startedEvent() { return startedEvent_; }
    unaEvent& stoppedEvent() { return stoppedEvent_; }

    // Called by the base execute with the object as sender; its result is the
    // run's exit code. Set it before start.
    std::function<int32_t(unaThread*)> onExecute;

    // Installs the hook stop() runs before waiting (nullptr: none). Set once
    // by the user-interface layer, before threads are stopped.
    static void setMessagePumpHook(MessagePumpHook hook);

    // Number of thread routines that have begun and not yet returned, over
    // all objects (abandoned ones included). For diagnostics and tests.
    static int32_t activeRoutines();

protected:
    // Slot 1: the body. The base calls onExecute, or returns 0 without one.
    virtual int32_t execute();
    // Slot 2: asked by start; the base agrees.
    virtual bool canStart() { return true; }
    // Slot 3: asked by a stop that is not forced; the base agrees.
    virtual bool canStop() { return true; }
    // Slot 4: on the new thread, before it is marked running.
    virtual void onThreadStart() {}
    // Slot 5: on the thread, after execute returned and status is stopped.
    virtual void onThreadEnd() {}
    // On the stopping thread (any thread), right after shouldStop was raised:
    // wakes whatever the body waits on. The base does nothing.
    virtual void onStopRequested() {}

private:
    struct Run;
    friend class ThreadRegistry;

    static void routine(std::shared_ptr<Run> run);
    bool onOwnThread() const;
    bool waitRunEnd(const std::shared_ptr<Run>& run, uint32_t timeout);
    void releaseThread();

    // Set to starting by start (under gate_), to running by the run's
    // thread, to stopped by the run's thread or by stop; read by anyone.
    std::atomic<int32_t> status_{unatsStopped};
    std::atomic<int32_t> priority_;       // any thread; applied by the run's thread
    int32_t registryIndex_ = -1;          // fixed at construction
    std::atomic<bool> shouldStop_{false}; // raised by stop, cleared by start
    unaEvent startedEvent_{false, false}; // set by the run's thread
    unaEvent stoppedEvent_{false, false}; // set by the run's thread at its end
    unaInProcessGate gate_;
    // Thread and control block of the current run; changed under gate_.
    std::thread thread_;
    std::shared_ptr<Run> run_;
    std::atomic<uint32_t> threadId_{0}; // written by the run's thread
    // Written by the run's thread before status becomes stopped.
    std::atomic<int32_t> exitCode_{0};
};

// The process-wide registry of live thread objects: a locking, non-owning
// unaList. A new object takes the first empty slot (or a new one at the
// end); its destructor empties the slot. A finishing thread learns from its
// slot whether its object still exists. The registry also keeps the threads
// that no object can join any more (see unaThread) and joins them; those
// still running when the process ends are joined then.
class ThreadRegistry {
public:
    // Null once the registry has been torn down at process exit.
    static ThreadRegistry* instance();

    // Number of registered (live) thread objects.
    uint32_t liveObjects();
    // True when slot index holds exactly thread.
    bool holds(int32_t index, const unaThread* thread);

private:
    friend class unaThread;
    ThreadRegistry();
    ~ThreadRegistry();

    int32_t add(unaThread* thread);
    void remove(int32_t index, unaThread* thread);
    // Takes over a thread its object can no longer join.
    void adopt(std::thread thread, std::shared_ptr<unaThread::Run> run);
    // Joins adopted threads whose routine has returned.
    void reapFinished();

    struct Impl;
    Impl* impl_;
};
