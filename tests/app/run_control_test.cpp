#include "app/run_control.h"

#include <chrono>
#include <map>
#include <mutex>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/main_window.h"
#include "directory_server.h"
#include "qt_test_environment.h"
#include "support/log_text.h"
#include "text/codepage.h"

namespace qelvanto {
namespace {

using namespace std::chrono_literals;
using testing::WithoutTimes;

constexpr int kWaitMs = 20'000;  // generous: only a broken run gets near it

// The thread sanitizer slows this harvest down by two orders of magnitude; the soak test
// covers a thousand clicks there.
#if defined(__SANITIZE_THREAD__)
constexpr int kRandomCycles = 25;
#else
constexpr int kRandomCycles = 200;
#endif

// Lets the window thread run for a while; used only where a test shows that nothing happens.
void LetTheWindowRun(std::chrono::milliseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) QTest::qWait(5);
}

class RunControlTest : public ::testing::Test {
protected:
    void SetUpDirectory(tools::DirectoryOptions options, int time_limit_seconds = 10) {
        directory = std::make_unique<tools::DirectoryServer>(std::move(options));
        ASSERT_TRUE(directory->Start());
        RunControl::Options run_options;
        run_options.collect.search_base = Text(directory->BaseUrl());
        run_options.collect.time_limit_seconds = time_limit_seconds;
        run_options.show_error = [this](const QString& title, const QString& text) {
            errors.push_back((title + QStringLiteral("|") + text).toStdString());
        };
        control = std::make_unique<RunControl>(window, std::move(run_options));
        window.show();  // as the user has it: the log lays itself out at its real width
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void TearDown() override {
        if (directory) directory->ReleaseStalled();
        control.reset();
        if (directory) directory->Stop();
    }

    void Click(QPushButton* button) { button->click(); }
    void SetKeyword(const char* utf8) { window.编辑框_关键词()->setText(QString::fromUtf8(utf8)); }

    bool Idle() const {
        return window.选择框_开始()->isEnabled() && !window.选择框_暂停()->isEnabled() &&
               !window.选择框_停止()->isEnabled();
    }
    bool Running() const {
        return !window.选择框_开始()->isEnabled() && window.选择框_暂停()->isEnabled() &&
               window.选择框_停止()->isEnabled();
    }
    bool WaitForIdle() {
        return QTest::qWaitFor([&] { return Idle(); }, kWaitMs);
    }
    std::string Log() { return AnsiToUtf8(window.EditBoxContent(Control::kLogBox)).str(); }
    int Rows() const { return window.超级列表框1()->Model().rowCount(); }
    std::string Cell(int row, int column) const {
        return window.超级列表框1()->Model().Cell(row, column).toStdString();
    }
    std::string PauseCaption() const { return window.选择框_暂停()->text().toStdString(); }
    // Rows already found complete are not looked at again.
    bool RowsComplete() {
        for (int r = checked_rows_; r < Rows(); ++r) {
            if (Cell(r, 0) != std::to_string(r + 1)) return false;
            for (int c = 1; c < 4; ++c)
                if (Cell(r, c).empty()) return false;
            checked_rows_ = r + 1;
        }
        return true;
    }
    int checked_rows_ = 0;

    MainWindow window;
    std::unique_ptr<tools::DirectoryServer> directory;
    std::unique_ptr<RunControl> control;
    std::vector<std::string> errors;
    std::mutex first_page_mutex;
    std::map<std::string, int> first_page_by_keyword;
};

tools::DirectoryOptions Pages(int pages, int per_page = 5) {
    tools::DirectoryOptions o;
    o.pages = pages;
    o.records_per_page = per_page;
    return o;
}

TEST_F(RunControlTest, AnEmptyKeywordShowsTheMessageAndChangesNothing) {
    SetUpDirectory(Pages(1));
    Click(window.选择框_开始());
    EXPECT_EQ(errors, std::vector<std::string>{"提示：|关键词不能为空！"});
    EXPECT_TRUE(Idle());
    EXPECT_EQ(directory->RequestCount(), 0u);
    EXPECT_EQ(Log(), "");
}

TEST_F(RunControlTest, AKeywordOfOneBlankHarvestsUntilAPageHoldsNoRecord) {
    SetUpDirectory(Pages(2));
    SetKeyword(" ");
    Click(window.选择框_开始());
    EXPECT_TRUE(Running());
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(directory->RequestCount(), 3u);
    EXPECT_GT(Rows(), 0);
    EXPECT_TRUE(RowsComplete());
    const std::string log = WithoutTimes(Log());
    EXPECT_EQ(log.rfind("T:采集第3页T:采集完成"), log.size() - std::string("T:采集第3页T:采集完成").size());
    EXPECT_EQ(log.find("T:采集第1页"), 0u);
}

TEST_F(RunControlTest, PauseHoldsTheListAndLogStillAndContinueGoesOnFromThere) {
    tools::DirectoryOptions options = Pages(3);
    SetUpDirectory(options);
    SetKeyword("k");
    directory->SetStalled(true);
    Click(window.选择框_开始());
    ASSERT_TRUE(QTest::qWaitFor([&] { return directory->RequestCount() == 1; }, kWaitMs));

    Click(window.选择框_暂停());
    EXPECT_EQ(PauseCaption(), "继续");
    const std::string log = Log();
    const int rows = Rows();
    directory->SetStalled(false);
    directory->ReleaseStalled();  // the page arrives while the run is held
    LetTheWindowRun(300ms);
    EXPECT_EQ(Log(), log);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(directory->RequestCount(), 1u);

    Click(window.选择框_暂停());
    EXPECT_EQ(PauseCaption(), "暂停");
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(directory->RequestCount(), 4u);
    EXPECT_TRUE(RowsComplete());
    EXPECT_NE(Log().find("采集完成"), std::string::npos);
}

TEST_F(RunControlTest, StopEndsTheRunAtOnceAndTheNextStartBeginsAtTheFirstPage) {
    tools::DirectoryOptions options = Pages(1000);
    options.latency = 2ms;
    // The first page each keyword was asked for. The server outlives this body (it stops in
    // TearDown), so what its handler touches belongs to the fixture.
    std::mutex& mutex = first_page_mutex;
    std::map<std::string, int>& first_page = first_page_by_keyword;
    options.make_record = [&mutex, &first_page](int page, int index, const std::string& keyword) {
        std::lock_guard lock(mutex);
        first_page.emplace(keyword, page);
        return tools::GeneratedRecord(page, index);
    };
    SetUpDirectory(options);
    SetKeyword("k");
    Click(window.选择框_开始());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows() >= 3; }, kWaitMs));

    Click(window.选择框_停止());
    EXPECT_TRUE(Idle());
    const std::string log = Log();
    const int rows = Rows();
    LetTheWindowRun(200ms);
    EXPECT_EQ(Log(), log);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(log.find("采集完成"), std::string::npos);
    EXPECT_TRUE(RowsComplete());

    SetKeyword("again");
    Click(window.选择框_开始());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows() > rows; }, kWaitMs));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(first_page.at("again"), 0);
    }
    Click(window.选择框_停止());
    EXPECT_TRUE(RowsComplete());  // the new rows follow the old ones: IDs rows+1, ...
    EXPECT_NE(WithoutTimes(Log()).find(WithoutTimes(log) + "T:采集第1页"), std::string::npos);
}

TEST_F(RunControlTest, StartPutsThePauseCaptionBack) {
    tools::DirectoryOptions options = Pages(1);
    SetUpDirectory(options);
    SetKeyword("k");
    directory->SetStalled(true);
    Click(window.选择框_开始());
    Click(window.选择框_暂停());
    ASSERT_EQ(PauseCaption(), "继续");
    Click(window.选择框_停止());
    directory->ReleaseStalled();
    directory->SetStalled(false);

    Click(window.选择框_开始());
    EXPECT_EQ(PauseCaption(), "暂停");
    Click(window.选择框_暂停());  // the first click of the new run pauses it
    EXPECT_EQ(PauseCaption(), "继续");
    Click(window.选择框_暂停());
    ASSERT_TRUE(WaitForIdle());
}

TEST_F(RunControlTest, APauseLongerThanTheLimitEndsTheRunOnceItGoesOn) {
    SetUpDirectory(Pages(3), /*time_limit_seconds=*/1);
    SetKeyword("k");
    directory->SetStalled(true);
    Click(window.选择框_开始());
    ASSERT_TRUE(QTest::qWaitFor([&] { return directory->RequestCount() == 1; }, kWaitMs));
    Click(window.选择框_暂停());
    directory->SetStalled(false);
    directory->ReleaseStalled();  // the answer is in, but the pause outlasts the limit
    LetTheWindowRun(1300ms);
    Click(window.选择框_暂停());
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(WithoutTimes(Log()), "T:采集第1页T:采集完成");
    EXPECT_EQ(Rows(), 0);
}

// Stop and Pause at random moments: no row or log entry of a run after its Stop, every row
// complete, the buttons always in one of the run-control states.
TEST_F(RunControlTest, RandomPausesAndStopsNeverLeaveALateOrHalfRow) {
    tools::DirectoryOptions options = Pages(1000, 20);
    options.latency = 1ms;
    SetUpDirectory(options);
    SetKeyword("k");
    std::mt19937 random(20261211);
    for (int cycle = 0; cycle < kRandomCycles; ++cycle) {
        Click(window.选择框_开始());
        ASSERT_TRUE(Running());
        QTest::qWait(static_cast<int>(random() % 8));
        if (random() % 2) {
            Click(window.选择框_暂停());
            const std::string held = Log();
            QTest::qWait(static_cast<int>(random() % 4));
            ASSERT_EQ(Log(), held);
            if (random() % 2) Click(window.选择框_暂停());
        }
        QTest::qWait(static_cast<int>(random() % 8));
        Click(window.选择框_停止());
        ASSERT_TRUE(Idle());
        const std::string log = Log();
        const int rows = Rows();
        QTest::qWait(3);
        ASSERT_EQ(Log(), log) << "cycle " << cycle;
        ASSERT_EQ(Rows(), rows) << "cycle " << cycle;
        ASSERT_TRUE(RowsComplete()) << "cycle " << cycle;

    }
}

TEST_F(RunControlTest, ClosingDuringAPausedRunEndsWithoutWaitingForTheNetwork) {
    SetUpDirectory(Pages(3));
    SetKeyword("k");
    directory->SetStalled(true);
    Click(window.选择框_开始());
    ASSERT_TRUE(QTest::qWaitFor([&] { return directory->RequestCount() == 1; }, kWaitMs));
    Click(window.选择框_暂停());
    control.reset();  // what the window's end does: stop the run and let its worker finish
    EXPECT_TRUE(Idle() || Running());
}

}  // namespace
}  // namespace qelvanto
