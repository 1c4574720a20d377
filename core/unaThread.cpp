#include "core/unaThread.h"

#include "core/unaList.h"

#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace {

enum : int { kLaunching = 0, kClaimed = 1, kAbandoned = 2 };

std::atomic<unaThread::MessagePumpHook> gPumpHook{nullptr};
std::atomic<int32_t> gActiveRoutines{0};
std::atomic<bool> gRegistryAlive{false};

} // namespace

// Control block of one run, shared by the object and the run's thread. The
// thread reaches its object only through owner, and only after it has
// claimed the run and while the run is not orphaned.
struct unaThread::Run {
    Run(unaThread* o, int32_t index) : owner(o), registryIndex(index) {}

    unaThread* const owner;
    const int32_t registryIndex;
    unaEvent handleReady{false, false};
    // kLaunching until the thread claims the run or start abandons it.
    std::atomic<int> claim{kLaunching};
    // The object is gone (destroyed from its own thread) or has moved on to
    // another run: the thread must not touch it any more.
    std::atomic<bool> orphaned{false};
    // The thread has done everything it does with the object.
    std::atomic<bool> finished{false};
    // The routine is about to return.
    std::atomic<bool> exited{false};
};

// --- ThreadRegistry -------------------------------------------------------------

struct ThreadRegistry::Impl {
    unaList slots{false};
    std::mutex adoptedLock;
    std::vector<std::pair<std::thread, std::shared_ptr<unaThread::Run>>> adopted;
};

ThreadRegistry* ThreadRegistry::instance() {
    static ThreadRegistry registry;
    return gRegistryAlive.load(std::memory_order_acquire) ? &registry : nullptr;
}

ThreadRegistry::ThreadRegistry() : impl_(new Impl) {
    gRegistryAlive.store(true, std::memory_order_release);
}

ThreadRegistry::~ThreadRegistry() {
    gRegistryAlive.store(false, std::memory_order_release);
    // Threads no object can join any more end here at the latest.
    std::vector<std::pair<std::thread, std::shared_ptr<unaThread::Run>>> left;
    {
        std::lock_guard<std::mutex> g(impl_->adoptedLock);
        left.swap(impl_->adopted);
    }
    for (auto& entry : left)
        if (entry.first.joinable())
            entry.first.join();
    // impl_ stays allocated: threads of objects that were never destroyed may
    // still look at their slot while the process ends.
}

uint32_t ThreadRegistry::liveObjects() {
    unaList& slots = impl_->slots;
    uint32_t n = 0;
    slots.lock();
    for (uint32_t i = 0; i < slots.count(); ++i)
        if (slots.get(int32_t(i)))
            ++n;
    slots.unlock();
    return n;
}

bool ThreadRegistry::holds(int32_t index, const unaThread* thread) {
    unaList& slots = impl_->slots;
    slots.lock();
    const bool held = index >= 0 && uint32_t(index) < slots.count() && slots.get(index) == thread;
    slots.unlock();
    return held;
}

int32_t ThreadRegistry::add(unaThread* thread) {
    return impl_->slots.addOrReuse(thread);
}

void ThreadRegistry::remove(int32_t index, unaThread* thread) {
    unaList& slots = impl_->slots;
    slots.lock();
    if (index >= 0 && uint32_t(index) < slots.count() && slots.get(index) == thread)
        slots.setItem(index, nullptr);
    slots.unlock();
}

void ThreadRegistry::adopt(std::thread thread, std::shared_ptr<unaThread::Run> run) {
    std::lock_guard<std::mutex> g(impl_->adoptedLock);
    impl_->adopted.emplace_back(std::move(thread), std::move(run));
}

void ThreadRegistry::reapFinished() {
    std::vector<std::thread> done;
    {
        std::lock_guard<std::mutex> g(impl_->adoptedLock);
        auto& v = impl_->adopted;
        for (size_t i = 0; i < v.size();) {
            if (v[i].second->exited.load(std::memory_order_acquire)) {
                done.push_back(std::move(v[i].first));
                v[i] = std::move(v.back());
                v.pop_back();
            } else {
                ++i;
            }
        }
    }
    // Their routines have returned: joining takes no time.
    for (auto& t : done)
        if (t.joinable())
            t.join();
}

// --- unaThread ----------------------------------------------------------------------

unaThread::unaThread(int32_t priority) : priority_(priority) {
    if (ThreadRegistry* reg = ThreadRegistry::instance())
        registryIndex_ = reg->add(this);
}

unaThread::~unaThread() {
    stop(INFINITE_TIMEOUT, false);
    ThreadRegistry* reg = ThreadRegistry::instance();
    gate_.enter(INFINITE_TIMEOUT);
    if (reg)
        reg->remove(registryIndex_, this);
    releaseThread();
    gate_.leave();
    if (reg)
        reg->reapFinished();
}

void unaThread::setMessagePumpHook(MessagePumpHook hook) {
    gPumpHook.store(hook, std::memory_order_release);
}

int32_t unaThread::activeRoutines() {
    return gActiveRoutines.load(std::memory_order_acquire);
}

int32_t unaThread::execute() {
    return onExecute ? onExecute(this) : 0;
}

bool unaThread::onOwnThread() const {
    const uint32_t id = threadId();
    return id != 0 && id == currentThreadId();
}

// Joins the thread of the previous run, or hands it to the registry when the
// caller is that thread (the run then must not touch this object again).
// Caller holds gate_.
void unaThread::releaseThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            run_->orphaned.store(true, std::memory_order_release);
            if (ThreadRegistry* reg = ThreadRegistry::instance())
                reg->adopt(std::move(thread_), run_);
            else
                thread_.detach(); // process teardown: the run no longer touches us
        } else {
            thread_.join();
        }
    }
    run_.reset();
}

bool unaThread::start(uint32_t timeout) {
    bool launched = false; // this call began a run that reported in
    if (status() == unatsStopped && gate_.enter(timeout)) {
        if (status() == unatsStopped && canStart()) {
            releaseThread();
            if (ThreadRegistry* reg = ThreadRegistry::instance())
                reg->reapFinished();
            status_.store(unatsStarting, std::memory_order_release);
            startedEvent_.setState(false);
            stoppedEvent_.setState(false);
            shouldStop_.store(false, std::memory_order_release);
            threadId_.store(0, std::memory_order_release); // set by the new thread

            auto run = std::make_shared<Run>(this, registryIndex_);
            gActiveRoutines.fetch_add(1, std::memory_order_acq_rel);
            bool created = true;
            try {
                thread_ = std::thread(&unaThread::routine, run);
            } catch (const std::system_error&) {
                created = false;
                gActiveRoutines.fetch_sub(1, std::memory_order_acq_rel);
            }
            if (!created) {
                status_.store(unatsStopped, std::memory_order_release);
            } else {
                run_ = run;
                run->handleReady.setState(true);
                launched = true;
                if (!startedEvent_.waitFor(timeout)) {
                    int expected = kLaunching;
                    if (run->claim.compare_exchange_strong(expected, kAbandoned,
                                                           std::memory_order_acq_rel)) {
                        // The thread has not begun the run: it never will.
                        if (ThreadRegistry* reg = ThreadRegistry::instance())
                            reg->adopt(std::move(thread_), run);
                        else
                            thread_.join();
                        run_.reset();
                        status_.store(unatsStopped, std::memory_order_release);
                        launched = false;
                    }
                    // Otherwise the thread claimed the run meanwhile: it is
                    // starting and will report running on its own.
                }
            }
        }
        gate_.leave();
    }
    // A run that already ended (a short body) still counts as started.
    return launched || status() != unatsStopped;
}

bool unaThread::waitRunEnd(const std::shared_ptr<Run>& run, uint32_t timeout) {
    uint32_t remaining = timeout;
    for (;;) {
        if (run->finished.load(std::memory_order_acquire))
            return true;
        const uint32_t noted = tickCount();
        if (!stoppedEvent_.waitFor(remaining))
            return run->finished.load(std::memory_order_acquire);
        if (remaining != INFINITE_TIMEOUT) {
            const uint32_t elapsed = tickCount() - noted;
            if (elapsed >= remaining)
                return run->finished.load(std::memory_order_acquire);
            remaining -= elapsed;
        }
    }
}

bool unaThread::stop(uint32_t timeout, bool force) {
    const int32_t st = status();
    if ((st == unatsStarting || st == unatsRunning) && (force || canStop())) {
        shouldStop_.store(true, std::memory_order_release);
        onStopRequested();
        if (!onOwnThread()) {
            if (MessagePumpHook hook = gPumpHook.load(std::memory_order_acquire))
                hook();
            if (gate_.enter(timeout)) {
                if (timeout != 0) {
                    std::shared_ptr<Run> run = run_;
                    if (!run || waitRunEnd(run, timeout)) {
                        status_.store(unatsStopped, std::memory_order_release);
                        releaseThread();
                    }
                }
                gate_.leave();
            }
        }
    } else if (st == unatsStopped && timeout != 0 && !onOwnThread()) {
        // A run that ended by itself reports "stopped" before its onThreadEnd
        // has returned. Wait for that end and join the thread, so that once
        // stop reports stopped nothing of the run is still executing (a
        // subclass destructor relies on this).
        if (gate_.enter(timeout)) {
            std::shared_ptr<Run> run = run_;
            if (run && status() == unatsStopped && waitRunEnd(run, timeout))
                releaseThread();
            gate_.leave();
        }
    }
    return status() == unatsStopped;
}

void unaThread::setPriority(int32_t value) {
    if (value == priority())
        return;
    priority_.store(value, std::memory_order_relaxed);
    if (status() == unatsRunning)
        applyThreadPriority(threadId(), value); // refusal leaves it as it was
}

void unaThread::routine(std::shared_ptr<Run> run) {
    struct ExitMark {
        Run& run;
        ~ExitMark() {
            run.exited.store(true, std::memory_order_release);
            gActiveRoutines.fetch_sub(1, std::memory_order_acq_rel);
        }
    } exitMark{*run};

    run->handleReady.waitFor(500);
    int expected = kLaunching;
    if (!run->claim.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel))
        return; // start gave up on this run: the object is not ours to touch

    unaThread* self = run->owner;
    const uint32_t id = currentThreadId();
    self->threadId_.store(id, std::memory_order_release);
    applyThreadPriority(id, self->priority());

    bool ok = true;
    try {
        self->onThreadStart();
    } catch (...) {
        ok = false;
    }
    self->status_.store(unatsRunning, std::memory_order_release);
    self->startedEvent_.setState(true);

    int32_t result = -1;
    if (ok) {
        try {
            result = self->execute();
        } catch (...) {
            result = -1;
        }
    }

    // The object may have been destroyed by its own execute: the run is then
    // orphaned and its registry slot no longer holds the object. (Once the
    // registry itself is gone, at process exit, the orphan mark alone
    // decides, so that a late destructor waiting for this run still sees it
    // end.)
    ThreadRegistry* reg = ThreadRegistry::instance();
    if (run->orphaned.load(std::memory_order_acquire) ||
        (reg && !reg->holds(run->registryIndex, self)))
        return;

    self->exitCode_.store(result, std::memory_order_release);
    self->status_.store(unatsStopped, std::memory_order_release);
    try {
        self->onThreadEnd();
    } catch (...) {
    }
    if (run->orphaned.load(std::memory_order_acquire))
        return; // destroyed or restarted from onThreadEnd
    run->finished.store(true, std::memory_order_release);
    self->stoppedEvent_.setState(true);
}
