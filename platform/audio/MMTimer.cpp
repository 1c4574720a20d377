#include "platform/audio/MMTimer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPeriodMin = 1;
constexpr uint32_t kPeriodMax = 1000000;
constexpr int kMaxCatchUp = 10;

// One timer: its thread waits for absolute deadlines or for being killed.
struct Timer {
    uint32_t id = 0;
    uint32_t delay = 0;
    bool periodic = false;
    TimerCallback callback;
    std::mutex mutex;
    std::condition_variable cv;
    bool killed = false; // guarded by mutex
    std::thread thread;

    void run(std::shared_ptr<Timer> self) {
        const auto interval = std::chrono::milliseconds(delay);
        auto deadline = Clock::now() + interval;
        std::unique_lock lock(mutex);
        for (;;) {
            if (cv.wait_until(lock, deadline, [this] { return killed; }))
                return;
            lock.unlock();
            callback(id);
            lock.lock();
            if (!periodic || killed)
                return;
            deadline += interval;
            const auto now = Clock::now();
            if (now - deadline > interval * kMaxCatchUp)
                deadline = now; // too far behind: skip the older ticks
        }
        (void)self;
    }
};

std::mutex g_mutex;
// Guarded by g_mutex. Never destroyed: a timer still running at exit must not
// take the process down with a joinable thread in a static destructor.
auto& g_timers = *new std::map<uint32_t, std::shared_ptr<Timer>>;
uint32_t g_nextId = 1;
std::map<uint32_t, uint32_t> g_periods; // period -> times begun

} // namespace

MMRESULT timeGetDevCaps(TIMECAPS* caps, uint32_t size) {
    if (!caps || size < sizeof(TIMECAPS))
        return TIMERR_NOCANDO;
    caps->wPeriodMin = kPeriodMin;
    caps->wPeriodMax = kPeriodMax;
    return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(uint32_t period) {
    if (period < kPeriodMin || period > kPeriodMax)
        return TIMERR_NOCANDO;
    std::lock_guard lock(g_mutex);
    ++g_periods[period];
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(uint32_t period) {
    std::lock_guard lock(g_mutex);
    auto it = g_periods.find(period);
    if (it == g_periods.end())
        return TIMERR_NOCANDO;
    if (--it->second == 0)
        g_periods.erase(it);
    return TIMERR_NOERROR;
}

uint32_t timeHeldPeriods() {
    std::lock_guard lock(g_mutex);
    uint32_t n = 0;
    for (auto& [period, count] : g_periods)
        n += count;
    return n;
}

uint32_t timeSetEvent(uint32_t delay, uint32_t /*resolution*/, TimerCallback callback,
                      uint32_t flags) {
    if (delay == 0 || delay > kPeriodMax || !callback)
        return 0;
    auto timer = std::make_shared<Timer>();
    timer->delay = delay;
    timer->periodic = (flags & TIME_PERIODIC) != 0;
    timer->callback = std::move(callback);
    std::lock_guard lock(g_mutex);
    do {
        timer->id = g_nextId++;
    } while (timer->id == 0 || g_timers.count(timer->id));
    try {
        // The thread holds its own reference: killing from inside the
        // callback detaches it, and it then ends without touching freed state.
        timer->thread = std::thread(&Timer::run, timer.get(), timer);
    } catch (...) {
        return 0;
    }
    g_timers[timer->id] = timer;
    return timer->id;
}

MMRESULT timeKillEvent(uint32_t timerId) {
    std::shared_ptr<Timer> timer;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_timers.find(timerId);
        if (it == g_timers.end())
            return MMR_INVALPARAM;
        timer = it->second;
        g_timers.erase(it);
    }
    {
        std::lock_guard lock(timer->mutex);
        timer->killed = true;
    }
    timer->cv.notify_all();
    if (timer->thread.get_id() == std::this_thread::get_id())
        timer->thread.detach(); // killed by its own callback: it returns right after
    else
        timer->thread.join();
    return MMR_NOERROR;
}
