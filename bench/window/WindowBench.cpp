// W1 through the real window against the engine alone: the per-file status text and the event
// processing must not make a run over many small files noticeably slower. Then the changes pane
// of 実行結果 on one file of 1 GB with some half a million changed lines: how long it takes to
// show the first changes, to go to the last, and the memory it takes.
//
// vandor_window_bench [--smoke] [--reps N] [--pane-only]
// (needs QT_QPA_PLATFORM=offscreen without a display)

#include "bench/Measure.h"
#include "bench/Workload.h"
#include "engine/Messages.h"
#include "platform/FileName.h"
#include "ui/ChangesPane.h"
#include "ui/Form1.h"
#include "ui/ResultWindow.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QTableWidget>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

double RunThroughWindow(
    ui::Form1& form, const std::string& org, const std::string& definition, const std::string& out)
{
    bench::RemoveTree(out);
    std::filesystem::create_directories(out);
    form.SetBoxText(engine::PathBox::Org, platform::DecodeFileName(org + "/"));
    form.SetBoxText(engine::PathBox::New, platform::DecodeFileName(out + "/"));
    form.SetBoxText(engine::PathBox::Definition, platform::DecodeFileName(definition));
    const auto start = std::chrono::steady_clock::now();
    form.Command2_Click();
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const QLabel* status = form.findChild<QLabel*>(QStringLiteral("Label2"));
    if (status == nullptr
        || status->text() != QString::fromStdU16String(engine::messages::Finished)) {
        std::fprintf(stderr, "the run through the window did not finish cleanly\n");
        std::exit(1);
    }
    return seconds;
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double PeakMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;
}

void MeasurePane(ui::Form1& form, const std::string& root, bool smoke)
{
    const std::string org = root + "/pane";
    std::filesystem::create_directories(org);
    const std::string definition = root + "/pairs1000.txt";
    const bench::Targets targets;
    const std::uint64_t bytes = bench::GenerateFile(
        org + "/modLarge.bas", smoke ? 8 << 20 : std::uint64_t(1) << 30, 0.025, targets, 2);
    const double runSeconds = RunThroughWindow(form, org, definition, root + "/pane-new");
    const double before = PeakMiB();

    auto start = std::chrono::steady_clock::now();
    ui::ResultWindow window(form.LastReport(), common::NativePathStyle(), &form);
    window.show();
    window.Changes->ChangeList->viewport()->grab();
    const double open = Since(start);
    const int first = window.Changes->ChangeList->model()->rowCount();

    start = std::chrono::steady_clock::now();
    window.Changes->SelectLast();
    window.Changes->ChangeList->viewport()->grab();
    const double last = Since(start);
    const int all = window.Changes->ChangeList->model()->rowCount();
    std::printf("pane: %.1f MB file, run through the window %.2f s, %d changes\n",
        static_cast<double>(bytes) / 1e6, runSeconds, all);
    std::printf(
        "pane open s %.3f (%d changes found), to the last change s %.3f\n", open, first, last);
    std::printf("pane peakMiB before %.0f after %.0f\n", before, PeakMiB());
    bench::RemoveTree(org);
    bench::RemoveTree(root + "/pane-new");
}

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    bool paneOnly = false;
    int reps = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--smoke") {
            smoke = true;
            reps = 1;
        } else if (arg == "--pane-only") {
            paneOnly = true;
        } else if (arg == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: vandor_window_bench [--smoke] [--reps N] [--pane-only]\n");
            return 2;
        }
    }
    QApplication app(argc, argv);

    std::string root
        = (std::filesystem::temp_directory_path() / "vandor-window-bench-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string org = root + "/org";
    const std::string definition = root + "/pairs1000.txt";
    const bench::Targets targets;
    const bench::TreeShape shape = smoke ? bench::TreeShape { 60, 600'000, 0.30, 0.057 }
                                         : bench::TreeShape { 2000, 60'000'000, 0.30, 0.057 };
    bench::WriteDefinition(definition, targets.Definition(1000));
    ui::Form1 form;
    form.show();
    QApplication::processEvents();
    if (paneOnly) {
        MeasurePane(form, root, smoke);
        bench::RemoveTree(root);
        return 0;
    }
    const bench::TreeFacts facts = bench::GenerateTree(org, shape, targets, 1);
    bench::RunEngine(org, definition, root + "/warm-up");
    RunThroughWindow(form, org, definition, root + "/warm-up");

    std::vector<double> engine, window;
    for (int r = 0; r < reps; ++r) {
        engine.push_back(
            bench::RunEngine(org, definition, root + "/engine-" + std::to_string(r)).seconds);
        window.push_back(
            RunThroughWindow(form, org, definition, root + "/window-" + std::to_string(r)));
    }
    const double engineMedian = bench::Median(engine);
    const double windowMedian = bench::Median(window);
    std::printf("W1 %d files, %.1f MB, %d repetitions\n", facts.files, facts.bytes / 1e6, reps);
    std::printf("engine alone s %.3f, through the window s %.3f\n", engineMedian, windowMedian);
    std::printf("W1 window/engine=%.2f\n", windowMedian / engineMedian);
    MeasurePane(form, root, smoke);
    bench::RemoveTree(root);
    return 0;
}
