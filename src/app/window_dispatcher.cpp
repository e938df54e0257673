#include "app/window_dispatcher.h"

namespace qelvanto {
namespace {
thread_local std::shared_ptr<CallGate> thread_gate;
}  // namespace

WindowDispatcher::WindowDispatcher()
    : window_thread_(QThread::currentThread()), receiver_(std::make_unique<QObject>()) {}

WindowDispatcher::~WindowDispatcher() { Close(); }

void WindowDispatcher::Close() {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->closed) return;
        shared_->closed = true;
    }
    shared_->finished.notify_all();
    // No thread posts once `closed` is set, so the receiver can go; its pending jobs go with it.
    receiver_.reset();
}

bool WindowDispatcher::Closed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->closed;
}

bool WindowDispatcher::Send(std::function<void()> job) {
    // Posting only queues an event; Qt calls none of our code while it does, so holding our
    // lock here cannot deadlock, and it keeps Close from deleting the receiver meanwhile.
    std::lock_guard lock(shared_->mutex);
    if (shared_->closed) return false;
    return QMetaObject::invokeMethod(receiver_.get(), std::move(job), Qt::QueuedConnection);
}

void WindowDispatcher::SetThreadGate(std::shared_ptr<CallGate> gate) { thread_gate = std::move(gate); }

std::shared_ptr<CallGate> WindowDispatcher::ThreadGate() { return thread_gate; }

}  // namespace qelvanto
