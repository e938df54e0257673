// Scale of the window under a long harvest: the log grows by one short entry at a time and the
// list by one complete row at a time, each followed by a scroll to it. Prints the cost of the
// first and the last thousand appends, which stays flat when nothing re-flows the whole log or
// walks all rows, the totals, a round trip from a worker thread, and the peak memory.
//
// Beside the log it runs its peer, a stock QPlainTextEdit of the same size that gets the same
// entries into one paragraph, for fewer entries since its cost grows with the log.
//
// Usage: window_bench [log entries] [rows] [peer entries]
//        (defaults 100000, 200000 and 2000; runs offscreen)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>

#include <QPlainTextEdit>
#include <QTextCursor>

#include "app/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

long PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Runs `append(i)` count times on the window thread, letting the event loop turn (layout,
// scrolling, painting) every `turn` appends as it does between a worker's calls.
template <class Append>
void Measure(const char* what, int count, Append append) {
    constexpr int kTurn = 50;
    const int window = std::min(1000, count);
    Clock::duration first{}, last{};
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const Clock::time_point before = Clock::now();
        append(i);
        if (i % kTurn == kTurn - 1) QCoreApplication::processEvents();
        const Clock::duration spent = Clock::now() - before;
        if (i < window) first += spent;
        if (i >= count - window) last += spent;
    }
    QCoreApplication::processEvents();
    const double total = Ms(Clock::now() - start);
    std::printf("%-5s %7d appends: first 1000 %8.1f ms, last 1000 %8.1f ms (ratio %.2f), total %9.1f ms, "
                "peak RSS %ld MB\n",
                what, count, Ms(first), Ms(last), Ms(last) / std::max(Ms(first), 1e-6), total, PeakRssMb());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qelvanto;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rows = argc > 2 ? std::atoi(argv[2]) : 200000;
    const int peer_entries = argc > 3 ? std::atoi(argv[3]) : 2000;
    int qt_argc = 1;
    QApplication application(qt_argc, argv);
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();

    // "12:34:56:" + "已采集" + number + "个" in code page 936: about 20 bytes.
    Measure("log", entries, [&](int i) {
        const std::string entry = "12:34:56:\xd2\xd1\xb2\xc9\xbc\xaf" + std::to_string(i) + "\xb8\xf6";
        window.EditBoxAppend(Control::kLogBox, Text(entry));
    });

    QPlainTextEdit stock;
    stock.setReadOnly(true);
    stock.document()->setUndoRedoEnabled(false);
    stock.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    stock.resize(160, 88);
    stock.show();
    Measure("peer", peer_entries, [&](int i) {
        const QString entry = QStringLiteral("12:34:56:") + QString::fromUtf8("\xe5\xb7\xb2\xe9\x87\x87\xe9\x9b\x86") +
                              QString::number(i) + QString::fromUtf8("\xe4\xb8\xaa");
        QTextCursor cursor = stock.textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(entry);
        stock.setTextCursor(cursor);
        stock.ensureCursorVisible();
    });
    stock.hide();

    Measure("list", rows, [&](int i) {
        const int row = window.ListViewInsertRow(Control::kList);
        window.ListViewSetCell(Control::kList, row, 0, Text(std::to_string(i + 1)));
        window.ListViewSetCell(Control::kList, row, 1, "\xb2\xe2\xca\xd4\xc8\xba");  // a group name
        window.ListViewSetCell(Control::kList, row, 2, Text(std::to_string(100000000 + i)));
        window.ListViewSetCell(Control::kList, row, 3, "500");
        window.ListViewEnsureVisible(Control::kList, row);
    });

    // What a collection run pays per operation: a round trip from its worker thread.
    constexpr int kRoundTrips = 20000;
    std::shared_ptr<Toolkit> toolkit = window.SharedToolkit();
    QEventLoop loop;
    double round_trip_us = 0;
    std::thread worker([&] {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kRoundTrips; ++i) toolkit->ListViewRowCount(Control::kList);
        round_trip_us = Ms(Clock::now() - start) * 1000.0 / kRoundTrips;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    std::printf("round trip from a worker thread: %.1f us per operation (%d operations)\n", round_trip_us,
                kRoundTrips);
    std::printf("peak RSS %ld MB\n", PeakRssMb());
    return 0;
}
