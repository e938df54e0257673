// One whole harvest through the real window (offscreen), for benchmarks and comparisons.
//   harvest_bench BASE_URL KEYWORD MIN OUT_TSV
// Pages from BASE_URL (such as http://127.0.0.1:PORT/group/search/) until a page holds no
// record, then writes the kept rows to OUT_TSV (name, group number, member count separated by
// tabs, UTF-8, one row a line, in list order) and prints one line:
//   rows=N pages=N seconds=S cpu_seconds=S peak_rss_kb=N

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "app/run_control.h"
#include "web/fetch_url.h"

using namespace qelvanto;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: harvest_bench BASE_URL KEYWORD MIN OUT_TSV\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareWebAccess();
    int qt_argc = 1;
    QApplication application(qt_argc, argv);
    SetProcessEventsHook([] { QCoreApplication::processEvents(); });

    int exit_code = 0;
    {
        MainWindow window;
        RunControl::Options options;
        options.collect.search_base = Text(argv[1]);
        RunControl control(window, options);
        window.编辑框_关键词()->setText(QString::fromUtf8(argv[2]));
        window.编辑框_人气()->setText(QString::fromUtf8(argv[3]));
        window.show();

        const double cpu_start = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        window.选择框_开始()->click();
        // The run is over when it gives the Start button back.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (window.选择框_开始()->isEnabled()) QApplication::quit();
        });
        poll.start(1);
        QApplication::exec();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds() - cpu_start;

        const GroupListModel& model = window.超级列表框1()->Model();
        std::ofstream out(argv[4], std::ios::binary);
        for (int row = 0; row < model.rowCount(); ++row) {
            out << model.Cell(row, 1).toStdString() << '\t' << model.Cell(row, 2).toStdString() << '\t'
                << model.Cell(row, 3).toStdString() << '\n';
        }
        const int pages = window.编辑框_日志()->toPlainText().count(QString::fromUtf8("页"));
        if (!out) exit_code = 1;
        std::printf("rows=%d pages=%d seconds=%.3f cpu_seconds=%.3f peak_rss_kb=%ld\n", model.rowCount(),
                    pages, seconds, cpu, PeakRssKb());
    }
    SetProcessEventsHook({});
    return exit_code;
}
