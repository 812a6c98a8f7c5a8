#pragma once
// Run loops, timers and dispatch queues.
//
// Every thread has one run loop, made on first use. The loop serves work items posted to it
// and the timers scheduled on it, only while its thread runs it (run, runFor, runUntil, drain).
// Timers read an injectable clock, so tests can step time exactly; the wall-clock limits of
// runFor/runUntil only bound how long a thread waits for work.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace plat {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time since an arbitrary origin.
    virtual std::chrono::nanoseconds now() const = 0;
};

class RealClock final : public Clock {
public:
    std::chrono::nanoseconds now() const override;
};

// Moves only when told to; advancing it wakes every run loop so due timers fire.
class ManualClock final : public Clock {
public:
    std::chrono::nanoseconds now() const override;
    void advance(std::chrono::nanoseconds dt);
    void advance(double seconds);

private:
    std::atomic<std::int64_t> now_{0};
};

// The clock every run loop's timers read. Replace it only while no timer is scheduled.
Clock& currentClock();
void setClock(std::shared_ptr<Clock> clock); // nullptr restores the real clock

bool isMainThread();

class Timer;

// Another event loop that a run loop turns while it waits (a toolkit's main loop). With one
// installed, the run loop serves its own work and timers and lets the host dispatch its events in
// between, so both make one loop on one thread.
class RunLoopHost {
public:
    virtual ~RunLoopHost() = default;
    // Any thread: work was queued or the clock moved; a waiting host stops waiting.
    virtual void wake() = 0;
    // The loop's thread: dispatch what is ready without waiting.
    virtual void poll() = 0;
    // The loop's thread: wait for events until `until` (or a wake) and dispatch them.
    virtual void wait(std::chrono::steady_clock::time_point until) = 0;
};

class RunLoop {
public:
    // The calling thread's loop.
    static RunLoop& current();
    // The loop of the process's main thread (the thread that loaded this library).
    static RunLoop& main();

    // Queues fn to run on this loop's thread, after everything queued before it. Any thread.
    void perform(std::function<void()> fn);

    // Serve work and timers until stop(). Call on the loop's own thread only.
    void run();
    // Serve for the given wall-clock time.
    void runFor(std::chrono::nanoseconds duration);
    // Serve until pred() is true (checked after each piece of work, and every few milliseconds while
    // idle) or the wall-clock timeout passes.
    // Returns pred()'s last answer.
    bool runUntil(const std::function<bool()>& pred, std::chrono::nanoseconds timeout);
    // Runs everything ready now (queued work, due timers, and what those add) without waiting.
    // Returns the number of work items and timer fires served.
    std::size_t drain();
    // Makes run() return; any thread.
    void stop();

    std::size_t scheduledTimerCount() const;

    // Installs the host for good (it is never removed: other threads may be waking it). Call on
    // the loop's own thread.
    void setHost(std::shared_ptr<RunLoopHost> host);

    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;
    ~RunLoop();

private:
    friend class Timer;
    RunLoop();
    struct Impl;
    std::unique_ptr<Impl> impl_;
    void add(std::shared_ptr<Timer> timer);
    bool serveOnce(bool wait, std::chrono::steady_clock::time_point deadline);
};

// A timer on the run loop of the thread that scheduled it. The loop holds the timer while it is
// valid; the timer holds its block until it is invalidated (or, when invalidated from inside the
// block, until the block returns).
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    // First fire one interval after scheduling; missed fires are coalesced onto the original grid.
    // An interval <= 0 becomes 0.1 ms.
    static std::shared_ptr<Timer> scheduled(double intervalSeconds, bool repeats, Block block);

    void invalidate();
    bool isValid() const;
    double timeInterval() const;

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

private:
    friend class RunLoop;
    struct Private {};

public:
    Timer(Private, std::int64_t intervalNs, bool repeats, Block block);

private:
    struct State;
    std::unique_ptr<State> s_;
    // Runs the block if still valid; returns whether the timer stays scheduled.
    bool fire(std::int64_t nowNs);
    std::int64_t nextFire() const;
};

// Work for the main thread: FIFO, never run inline, served while the main loop runs.
struct MainQueue {
    static void async(std::function<void()> fn);
};

// Concurrent background work on a small pool of threads that live as long as the process.
struct GlobalQueue {
    static void async(std::function<void()> fn);
};

// One work item at a time, in order, on a thread of its own.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // Finishes the work already queued, then ends the thread.
    ~SerialQueue();

    const std::string& label() const;
    void async(std::function<void()> fn);
    // Runs fn on the queue and waits for it. Called from the queue's own work, it runs at once
    // (it is serial with itself already) instead of deadlocking.
    void sync(const std::function<void()>& fn);

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_; // shared with the thread, which may outlive a self-destroying queue
};

} // namespace plat
