#pragma once

// What the Start, Pause and Stop buttons do: a harvest on a worker thread of its own that
// Pause holds wherever it is and Stop ends at once.
//
// Nothing is ever suspended or killed from outside. The worker reaches the window only
// through a run-bound toolkit whose every call is a checkpoint: a paused run waits there, a
// stopped run's calls do nothing. What the worker sends to the window is delivered on the
// window thread through the run, which runs it, holds it while the run is paused, or drops it
// once the run was stopped; so nothing of a run appears after the Stop handler has returned,
// and nothing grows while the run is paused.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QObject>
#include <QString>

#include "collect/collection_run.h"
#include "collect/toolkit.h"
#include "text/text.h"

namespace qelvanto {

class MainWindow;
class WindowToolkit;

// The state one harvest shares between the window thread and its worker.
class Run {
public:
    // Worker side. Waits while the run is paused; false once it has been stopped.
    bool Checkpoint();
    bool Stopped() const;

    // Window thread only.
    void Pause();
    void Continue();
    void Stop();
    // Runs `op` now while the run goes on, keeps it until Continue while paused, and drops it
    // once stopped. Held operations keep their order.
    void Deliver(std::function<void()> op);

private:
    enum class State { kRunning, kPaused, kStopped };

    mutable std::mutex mutex_;
    std::condition_variable resumed_;
    State state_ = State::kRunning;
    std::vector<std::function<void()>> held_;  // window thread only
};

// The texts the run reads from the window (the keyword and the minimum), kept current by the
// window thread so that the worker reads them without a round trip.
class InputMirror {
public:
    void Set(Control box, Text text);
    Text Get(Control box) const;

private:
    mutable std::mutex mutex_;
    Text keyword_;
    Text minimum_;
};

class RunControl : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunControl)

public:
    struct Options {
        CollectOptions collect;
        // Shows the empty-keyword message and returns when the user has closed it. Default:
        // a task-modal message box with the error icon.
        std::function<void(const QString& title, const QString& text)> show_error;
    };

    // Connects to the three buttons of `window`, which must outlive this object.
    RunControl(MainWindow& window, Options options);
    ~RunControl() override;

    // The click handlers.
    void Start();
    void Pause();
    void Stop();

    // Waits until every worker this object started has ended (tests).
    void JoinWorkers();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void JoinFinishedWorkers();

    MainWindow& window_;
    Options options_;
    std::shared_ptr<InputMirror> mirror_ = std::make_shared<InputMirror>();
    std::shared_ptr<Run> run_;
    std::vector<Worker> workers_;
};

}  // namespace qelvanto
