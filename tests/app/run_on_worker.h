#pragma once

#include <atomic>
#include <thread>

#include <QEventLoop>
#include <QMetaObject>

namespace qelvanto::testing {

// Runs `work` on a thread of its own while this thread runs its event loop, as a collection
// run does.
template <class Work>
void RunOnWorker(Work work) {
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    if (!finished) loop.exec();
    worker.join();
}

}  // namespace qelvanto::testing
