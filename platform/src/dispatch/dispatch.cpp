#include "plat/dispatch.h"
#include "plat/core.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace plat {

namespace {

using std::chrono::nanoseconds;
using SteadyTime = std::chrono::steady_clock::time_point;

const std::thread::id gMainThreadId = std::this_thread::get_id();

std::shared_ptr<Clock>& clockOwner() {
    static auto* owner = new std::shared_ptr<Clock>(std::make_shared<RealClock>());
    return *owner;
}
std::atomic<Clock*>& clockPointer() {
    static std::atomic<Clock*> ptr{clockOwner().get()};
    return ptr;
}

// Run loops that ManualClock::advance must wake.
std::mutex gLoopsMutex;
std::vector<std::function<void()>*>& loopWakers() {
    static auto* wakers = new std::vector<std::function<void()>*>;
    return *wakers;
}

void wakeAllLoops();

} // namespace

std::chrono::nanoseconds RealClock::now() const {
    return std::chrono::duration_cast<nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

std::chrono::nanoseconds ManualClock::now() const {
    return nanoseconds(now_.load());
}

void ManualClock::advance(std::chrono::nanoseconds dt) {
    now_.fetch_add(dt.count());
    wakeAllLoops();
}

void ManualClock::advance(double seconds) {
    advance(nanoseconds(std::llround(seconds * 1e9)));
}

Clock& currentClock() {
    return *clockPointer().load();
}

void setClock(std::shared_ptr<Clock> clock) {
    if (!clock) clock = std::make_shared<RealClock>();
    // Earlier clocks stay alive: a loop on another thread may still be reading one.
    static auto* retired = new std::vector<std::shared_ptr<Clock>>;
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    retired->push_back(clockOwner());
    clockOwner() = clock;
    clockPointer().store(clock.get());
    wakeAllLoops();
}

bool isMainThread() {
    return std::this_thread::get_id() == gMainThreadId;
}

// ---------------------------------------------------------------------------------------------
// Timer

struct Timer::State {
    std::mutex m;
    Block block;
    std::atomic<bool> valid{true};
    bool firing = false;
    bool repeats = false;
    std::int64_t interval = 0;
    std::int64_t start = 0;
    std::atomic<std::int64_t> next{0};
};

Timer::Timer(Private, std::int64_t intervalNs, bool repeats, Block block) : s_(std::make_unique<State>()) {
    s_->interval = intervalNs;
    s_->repeats = repeats;
    s_->block = std::move(block);
    s_->start = currentClock().now().count();
    s_->next = s_->start + intervalNs;
}

Timer::~Timer() = default;

std::shared_ptr<Timer> Timer::scheduled(double intervalSeconds, bool repeats, Block block) {
    constexpr std::int64_t kMinimum = 100'000; // 0.1 ms
    std::int64_t ns = kMinimum;
    if (intervalSeconds > 0 && std::isfinite(intervalSeconds))
        ns = std::max<std::int64_t>(kMinimum, std::llround(std::min(intervalSeconds, 1e9) * 1e9));
    auto timer = std::make_shared<Timer>(Private{}, ns, repeats, std::move(block));
    RunLoop::current().add(timer);
    return timer;
}

void Timer::invalidate() {
    Block released; // destroyed after the lock is gone: it may own the timer's owner
    {
        std::lock_guard<std::mutex> lock(s_->m);
        s_->valid = false;
        if (!s_->firing) released = std::move(s_->block);
    }
}

bool Timer::isValid() const {
    return s_->valid;
}

double Timer::timeInterval() const {
    return double(s_->interval) * 1e-9;
}

std::int64_t Timer::nextFire() const {
    return s_->next;
}

bool Timer::fire(std::int64_t nowNs) {
    {
        std::lock_guard<std::mutex> lock(s_->m);
        if (!s_->valid || !s_->block) return false;
        s_->firing = true;
    }
    s_->block(*this);
    Block released;
    {
        std::lock_guard<std::mutex> lock(s_->m);
        s_->firing = false;
        if (!s_->repeats) s_->valid = false;
        if (!s_->valid) released = std::move(s_->block);
    }
    if (!s_->valid) return false;
    // Next point of the original grid strictly after now: missed fires collapse into one.
    const std::int64_t k = (nowNs - s_->start) / s_->interval + 1;
    s_->next = s_->start + std::max<std::int64_t>(k, 1) * s_->interval;
    return true;
}

// ---------------------------------------------------------------------------------------------
// RunLoop

struct RunLoop::Impl {
    mutable std::mutex m;
    std::condition_variable cv;
    std::deque<std::function<void()>> work;
    std::vector<std::shared_ptr<Timer>> timers;
    std::atomic<bool> stopRequested{false};
    // Set by every wake: the host's own poll may take the wake-up meant for its next wait (GLib's
    // does), so a loop that was woken looks again instead of waiting.
    std::atomic<bool> woken{false};
    std::atomic<RunLoopHost*> host{nullptr};
    std::shared_ptr<RunLoopHost> hostOwner;
    std::function<void()> waker;

    void notify() {
        woken.store(true);
        cv.notify_all();
        if (auto* h = host.load(std::memory_order_acquire)) h->wake();
    }
};

namespace {
void wakeAllLoops() {
    std::lock_guard<std::mutex> lock(gLoopsMutex);
    for (auto* w : loopWakers()) (*w)();
}
} // namespace

RunLoop::RunLoop() : impl_(std::make_unique<Impl>()) {
    impl_->waker = [impl = impl_.get()] { impl->notify(); };
    std::lock_guard<std::mutex> lock(gLoopsMutex);
    loopWakers().push_back(&impl_->waker);
}

RunLoop::~RunLoop() {
    std::lock_guard<std::mutex> lock(gLoopsMutex);
    std::erase(loopWakers(), &impl_->waker);
}

void RunLoop::setHost(std::shared_ptr<RunLoopHost> host) {
    if (!host || impl_->host.load()) return;
    std::lock_guard<std::mutex> lock(impl_->m);
    impl_->hostOwner = host;
    impl_->host.store(host.get(), std::memory_order_release);
}

RunLoop& RunLoop::main() {
    // Lives for the whole process: other threads post to it at any time, also during exit.
    static RunLoop* loop = new RunLoop;
    return *loop;
}

RunLoop& RunLoop::current() {
    if (isMainThread()) return main();
    thread_local std::unique_ptr<RunLoop> loop(new RunLoop);
    return *loop;
}

void RunLoop::perform(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->work.push_back(std::move(fn));
    }
    impl_->notify();
}

void RunLoop::add(std::shared_ptr<Timer> timer) {
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->timers.push_back(std::move(timer));
    }
    impl_->notify();
}

std::size_t RunLoop::scheduledTimerCount() const {
    std::lock_guard<std::mutex> lock(impl_->m);
    return std::size_t(std::count_if(impl_->timers.begin(), impl_->timers.end(),
                                     [](const auto& t) { return t->isValid(); }));
}

bool RunLoop::serveOnce(bool wait, SteadyTime deadline) {
    RunLoopHost* host = impl_->host.load(std::memory_order_acquire);
    if (host != nullptr) host->poll();
    std::unique_lock<std::mutex> lock(impl_->m);
    if (!impl_->work.empty()) {
        auto fn = std::move(impl_->work.front());
        impl_->work.pop_front();
        lock.unlock();
        fn();
        return true;
    }
    std::erase_if(impl_->timers, [](const auto& t) { return !t->isValid(); });
    const std::int64_t now = currentClock().now().count();
    std::shared_ptr<Timer> due;
    std::int64_t earliest = INT64_MAX;
    for (const auto& t : impl_->timers) {
        const std::int64_t n = t->nextFire();
        if (n < earliest) {
            earliest = n;
            due = t;
        }
    }
    if (due && earliest <= now) {
        lock.unlock();
        if (!due->fire(now)) due->invalidate();
        return true;
    }
    if (!wait) return false;
    SteadyTime wakeAt = deadline;
    if (due) {
        const auto untilTimer = nanoseconds(earliest - now);
        wakeAt = std::min(wakeAt, std::chrono::steady_clock::now() + untilTimer);
    }
    if (host != nullptr) {
        lock.unlock();
        if (!impl_->woken.exchange(false)) host->wait(wakeAt);
        return false;
    }
    impl_->cv.wait_until(lock, wakeAt);
    return false;
}

void RunLoop::run() {
    impl_->stopRequested = false;
    const auto farAway = std::chrono::steady_clock::now() + std::chrono::hours(24 * 365);
    while (!impl_->stopRequested) serveOnce(true, farAway);
}

void RunLoop::runFor(std::chrono::nanoseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) serveOnce(true, deadline);
}

bool RunLoop::runUntil(const std::function<bool()>& pred, std::chrono::nanoseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return pred();
        // The condition may change on another thread without posting here: look again soon.
        serveOnce(true, std::min(deadline, now + std::chrono::milliseconds(2)));
    }
    return true;
}

std::size_t RunLoop::drain() {
    // Bounded so a work item that re-posts itself forever cannot hang a test.
    constexpr std::size_t kLimit = 1'000'000;
    std::size_t served = 0;
    while (served < kLimit && serveOnce(false, {})) ++served;
    return served;
}

void RunLoop::stop() {
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->stopRequested = true;
    }
    impl_->notify();
}

// ---------------------------------------------------------------------------------------------
// Queues

void MainQueue::async(std::function<void()> fn) {
    RunLoop::main().perform(std::move(fn));
}

namespace {

class WorkerPool {
public:
    explicit WorkerPool(unsigned count) {
        for (unsigned i = 0; i < count; ++i) startThread([this] { serve(); }).detach();
    }
    void post(std::function<void()> fn) {
        {
            std::lock_guard<std::mutex> lock(m_);
            work_.push_back(std::move(fn));
        }
        cv_.notify_one();
    }

private:
    void serve() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [this] { return !work_.empty(); });
                fn = std::move(work_.front());
                work_.pop_front();
            }
            fn();
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> work_;
};

} // namespace

void GlobalQueue::async(std::function<void()> fn) {
    if (!fn) return;
    // Never destroyed: its threads may still be working while the process exits.
    static WorkerPool* pool = new WorkerPool(std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
    pool->post(std::move(fn));
}

struct SerialQueue::Impl {
    std::string label;
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::function<void()>> work;
    bool closing = false;
    std::thread thread;
    std::thread::id threadId;

    void serve() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m);
                cv.wait(lock, [this] { return closing || !work.empty(); });
                if (work.empty()) return;
                fn = std::move(work.front());
                work.pop_front();
            }
            fn();
        }
    }
};

SerialQueue::SerialQueue(std::string label) : impl_(std::make_shared<Impl>()) {
    impl_->label = std::move(label);
    impl_->thread = startThread([impl = impl_] { impl->serve(); });
    impl_->threadId = impl_->thread.get_id();
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->closing = true;
    }
    impl_->cv.notify_all();
    if (impl_->thread.get_id() == std::this_thread::get_id())
        impl_->thread.detach(); // destroyed by its own work: nothing is left to wait for
    else
        impl_->thread.join();
}

const std::string& SerialQueue::label() const {
    return impl_->label;
}

void SerialQueue::async(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->work.push_back(std::move(fn));
    }
    impl_->cv.notify_one();
}

void SerialQueue::sync(const std::function<void()>& fn) {
    if (!fn) return;
    if (std::this_thread::get_id() == impl_->threadId) {
        fn();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        fn();
        done.set_value();
    });
    finished.wait();
}

} // namespace plat
