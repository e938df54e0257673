#pragma once

// Carries work from any thread to the window thread. Every operation a worker thread performs
// on the window passes through here, so that what governs such calls (holding them while a run
// is paused, dropping them once their run is stopped) has exactly one place to live.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

#include <QObject>
#include <QThread>

namespace qelvanto {

// What a run may impose on the calls made by its worker thread. A worker installs the gate of
// its run with WindowDispatcher::SetThreadGate; calls from a thread without a gate always pass.
class CallGate {
public:
    virtual ~CallGate() = default;
    // Asked on the calling thread before a call is sent. May block (a paused run waits here);
    // false drops the call, which then returns an empty value.
    virtual bool Admit() = 0;
    // Asked on the window thread just before the call runs; false drops it. Because the window
    // thread decides here, nothing of a run can happen after the window thread has stopped it.
    virtual bool Live() = 0;
};

class WindowDispatcher {
public:
    // Must be created on the window thread; the calls it carries run on that thread. It may be
    // destroyed on any thread once it has been closed.
    WindowDispatcher();
    ~WindowDispatcher();
    WindowDispatcher(const WindowDispatcher&) = delete;
    WindowDispatcher& operator=(const WindowDispatcher&) = delete;

    // Ends the dispatcher for good: waiting callers return at once with empty values, later calls
    // do nothing, and calls already posted are discarded. Window thread only; the destructor does it.
    void Close();
    bool Closed() const;

    bool OnWindowThread() const { return QThread::currentThread() == window_thread_; }

    // Runs `fn` on the window thread and returns its result; on the window thread itself it runs
    // at once. Returns R{} when the dispatcher is closed or the calling thread's gate drops it.
    template <class F, class R = std::invoke_result_t<F&>>
    R Call(F fn);

    // Runs `fn` on the window thread without waiting for it; calls from one thread keep their order,
    // also relative to Call. On the window thread it runs at once.
    template <class F>
    void Post(F fn);

    // The gate of the calling thread's run (empty for none). Each thread has its own.
    static void SetThreadGate(std::shared_ptr<CallGate> gate);
    static std::shared_ptr<CallGate> ThreadGate();

    // Calls from other threads posted and not yet finished or abandoned.
    std::size_t CallsInFlight() const { return shared_->in_flight.load(); }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable finished;
        bool closed = false;
        std::atomic<std::size_t> in_flight{0};
        // Jobs of other threads in the order they were sent, and whether the window thread has
        // been woken for them.
        std::deque<std::function<void()>> jobs;
        bool wake_sent = false;
    };
    class Receiver;

    // Queues `job` for the window thread and wakes it. False when closed.
    bool Send(std::function<void()> job);
    // Runs the queued jobs on the window thread, one at a time and in order.
    void RunJobs();

    QThread* const window_thread_;
    const std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    // Woken by an event whenever jobs arrive; the jobs themselves travel in our own queue, so they
    // are created on the sending thread and run and destroyed on the window thread, and the order
    // of calls and posts of one thread is kept.
    std::unique_ptr<Receiver> receiver_;
};

template <class F, class R>
R WindowDispatcher::Call(F fn) {
    if (Closed()) return R();
    std::shared_ptr<CallGate> gate = ThreadGate();
    if (OnWindowThread()) {
        if (gate && !gate->Live()) return R();
        return fn();
    }
    if (gate && !gate->Admit()) return R();

    // The result lives in shared state: the window thread may finish the job after the caller
    // gave up waiting (closed), so it must never write into the caller's stack.
    struct Pending {
        std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> result{};
        bool done = false;
    };
    auto pending = std::make_shared<Pending>();
    auto shared = shared_;
    shared->in_flight.fetch_add(1);
    const bool sent = Send([shared, pending, gate, fn = std::move(fn)]() mutable {
        if constexpr (std::is_void_v<R>) {
            if (!gate || gate->Live()) fn();
        } else {
            if (!gate || gate->Live()) {
                R value = fn();
                std::lock_guard lock(shared->mutex);
                pending->result.emplace(std::move(value));
            }
        }
        {
            std::lock_guard lock(shared->mutex);
            pending->done = true;
        }
        shared->finished.notify_all();
    });
    if (sent) {
        std::unique_lock lock(shared->mutex);
        shared->finished.wait(lock, [&] { return pending->done || shared->closed; });
    }
    shared->in_flight.fetch_sub(1);
    if constexpr (!std::is_void_v<R>) {
        std::lock_guard lock(shared->mutex);
        if (pending->result) return std::move(*pending->result);
        return R();
    }
}

template <class F>
void WindowDispatcher::Post(F fn) {
    if (Closed()) return;
    std::shared_ptr<CallGate> gate = ThreadGate();
    if (OnWindowThread()) {
        if (!gate || gate->Live()) fn();
        return;
    }
    if (gate && !gate->Admit()) return;
    Send([gate, fn = std::move(fn)]() mutable {
        if (!gate || gate->Live()) fn();
    });
}

}  // namespace qelvanto
