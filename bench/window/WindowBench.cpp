// W1 through the real window against the engine alone: the per-file status text and the event
// processing must not make a run over many small files noticeably slower.
//
// vandor_window_bench [--smoke] [--reps N]   (needs QT_QPA_PLATFORM=offscreen without a display)

#include "bench/Measure.h"
#include "bench/Workload.h"
#include "engine/Messages.h"
#include "platform/FileName.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QLabel>

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

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    int reps = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--smoke") {
            smoke = true;
            reps = 1;
        } else if (arg == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: vandor_window_bench [--smoke] [--reps N]\n");
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
    const bench::TreeFacts facts = bench::GenerateTree(org, shape, targets, 1);
    bench::WriteDefinition(definition, targets.Definition(1000));

    ui::Form1 form;
    form.show();
    QApplication::processEvents();
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
    bench::RemoveTree(root);
    return 0;
}
