#include "app/window_dispatcher.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QEventLoop>

#include "qt_test_environment.h"
#include "run_on_worker.h"

namespace qelvanto {
namespace {

using testing::RunOnWorker;

class RecordingGate : public CallGate {
public:
    bool Admit() override {
        ++admitted;
        return admit;
    }
    bool Live() override { return live; }

    std::atomic<bool> admit{true};
    std::atomic<bool> live{true};
    std::atomic<int> admitted{0};
};

TEST(WindowDispatcher, CallsOfAnotherThreadRunOnTheWindowThreadInTheirOrder) {
    WindowDispatcher dispatcher;
    std::vector<int> order;
    bool all_on_window_thread = true;
    RunOnWorker([&] {
        for (int i = 0; i < 20; ++i) {
            auto note = [&, i] {
                all_on_window_thread = all_on_window_thread && dispatcher.OnWindowThread();
                order.push_back(i);
            };
            if (i % 2) {
                dispatcher.Post(note);
            } else {
                dispatcher.Call(note);
            }
        }
        EXPECT_EQ(dispatcher.Call([&] { return static_cast<int>(order.size()); }), 20);
    });
    EXPECT_TRUE(all_on_window_thread);
    std::vector<int> expected(20);
    for (int i = 0; i < 20; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(order, expected);
}

TEST(WindowDispatcher, ACallOnTheWindowThreadRunsAtOnce) {
    WindowDispatcher dispatcher;
    EXPECT_EQ(dispatcher.Call([] { return 7; }), 7);
    dispatcher.Close();
    EXPECT_EQ(dispatcher.Call([] { return 7; }), 0);
}

TEST(WindowDispatcher, TheThreadsGateCanDropCallsOnEitherSide) {
    WindowDispatcher dispatcher;
    auto gate = std::make_shared<RecordingGate>();
    std::atomic<int> ran{0};
    RunOnWorker([&] {
        WindowDispatcher::SetThreadGate(gate);
        EXPECT_EQ(dispatcher.Call([&] { return ++ran; }), 1);
        gate->live = false;  // decided on the window thread when the call gets there
        EXPECT_EQ(dispatcher.Call([&] { return ++ran; }), 0);
        dispatcher.Post([&] { ++ran; });
        EXPECT_EQ(dispatcher.Call([&] { return ++ran; }), 0);  // after the post has been dropped
        gate->live = true;
        gate->admit = false;  // decided on the calling thread
        EXPECT_EQ(dispatcher.Call([&] { return ++ran; }), 0);
        WindowDispatcher::SetThreadGate(nullptr);
        EXPECT_EQ(dispatcher.Call([&] { return ran.load(); }), 1);
    });
    EXPECT_EQ(gate->admitted, 5);
}

TEST(WindowDispatcher, CallsAfterCloseReturnEmptyAtOnceFromAnyThread) {
    auto dispatcher = std::make_shared<WindowDispatcher>();
    dispatcher->Close();
    std::thread worker([dispatcher] {
        EXPECT_EQ(dispatcher->Call([] { return 5; }), 0);
        dispatcher->Post([] { ADD_FAILURE() << "ran after close"; });
    });
    worker.join();
    QCoreApplication::processEvents();
}

TEST(WindowDispatcher, CloseWakesACallThatWaits) {
    WindowDispatcher dispatcher;
    std::atomic<int> result{-1};
    std::thread worker([&] { result = dispatcher.Call([] { return 5; }); });
    while (dispatcher.CallsInFlight() == 0) std::this_thread::yield();
    dispatcher.Close();
    worker.join();
    EXPECT_EQ(result, 0);
    QCoreApplication::processEvents();  // the abandoned call never runs
}

}  // namespace
}  // namespace qelvanto
