#include "app/run_control.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

#include <QMessageBox>
#include <QPushButton>

#include "app/main_window.h"

namespace qelvanto {
namespace {

// Captions of the pause button in code page 936.
constexpr const char* kPauseCaption = "\xd4\xdd\xcd\xa3";     // "暂停"
constexpr const char* kContinueCaption = "\xbc\xcc\xd0\xf8";  // "继续"

void ShowErrorBox(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// How many of a run's operations may wait for the window thread at once. A harvest can
// produce rows faster than the window shows them; past this the worker waits, so the queue
// (and the time Stop takes to sweep it) stays small and the window stays responsive.
constexpr int kMaxUndelivered = 256;

// Counts a run's operations sent to the window thread and not yet delivered.
class Backlog {
public:
    void Add() {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    void Done() {
        {
            std::lock_guard lock(mutex_);
            --count_;
        }
        drained_.notify_all();
    }
    // Waits until the backlog is short enough; gives up when `give_up` says so (asked every
    // few milliseconds, so a stopped run or a closed window never keeps the worker here).
    template <class GiveUp>
    void WaitForRoom(GiveUp give_up) {
        std::unique_lock lock(mutex_);
        while (count_ >= kMaxUndelivered && !give_up())
            drained_.wait_for(lock, std::chrono::milliseconds(5));
    }

private:
    std::mutex mutex_;
    std::condition_variable drained_;
    int count_ = 0;
};

// The window operations as one run sees them. Every call is a checkpoint of the run. Reads of
// the keyword and the minimum come from the mirror; everything that changes the window is
// posted to the window thread in call order and delivered through the run. A row is sent
// whole, with its four cells, when the run asks for it to be made visible (or before any
// other call), so a stopped run never leaves half a row behind.
class RunToolkit final : public Toolkit {
public:
    RunToolkit(std::shared_ptr<Run> run, std::shared_ptr<WindowToolkit> window,
               std::shared_ptr<InputMirror> mirror, int rows)
        : run_(std::move(run)), window_(std::move(window)), mirror_(std::move(mirror)), rows_(rows) {}

    ~RunToolkit() override = default;
    RunToolkit(const RunToolkit&) = delete;
    RunToolkit& operator=(const RunToolkit&) = delete;

    Text EditBoxContent(Control box) override {
        if (!Admit()) return Text();
        // A page starts with this read and then waits for its answer: let the window show
        // everything up to here meanwhile.
        if (box == Control::kKeywordBox) Flush();
        return mirror_->Get(box);
    }
    void EditBoxAppend(Control box, const Text& text) override {
        if (!Admit()) return;
        if (box == Control::kLogBox) {
            SendLog(text);
        } else {
            Send([box, text](WindowToolkit& w) { w.EditBoxAppend(box, text); });
        }
    }
    Text CheckBoxCaption(Control) override { return Text(); }  // a run never reads a caption
    void CheckBoxSetCaption(Control box, const Text& caption) override {
        if (!Admit()) return;
        Send([box, caption](WindowToolkit& w) { w.CheckBoxSetCaption(box, caption); });
    }
    void ControlSetEnabled(Control control, bool enabled) override {
        if (!Admit()) return;
        Send([control, enabled](WindowToolkit& w) { w.ControlSetEnabled(control, enabled); });
        Flush();
    }
    int ListViewInsertRow(Control) override {
        if (!Admit()) return 0;
        pending_.emplace();
        pending_->index = rows_++;
        return pending_->index;
    }
    void ListViewSetCell(Control list, int row, int column, const Text& text) override {
        if (!run_->Checkpoint()) return;
        if (pending_ && pending_->index == row && column >= 0 && column < 4) {
            pending_->cells[static_cast<std::size_t>(column)] = text;
            return;
        }
        FlushRow();
        Send([list, row, column, text](WindowToolkit& w) { w.ListViewSetCell(list, row, column, text); });
    }
    int ListViewRowCount(Control) override {
        if (!Admit()) return 0;
        return rows_;
    }
    void ListViewEnsureVisible(Control list, int row) override {
        if (!run_->Checkpoint()) return;
        if (pending_ && pending_->index == row) {
            SendRow(/*ensure_visible=*/true);
            return;
        }
        FlushRow();
        Send([list, row](WindowToolkit& w) { w.ListViewEnsureVisible(list, row); });
    }

    // Sends a row still held back (a run that never asked for it to be made visible).
    void FlushRow() {
        if (pending_) SendRow(/*ensure_visible=*/false);
    }

private:
    struct PendingRow {
        int index = 0;
        std::array<Text, 4> cells;
    };

    // A checkpoint that first sends whatever row is held back, so calls keep their order.
    bool Admit() {
        if (!run_->Checkpoint()) return false;
        FlushRow();
        return true;
    }

    void SendRow(bool ensure_visible) {
        Send([row = std::move(*pending_), ensure_visible](WindowToolkit& w) {
            const int index = w.ListViewInsertRow(Control::kList);
            for (int column = 0; column < 4; ++column)
                w.ListViewSetCell(Control::kList, index, column, row.cells[static_cast<std::size_t>(column)]);
            if (ensure_visible) w.ListViewEnsureVisible(Control::kList, index);
        });
        pending_.reset();
    }

    // Adds an operation to the batch the worker is collecting. Log entries are gathered apart:
    // the window thread applies a batch in one go, so nobody can see the log and the list
    // between its steps, and one append of all its log text costs what one entry would.
    template <class Op>
    void Send(Op op) {
        batch_.steps.emplace_back(std::move(op));
        if (++batch_.size >= kMaxBatchSize) Flush();
    }
    void SendLog(const Text& text) {
        batch_.log->append(text.view());
        if (++batch_.size >= kMaxBatchSize) Flush();
    }

public:
    // Sends the batch collected so far to the window thread.
    void Flush() {
        if (batch_.size == 0) return;
        WindowDispatcher& dispatcher = window_->Dispatcher();
        backlog_->WaitForRoom([&] { return run_->Stopped() || dispatcher.Closed(); });
        backlog_->Add();
        // Counted as delivered once the window thread has run, held or dropped it; a job the
        // closing window discards is never counted back, which only matters to a run that is
        // ending anyway.
        dispatcher.Post([run = run_, window = window_, backlog = backlog_, batch = std::move(batch_)]() mutable {
            run->Deliver([window, batch = std::move(batch)]() mutable {
                for (auto& step : batch.steps) step(*window);
                if (!batch.log->empty()) window->EditBoxAppend(Control::kLogBox, Text(std::move(*batch.log)));
            });
            backlog->Done();
        });
        batch_ = Batch();
    }

private:
    // Operations for the window thread, in call order, and the log text they add.
    struct Batch {
        std::vector<std::function<void(WindowToolkit&)>> steps;
        std::shared_ptr<std::string> log = std::make_shared<std::string>();
        std::size_t size = 0;  // operations, log entries included
    };
    static constexpr std::size_t kMaxBatchSize = 64;

    const std::shared_ptr<Run> run_;
    const std::shared_ptr<WindowToolkit> window_;
    const std::shared_ptr<InputMirror> mirror_;
    int rows_;
    std::optional<PendingRow> pending_;
    Batch batch_;
    const std::shared_ptr<Backlog> backlog_ = std::make_shared<Backlog>();
};

}  // namespace

bool Run::Checkpoint() {
    std::unique_lock lock(mutex_);
    resumed_.wait(lock, [this] { return state_ != State::kPaused; });
    return state_ == State::kRunning;
}

bool Run::Stopped() const {
    std::lock_guard lock(mutex_);
    return state_ == State::kStopped;
}

void Run::Pause() {
    std::lock_guard lock(mutex_);
    if (state_ == State::kRunning) state_ = State::kPaused;
}

void Run::Continue() {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::kPaused) return;
    }
    // What arrived while paused goes out first, in order, before the worker may send more.
    std::vector<std::function<void()>> held = std::move(held_);
    held_.clear();
    for (auto& op : held) op();
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::kPaused) state_ = State::kRunning;
    }
    resumed_.notify_all();
}

void Run::Stop() {
    {
        std::lock_guard lock(mutex_);
        state_ = State::kStopped;
    }
    held_.clear();
    resumed_.notify_all();
}

void Run::Deliver(std::function<void()> op) {
    State state;
    {
        std::lock_guard lock(mutex_);
        state = state_;
    }
    switch (state) {
        case State::kRunning: op(); break;
        case State::kPaused: held_.push_back(std::move(op)); break;
        case State::kStopped: break;
    }
}

void InputMirror::Set(Control box, Text text) {
    std::lock_guard lock(mutex_);
    (box == Control::kKeywordBox ? keyword_ : minimum_) = std::move(text);
}

Text InputMirror::Get(Control box) const {
    std::lock_guard lock(mutex_);
    return box == Control::kKeywordBox ? keyword_ : minimum_;
}

RunControl::RunControl(MainWindow& window, Options options)
    : window_(window), options_(std::move(options)) {
    if (!options_.show_error) options_.show_error = ShowErrorBox;

    auto mirror = [this](Control box, QLineEdit* edit) {
        mirror_->Set(box, FromQString(edit->text()));
        connect(edit, &QLineEdit::textChanged, this,
                [this, box](const QString& text) { mirror_->Set(box, FromQString(text)); });
    };
    mirror(Control::kKeywordBox, window_.编辑框_关键词());
    mirror(Control::kMinimumBox, window_.编辑框_人气());

    connect(window_.选择框_开始(), &QPushButton::clicked, this, &RunControl::Start);
    connect(window_.选择框_暂停(), &QPushButton::clicked, this, &RunControl::Pause);
    connect(window_.选择框_停止(), &QPushButton::clicked, this, &RunControl::Stop);
}

RunControl::~RunControl() {
    if (run_) run_->Stop();
    JoinWorkers();
}

void RunControl::Start() {
    const Text keyword = window_.EditBoxContent(Control::kKeywordBox);
    if (keyword.empty()) {
        options_.show_error(QString::fromUtf8("提示："), QString::fromUtf8("关键词不能为空！"));
        return;
    }
    window_.ControlSetEnabled(Control::kStartButton, false);
    window_.ControlSetEnabled(Control::kPauseButton, true);
    window_.ControlSetEnabled(Control::kStopButton, true);
    // A run stopped while paused must not leave the next run's first Pause click continuing.
    window_.CheckBoxSetCaption(Control::kPauseButton, kPauseCaption);

    JoinFinishedWorkers();
    run_ = std::make_shared<Run>();
    auto toolkit = std::make_shared<RunToolkit>(run_, window_.SharedToolkit(), mirror_,
                                                window_.ListViewRowCount(Control::kList));
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back(Worker{
        std::thread([run = run_, toolkit, options = options_.collect, done] {
            SetProcessEventsHook([run] { run->Checkpoint(); });
            SetWorkCancelledHook([run] { return run->Stopped(); });
            CollectGroups(*toolkit, options);
            toolkit->FlushRow();
            toolkit->Flush();
            SetWorkCancelledHook({});
            SetProcessEventsHook({});
            done->store(true);
        }),
        done});
}

void RunControl::Pause() {
    if (window_.CheckBoxCaption(Control::kPauseButton) == Text(kPauseCaption)) {
        window_.CheckBoxSetCaption(Control::kPauseButton, kContinueCaption);
        if (run_) run_->Pause();
    } else {
        window_.CheckBoxSetCaption(Control::kPauseButton, kPauseCaption);
        if (run_) run_->Continue();
    }
}

void RunControl::Stop() {
    window_.ControlSetEnabled(Control::kStartButton, true);
    window_.ControlSetEnabled(Control::kPauseButton, false);
    window_.ControlSetEnabled(Control::kStopButton, false);
    if (run_) run_->Stop();
}

void RunControl::JoinFinishedWorkers() {
    std::erase_if(workers_, [](Worker& w) {
        if (!w.done->load()) return false;
        w.thread.join();
        return true;
    });
}

void RunControl::JoinWorkers() {
    for (Worker& w : workers_) w.thread.join();
    workers_.clear();
}

}  // namespace qelvanto
