#include "app/window_dispatcher.h"

#include <QCoreApplication>
#include <QEvent>

namespace qelvanto {
namespace {
thread_local std::shared_ptr<CallGate> thread_gate;
}  // namespace

class WindowDispatcher::Receiver : public QObject {
public:
    explicit Receiver(WindowDispatcher& dispatcher) : dispatcher_(dispatcher) {}

    bool event(QEvent* event) override {
        // Only wake-ups are sent here; the event itself carries nothing.
        dispatcher_.RunJobs();
        return QObject::event(event);
    }

private:
    WindowDispatcher& dispatcher_;
};

WindowDispatcher::WindowDispatcher()
    : window_thread_(QThread::currentThread()), receiver_(std::make_unique<Receiver>(*this)) {}

WindowDispatcher::~WindowDispatcher() { Close(); }

void WindowDispatcher::Close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->closed) return;
        shared_->closed = true;
        dropped.swap(shared_->jobs);
    }
    shared_->finished.notify_all();
    // No thread sends once `closed` is set, so the receiver can go, and its wake-ups with it.
    receiver_.reset();
    dropped.clear();  // the jobs that never ran, released here on the window thread
}

bool WindowDispatcher::Closed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->closed;
}

bool WindowDispatcher::Send(std::function<void()> job) {
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed) return false;
    shared_->jobs.push_back(std::move(job));
    if (!shared_->wake_sent) {
        shared_->wake_sent = true;
        // Posting only queues an event; Qt calls none of our code while it does, so holding our
        // lock here cannot deadlock, and it keeps Close from deleting the receiver meanwhile.
        QCoreApplication::postEvent(receiver_.get(), new QEvent(QEvent::User));
    }
    return true;
}

void WindowDispatcher::RunJobs() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->wake_sent = false;  // this wake-up has arrived
    }
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->closed || shared_->jobs.empty()) return;
            job = std::move(shared_->jobs.front());
            shared_->jobs.pop_front();
            // Should the job turn the event loop, the jobs behind it still get served there.
            if (!shared_->jobs.empty() && !shared_->wake_sent) {
                shared_->wake_sent = true;
                QCoreApplication::postEvent(receiver_.get(), new QEvent(QEvent::User));
            }
        }
        job();
    }
}

void WindowDispatcher::SetThreadGate(std::shared_ptr<CallGate> gate) { thread_gate = std::move(gate); }

std::shared_ptr<CallGate> WindowDispatcher::ThreadGate() { return thread_gate; }

}  // namespace qelvanto
