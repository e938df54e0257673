// A thousand clicks at random moments on Start, Pause/Continue and Stop, through the real
// window, against a loopback directory with latency. Seeded, so a failure can be replayed.

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "app/main_window.h"
#include "app/run_control.h"
#include "directory_server.h"
#include "qt_test_environment.h"
#include "text/codepage.h"

namespace qelvanto {
namespace {

enum class Buttons { kIdle, kRunning, kOther };

TEST(RunControlSoak, AThousandRandomClicksKeepEveryRunClean) {
    tools::DirectoryOptions options;
    options.pages = 1'000'000;
    options.make_record = tools::RealisticRecord;
    options.latency = std::chrono::milliseconds(2);
    tools::DirectoryServer directory(options);
    ASSERT_TRUE(directory.Start());

    MainWindow window;
    RunControl::Options run_options;
    run_options.collect.search_base = Text(directory.BaseUrl());
    run_options.collect.time_limit_seconds = 1;
    auto control = std::make_unique<RunControl>(window, run_options);
    window.编辑框_关键词()->setText(QStringLiteral("k"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QPushButton* start = window.选择框_开始();
    QPushButton* pause = window.选择框_暂停();
    QPushButton* stop = window.选择框_停止();
    auto buttons = [&] {
        if (start->isEnabled() && !pause->isEnabled() && !stop->isEnabled()) return Buttons::kIdle;
        if (!start->isEnabled() && pause->isEnabled() && stop->isEnabled()) return Buttons::kRunning;
        return Buttons::kOther;
    };
    auto log = [&] { return window.EditBoxContent(Control::kLogBox); };
    const GroupListModel& model = window.超级列表框1()->Model();
    int checked_rows = 0;
    auto rows_complete = [&] {
        for (; checked_rows < model.rowCount(); ++checked_rows) {
            if (model.Cell(checked_rows, 0) != QString::number(checked_rows + 1)) return false;
            for (int c = 1; c < 4; ++c)
                if (model.Cell(checked_rows, c).isEmpty()) return false;
        }
        return true;
    };

    const unsigned seed = 20261211;
    std::mt19937 random(seed);
    bool stopped = false;  // no run since the last Stop
    Text log_at_stop;
    int rows_at_stop = 0;
    int starts = 0, pauses = 0, stops = 0;
    for (int click = 0; click < 1000; ++click) {
        QTest::qWait(static_cast<int>(random() % 6));
        const Buttons state = buttons();
        ASSERT_NE(state, Buttons::kOther) << "seed " << seed << " click " << click;
        ASSERT_TRUE(rows_complete()) << "seed " << seed << " click " << click;
        if (stopped) {
            ASSERT_EQ(log(), log_at_stop) << "seed " << seed << " click " << click;
            ASSERT_EQ(model.rowCount(), rows_at_stop) << "seed " << seed << " click " << click;
        }
        if (state == Buttons::kIdle) {
            start->click();
            stopped = false;
            ++starts;
        } else if (random() % 3 == 0) {
            stop->click();
            stopped = true;
            log_at_stop = log();
            rows_at_stop = model.rowCount();
            ++stops;
        } else {
            pause->click();  // pauses or continues by its caption
            ++pauses;
        }
    }
    control.reset();  // as the window's end does, also in the middle of a run
    EXPECT_TRUE(rows_complete());
    std::printf("soak: seed %u, %d starts, %d pause/continue clicks, %d stops, %d rows, %zu requests\n", seed,
                starts, pauses, stops, model.rowCount(), directory.RequestCount());
    directory.Stop();
}

}  // namespace
}  // namespace qelvanto
