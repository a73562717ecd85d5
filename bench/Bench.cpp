// The benchmark: generates its workloads, runs the engine on them next to cp and sed, and prints
// the tables, on the disk and on tmpfs, and a one-line summary.

#include "bench/Measure.h"
#include "bench/Scan.h"
#include "bench/Workload.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct Options {
    bool smoke = false;
    bool sed = true;
    bool sedGiven = false;
    int reps = 5;
    bool repsGiven = false;
    bool keep = false;
    std::string only; // empty: every workload
    std::string where; // disk, tmpfs; empty: both
    // --run ORG DEFINITION OUTPUT: one engine run on a workload that --keep left behind
    std::vector<std::string> run;
};

[[noreturn]] void Usage(const std::string& problem)
{
    std::fprintf(stderr,
        "%s\nusage: vandor_bench [--smoke] [--reps N] [--sed|--no-sed] [--keep]\n"
        "                    [--only W1|W2|W3|W4|W5|long] [--where disk|tmpfs]\n"
        "       vandor_bench --run ORG DEFINITION OUTPUT\n",
        problem.c_str());
    std::exit(2);
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--smoke") {
            options.smoke = true;
        } else if (arg == "--sed" || arg == "--no-sed") {
            options.sed = arg == "--sed";
            options.sedGiven = true;
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--reps" && i + 1 < argc) {
            options.reps = std::atoi(argv[++i]);
            options.repsGiven = true;
            if (options.reps < 1) {
                Usage("--reps needs a whole number of 1 or more");
            }
        } else if (arg == "--run" && i + 3 < argc) {
            options.run.assign(argv + i + 1, argv + i + 4);
            i += 3;
        } else if (arg == "--only" && i + 1 < argc) {
            options.only = argv[++i];
            if (options.only != "W1" && options.only != "W2" && options.only != "W3"
                && options.only != "W4" && options.only != "W5" && options.only != "long") {
                Usage("--only takes W1, W2, W3, W4, W5 or long");
            }
        } else if (arg == "--where" && i + 1 < argc) {
            options.where = argv[++i];
            if (options.where != "disk" && options.where != "tmpfs") {
                Usage("--where takes disk or tmpfs");
            }
        } else {
            Usage(arg == "--help" ? "" : "unknown argument " + arg);
        }
    }
    if (options.smoke) {
        options.reps = options.repsGiven ? options.reps : 1;
        options.sed = options.sedGiven && options.sed;
    }
    return options;
}

void Require(bool condition, const std::string& what)
{
    if (!condition) {
        throw std::runtime_error("check failed: " + what);
    }
}

class TempFolder {
public:
    TempFolder(const std::string& base, bool keep)
        : m_keep(keep)
    {
        std::string pattern = base + "/vandor-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder from " + pattern);
        }
        m_path = pattern;
    }
    ~TempFolder()
    {
        if (!m_keep) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    bool m_keep;
    std::string m_path;
};

struct Row {
    std::string name;
    double engine = kNone; // medians, seconds
    double cp = kNone;
    double read = kNone; // the read floor of the same tree
    double sed = kNone;
    double engineCpu = kNone; // medians of user and system time
    double cpCpu = kNone;
};

struct Measured {
    Row row;
    std::uint64_t readBytes = 0;
    ScanFacts scan;
    std::size_t changedFiles = 0;
    std::uint64_t newBytes = 0;
    long peakKiB = 0;
    long inheritedKiB = 0;
    std::string newOrg; // the NEW tree of the last run
    double load = kNone; // median of LoadDefinition
    double sort = kNone; // median of LC_ALL=C sort of the definition file, where measured
};

double MB(std::uint64_t bytes) { return static_cast<double>(bytes) / 1e6; }

double Percent(std::uint64_t part, std::uint64_t whole)
{
    return whole == 0 ? 0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

std::string Times(const std::vector<double>& seconds)
{
    std::string text;
    char number[32];
    for (const double s : seconds) {
        std::snprintf(number, sizeof number, "%s%.3f", text.empty() ? "" : " ", s);
        text += number;
    }
    return text;
}

// The first three fields of /proc/loadavg: how busy the shared machine was.
std::string LoadAverage()
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// One engine setup on one input: its own output folder and its own samples.
struct Variant {
    Variant(std::string tag, std::string definition, std::vector<Pair> pairs)
        : tag(std::move(tag))
        , definition(std::move(definition))
        , pairs(std::move(pairs))
    {
        pairsTag = std::to_string(this->pairs.size());
    }

    std::string tag;
    std::string definition;
    std::vector<Pair> pairs;
    std::string pairsTag; // names the setup's targets
    // A setup whose NEW tree must be that of an earlier one (by index): its pairs are not kept
    // for a scan of its own, and its peak is that of its warm-up, run in a child; each
    // repetition also sorts its definition file.
    std::optional<std::size_t> sameTreeAs;
    Measured measured;
    std::uint64_t firstDigest = 0;
    std::vector<double> engineTimes, engineCpu, engineSystem, loadTimes;
    std::vector<double> cpTimes, cpCpu, cpSystem;
    std::vector<double> sortTimes;
};

struct PlaceResults {
    std::string place; // "disk" or "tmpfs"
    std::optional<Row> w1;
    std::optional<Row> w2;
    std::vector<Row> w3; // 100, 1,000 and 10,000 pairs
    std::optional<Row> w4;
    std::optional<Measured> w5;
    long peakKiB = 0;
    // W2 run alone and with --diff, side by side: medians and peaks.
    double w2Alone = kNone;
    double w2Diff = kNone;
    long w2AlonePeakKiB = 0;
    long w2DiffPeakKiB = 0;
    std::optional<std::pair<double, double>> longLines;
};

class Bench {
public:
    explicit Bench(const Options& options)
        : m_options(options)
    {
    }

    // Every wanted workload in a temporary folder under base.
    PlaceResults Run(const std::string& place, const std::string& base);

private:
    bool Wanted(const char* workload) const
    {
        return m_options.only.empty() || m_options.only == workload;
    }
    std::string WriteDefinitionFile(int pairCount);
    std::vector<Measured> MeasureTrees(
        const std::string& org, std::vector<Variant> variants, bool inChild, bool reuseTargets);
    void RemoveOutputs() const;
    double MeasureSed(
        const std::string& org, const std::string& newOrg, const std::vector<Pair>& pairs);
    PlaceResults RunWorkloads(const std::string& place);
    // Peak MiB of a run over one line of the given size with a match every KB, and without.
    std::pair<double, double> MeasureLongLines(std::uint64_t bytes);
    // W2 run alone and with --diff, in turns, each in a child for its peak.
    void MeasureDiff(const std::string& org, const std::string& definition, PlaceResults& results);

    const Options& m_options;
    std::string m_work; // the place's temporary folder
    Targets m_targets;
};

std::string Bench::WriteDefinitionFile(int pairCount)
{
    const std::string path = m_work + "/pairs" + std::to_string(pairCount) + ".txt";
    WriteDefinition(path, m_targets.Definition(pairCount));
    return path;
}

std::vector<Measured> Bench::MeasureTrees(
    const std::string& org, std::vector<Variant> variants, bool inChild, bool reuseTargets)
{
    // Every run writes into a target that does not exist yet, with the previous runs' writes
    // already on disk, so no run pays for another's writeback. Many-file targets get a new
    // name per run and are removed after the group: on ext4 without a journal (as here) every
    // new inode is checked against the inodes deleted in the last minutes, so deleting a tree
    // just before a run would slow the file creation of that run, cp's 2,000 most of all.
    // A target of one large file is removed and reused, to bound the disk space.
    auto target = [&](const std::string& prefix, const std::string& label) {
        const std::string path = m_work + "/" + prefix + (reuseTargets ? "" : "-" + label);
        RemoveTree(path);
        sync();
        return path;
    };
    auto runEngine = [&](Variant& variant, const std::string& label) {
        const std::string output
            = target("new-" + variant.tag.substr(0, 2) + "-" + variant.pairsTag, label);
        variant.measured.newOrg = output + "/" + std::filesystem::path(org).filename().string();
        if (!inChild && !(variant.sameTreeAs && label == "warm-up")) {
            return RunEngine(org, variant.definition, output);
        }
        const ChildEngineRun child = RunEngineInChild(org, variant.definition, output);
        variant.measured.peakKiB = std::max(variant.measured.peakKiB, child.peakKiB);
        variant.measured.inheritedKiB = std::max(variant.measured.inheritedKiB, child.inheritedKiB);
        return child.run;
    };
    std::string lastCopy;
    auto runCp = [&](const std::string& label) {
        lastCopy = target("cp", label);
        return RunCommand({ "cp", "-r", org, lastCopy });
    };

    for (Variant& variant : variants) {
        const std::string& tag = variant.tag;
        Measured& measured = variant.measured;
        measured.row.name = tag;
        if (variant.sameTreeAs) {
            const Variant& same = variants.at(*variant.sameTreeAs);
            measured.scan = same.measured.scan;
            runEngine(variant, "warm-up");
            Require(TreeDigest(measured.newOrg) == same.firstDigest,
                tag + ": the NEW tree differs from " + same.tag + "'s");
            variant.firstDigest = same.firstDigest;
            measured.changedFiles = same.measured.changedFiles;
            measured.newBytes = same.measured.newBytes;
            std::printf("%s: NEW tree the same as %s's\n", tag.c_str(), same.tag.c_str());
            std::fflush(stdout);
            continue;
        }
        Matcher matcher(variant.pairs);
        measured.scan = ScanTree(org, matcher);
        const ScanFacts& scan = measured.scan;
        std::printf("%s: %d file(s), %.1f MB, %llu lines; lines where a search text occurs: %llu "
                    "(%.2f %%), "
                    "in %zu file(s) (%.1f %%)\n",
            tag.c_str(), scan.files, MB(scan.bytes), static_cast<unsigned long long>(scan.lines),
            static_cast<unsigned long long>(scan.matchingLines),
            Percent(scan.matchingLines, scan.lines), scan.matchingFiles.size(),
            Percent(scan.matchingFiles.size(), static_cast<std::uint64_t>(scan.files)));
        std::fflush(stdout);

        // Warm-up, untimed: the page cache holds the input from here on. Its output is checked.
        runEngine(variant, "warm-up");
        const std::vector<std::string> changed = std::filesystem::exists(measured.newOrg)
            ? ListFiles(measured.newOrg)
            : std::vector<std::string> {};
        Require(!changed.empty(), tag + ": the engine changed no file");
        Require(changed == scan.matchingFiles,
            tag + ": the NEW tree holds other files than those where a search text occurs");
        for (const std::string& name : changed) {
            measured.newBytes += std::filesystem::file_size(measured.newOrg + "/" + name);
        }
        // No replacement holds or forms a search text, so every occurrence must be gone.
        Require(ScanTree(measured.newOrg, matcher).matchingLines == 0,
            tag + ": a search text is left in the NEW tree");
        variant.firstDigest = TreeDigest(measured.newOrg);
        measured.changedFiles = changed.size();
        std::printf(
            "%s: NEW tree %zu file(s) (%.1f %% of the files), %.1f MB, no search text left\n",
            tag.c_str(), changed.size(),
            Percent(changed.size(), static_cast<std::uint64_t>(scan.files)), MB(measured.newBytes));
        std::fflush(stdout);
    }
    std::uint64_t readBytes = 0;
    ReadTree(org, readBytes);
    Require(readBytes == variants.front().measured.scan.bytes, "the read floor read other bytes");
    runCp("warm-up");
    Require(static_cast<int>(ListFiles(lastCopy).size()) == variants.front().measured.scan.files,
        "cp -r copied another number of files");

    // Every setup and cp take turns within each repetition, so a slow spell of the machine
    // (or of the file system) falls on all of them alike.
    std::vector<double> readTimes;
    for (int rep = 0; rep < m_options.reps; ++rep) {
        readTimes.push_back(ReadTree(org, readBytes));
        for (Variant& variant : variants) {
            const std::string label = std::to_string(rep + 1);
            const EngineRun run = runEngine(variant, label);
            variant.engineTimes.push_back(run.seconds);
            variant.engineCpu.push_back(run.cpuSeconds);
            variant.engineSystem.push_back(run.systemSeconds);
            variant.loadTimes.push_back(run.loadSeconds);
            const CommandRun cp = runCp(variant.pairsTag + "-" + label);
            variant.cpTimes.push_back(cp.seconds);
            variant.cpCpu.push_back(cp.cpuSeconds);
            variant.cpSystem.push_back(cp.systemSeconds);
            if (variant.sameTreeAs) {
                variant.sortTimes.push_back(
                    RunCommand({ "sort", "-o", "/dev/null", variant.definition }, true).seconds);
            }
        }
    }
    std::printf("read floor: s %s (median %.3f, %.1f MB)\n", Times(readTimes).c_str(),
        Median(readTimes), MB(readBytes));
    std::vector<Measured> results;
    for (Variant& variant : variants) {
        const std::string& tag = variant.tag;
        Measured& measured = variant.measured;
        Require(TreeDigest(measured.newOrg) == variant.firstDigest,
            tag + ": two engine runs gave different NEW trees");
        measured.row.engine = Median(variant.engineTimes);
        measured.row.cp = Median(variant.cpTimes);
        measured.row.engineCpu = Median(variant.engineCpu);
        measured.row.cpCpu = Median(variant.cpCpu);
        measured.row.read = Median(readTimes);
        measured.load = Median(variant.loadTimes);
        std::printf(
            "%s: engine s %s (median %.3f, of which LoadDefinition %.4f; CPU s median %.3f, in the "
            "kernel %.3f)\n",
            tag.c_str(), Times(variant.engineTimes).c_str(), measured.row.engine,
            Median(variant.loadTimes), measured.row.engineCpu, Median(variant.engineSystem));
        std::printf("%s: cp -r s  %s (median %.3f; CPU s median %.3f, in the kernel %.3f)\n",
            tag.c_str(), Times(variant.cpTimes).c_str(), measured.row.cp, measured.row.cpCpu,
            Median(variant.cpSystem));
        if (variant.sameTreeAs) {
            measured.sort = Median(variant.sortTimes);
            std::printf("%s: LC_ALL=C sort of the definition s %s (median %.3f); load/sort %.2f\n",
                tag.c_str(), Times(variant.sortTimes).c_str(), measured.sort,
                measured.load / measured.sort);
        }
        if (inChild || variant.sameTreeAs) {
            std::printf("%s: engine peak resident %.1f MiB (ru_maxrss of the child; %.1f MiB of it "
                        "held at fork)\n",
                tag.c_str(), static_cast<double>(measured.peakKiB) / 1024,
                static_cast<double>(measured.inheritedKiB) / 1024);
        }
        results.push_back(measured);
    }
    std::fflush(stdout);
    return results;
}

// The NEW trees and copies of the last MeasureTrees, unless they are to be kept.
void Bench::RemoveOutputs() const
{
    if (m_options.keep) {
        return;
    }
    for (const auto& entry : std::filesystem::directory_iterator(m_work)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("new-", 0) == 0 || name.rfind("cp", 0) == 0) {
            RemoveTree(entry.path().string());
        }
    }
}

double Bench::MeasureSed(
    const std::string& org, const std::string& newOrg, const std::vector<Pair>& pairs)
{
    if (!CommandOutputHas({ "sed", "--version" }, "GNU sed")) {
        std::printf("W1: GNU sed not found; sed is n/a\n");
        return kNone;
    }
    const std::string script = m_work + "/pairs.sed";
    {
        std::ofstream out(script, std::ios::binary);
        out << SedScript(pairs);
        Require(static_cast<bool>(out), "cannot write " + script);
    }
    const std::string tree = m_work + "/sed-W1";
    RemoveTree(tree);
    RunCommand({ "cp", "-r", org, tree });
    std::printf("W1: running sed -f (%zu commands) over every file, once; this takes minutes\n",
        pairs.size());
    std::fflush(stdout);
    const CommandRun sed = RunCommand(
        { "find", tree, "-type", "f", "-exec", "sed", "-f", script, "-i", "{}", "+" }, true);
    const double seconds = sed.seconds;
    // Not part of the measurement: how far sed's byte-level reading agrees with the engine's.
    int agreeing = 0;
    const std::vector<std::string> names = ListFiles(org);
    for (const std::string& name : names) {
        const std::string changed = newOrg + "/" + name;
        const std::string expected = std::filesystem::exists(changed) ? changed : org + "/" + name;
        agreeing += SameContents(tree + "/" + name, expected) ? 1 : 0;
    }
    std::printf(
        "W1: sed -f s %.1f (CPU s %.1f); its output equals the engine's for %d of %zu files\n",
        seconds, sed.cpuSeconds, agreeing, names.size());
    std::fflush(stdout);
    if (!m_options.keep) {
        RemoveTree(tree);
    }
    return seconds;
}

std::string Fixed(double value, const char* format = "%.2f")
{
    if (std::isnan(value)) {
        return "n/a";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::pair<double, double> Bench::MeasureLongLines(std::uint64_t bytes)
{
    const std::string definition = m_work + "/long-rules.txt";
    std::ofstream(definition, std::ios::binary) << "customerid,ClientID\r\n";
    double mib[2] = { 0, 0 };
    for (const bool matching : { true, false }) {
        const std::string org = m_work + (matching ? "/long-match/org" : "/long-plain/org");
        std::filesystem::create_directories(org);
        {
            // One line without a line end: a match in every KB, or none at all.
            std::ofstream out(org + "/oneLine.bas", std::ios::binary);
            const std::string piece
                = std::string(1024 - 11, 'x') + (matching ? " CustomerID" : " CustomerNo");
            for (std::uint64_t written = 0; written < bytes; written += piece.size()) {
                out << piece;
            }
        }
        const std::string output = m_work + "/long-out";
        std::filesystem::remove_all(output);
        std::filesystem::create_directories(output);
        const ChildEngineRun child = RunEngineInChild(org, definition, output);
        mib[matching ? 0 : 1] = static_cast<double>(child.peakKiB - child.inheritedKiB) / 1024;
        std::printf("%s line of %.0f MiB: engine %.3f s, peak resident %.1f MiB above what the "
                    "child held at fork\n",
            matching ? "changing" : "plain", static_cast<double>(bytes) / (1 << 20),
            child.run.seconds, mib[matching ? 0 : 1]);
        std::filesystem::remove_all(output);
        RemoveTree(m_work + (matching ? "/long-match" : "/long-plain"));
    }
    return { mib[0], mib[1] };
}

void PrintTable(const PlaceResults& results)
{
    std::vector<Row> rows;
    for (const std::optional<Row>& row : { results.w1, results.w2 }) {
        if (row) {
            rows.push_back(*row);
        }
    }
    rows.insert(rows.end(), results.w3.begin(), results.w3.end());
    if (results.w4) {
        rows.push_back(*results.w4);
    }
    if (results.w5) {
        rows.push_back(results.w5->row);
    }
    // The last column divides CPU time instead of wall time: steadier when others share the cores.
    std::printf("\n%s\n%-16s %10s %8s %8s %10s %10s %8s %15s\n", results.place.c_str(), "workload",
        "engine s", "cp s", "read s", "engine/cp", "engine/read", "sed s", "CPU engine/cp");
    for (const Row& row : rows) {
        std::printf("%-16s %10s %8s %8s %10s %10s %8s %15s\n", row.name.c_str(),
            Fixed(row.engine, "%.3f").c_str(), Fixed(row.cp, "%.3f").c_str(),
            Fixed(row.read, "%.3f").c_str(), Fixed(row.engine / row.cp).c_str(),
            Fixed(row.engine / row.read).c_str(), Fixed(row.sed, "%.1f").c_str(),
            Fixed(row.engineCpu / row.cpCpu).c_str());
    }
    if (results.w2) {
        std::printf("W2 peak resident %.2f MiB\n", static_cast<double>(results.peakKiB) / 1024);
        std::printf("W2 alone %.3f s %.2f MiB, with --diff %.3f s %.2f MiB\n", results.w2Alone,
            static_cast<double>(results.w2AlonePeakKiB) / 1024, results.w2Diff,
            static_cast<double>(results.w2DiffPeakKiB) / 1024);
    }
    if (results.w5) {
        std::printf("W5 LoadDefinition %.3f s, LC_ALL=C sort %.3f s, peak resident %.2f MiB\n",
            results.w5->load, results.w5->sort, static_cast<double>(results.w5->peakKiB) / 1024);
    }
}

void Bench::MeasureDiff(
    const std::string& org, const std::string& definition, PlaceResults& results)
{
    std::vector<double> alone;
    std::vector<double> diff;
    const std::string output = m_work + "/new-w2-diff";
    const std::string diffFile = m_work + "/w2.diff";
    for (int rep = 0; rep < m_options.reps; ++rep) {
        const ChildEngineRun plain = RunEngineInChild(org, definition, output);
        Require(plain.run.seconds > 0, "W2 alone did not run");
        alone.push_back(plain.run.seconds);
        results.w2AlonePeakKiB = std::max(results.w2AlonePeakKiB, plain.peakKiB);
        const ChildEngineRun withDiff = RunEngineInChild(org, definition, output, diffFile);
        Require(withDiff.run.seconds > 0, "W2 with --diff did not run");
        diff.push_back(withDiff.run.seconds);
        results.w2DiffPeakKiB = std::max(results.w2DiffPeakKiB, withDiff.peakKiB);
    }
    std::printf("W2 alone s %s, with --diff s %s (a diff of %.1f MB)\n", Times(alone).c_str(),
        Times(diff).c_str(), MB(std::filesystem::file_size(diffFile)));
    std::fflush(stdout);
    results.w2Alone = Median(alone);
    results.w2Diff = Median(diff);
    RemoveTree(output);
    std::filesystem::remove(diffFile);
}

// The disk's fields as they always were, then the tmpfs ones.
void PrintSummary(const PlaceResults& disk, const PlaceResults& tmpfs)
{
    const double w1Ratio = disk.w1 ? disk.w1->engine / disk.w1->cp : kNone;
    const double sedRatio = disk.w1 ? disk.w1->sed / disk.w1->engine : kNone;
    const double w2Ratio = disk.w2 ? disk.w2->engine / disk.w2->cp : kNone;
    const double peak = disk.w2 ? static_cast<double>(disk.peakKiB) / 1024 : kNone;
    const double diffRatio = disk.w2 ? disk.w2Diff / disk.w2Alone : kNone;
    const double diffPeak = disk.w2 ? static_cast<double>(disk.w2DiffPeakKiB) / 1024 : kNone;
    const double w3Ratio = disk.w3.size() == 3 ? disk.w3[2].engine / disk.w3[0].engine : kNone;
    const auto& longLines = disk.longLines;
    const double w1Read = tmpfs.w1 ? tmpfs.w1->engine / tmpfs.w1->read : kNone;
    const double w1Cp = tmpfs.w1 ? tmpfs.w1->engine / tmpfs.w1->cp : kNone;
    const double w2Cp = tmpfs.w2 ? tmpfs.w2->engine / tmpfs.w2->cp : kNone;
    const double w3W1
        = tmpfs.w1 && !tmpfs.w3.empty() ? tmpfs.w3[0].engine / tmpfs.w1->engine : kNone;
    const double w4Cp = tmpfs.w4 ? tmpfs.w4->engine / tmpfs.w4->cp : kNone;
    const auto& w5 = tmpfs.w5;
    const double w5Sort = w5 ? w5->load / w5->sort : kNone;
    const double w5W1 = w5 && tmpfs.w1 ? w5->row.engine / tmpfs.w1->engine : kNone;
    const double w5Peak = w5 ? static_cast<double>(w5->peakKiB) / 1024 : kNone;
    std::printf("\nW1 engine/cp=%s sed/engine=%s W2 engine/cp=%s peakMiB=%s diff/run=%s "
                "diffPeakMiB=%s W3 10000/100=%s "
                "longLineMiB=%s plainLineMiB=%s tmpfs W1/read=%s W1/cp=%s W2/cp=%s W3/W1=%s "
                "W4/cp=%s W5 load/sort=%s W5/W1=%s W5 peakMiB=%s\n",
        Fixed(w1Ratio).c_str(), Fixed(sedRatio).c_str(), Fixed(w2Ratio).c_str(),
        Fixed(peak).c_str(), Fixed(diffRatio).c_str(), Fixed(diffPeak).c_str(),
        Fixed(w3Ratio).c_str(), Fixed(longLines ? longLines->first : kNone).c_str(),
        Fixed(longLines ? longLines->second : kNone).c_str(), Fixed(w1Read).c_str(),
        Fixed(w1Cp).c_str(), Fixed(w2Cp).c_str(), Fixed(w3W1).c_str(), Fixed(w4Cp).c_str(),
        Fixed(w5Sort).c_str(), Fixed(w5W1).c_str(), Fixed(w5Peak).c_str());
}

PlaceResults Bench::Run(const std::string& place, const std::string& base)
{
    TempFolder work(base, m_options.keep);
    m_work = work.Path();
    std::printf("%s: workloads in %s%s\n", place.c_str(), m_work.c_str(),
        m_options.keep ? " (kept)" : " (removed at the end)");
    std::fflush(stdout);
    return RunWorkloads(place);
}

PlaceResults Bench::RunWorkloads(const std::string& place)
{
    using Clock = std::chrono::steady_clock;
    const TreeShape w1Shape = m_options.smoke ? TreeShape { 60, 600'000, 0.30, 0.057 }
                                              : TreeShape { 2000, 60'000'000, 0.30, 0.057 };
    const std::uint64_t w2Bytes = m_options.smoke ? std::uint64_t(4) << 20 : std::uint64_t(1) << 30;
    constexpr double w2TargetLineRate = 0.017;
    const ManyFilesShape w4Shape = m_options.smoke
        ? ManyFilesShape { 1000, 10, 1024, 4096, 0.30, 0.057 }
        : ManyFilesShape { 100'000, 1000, 1024, 4096, 0.30, 0.057 };

    PlaceResults results;
    results.place = place;

    const std::vector<Pair> pairs1000 = m_targets.Definition(1000);
    const std::string definition1000 = WriteDefinitionFile(1000);

    if (Wanted("W1") || Wanted("W3") || Wanted("W5")) {
        const Clock::time_point start = Clock::now();
        const std::string org = m_work + "/w1/org";
        std::filesystem::create_directories(m_work + "/w1");
        const TreeFacts facts = GenerateTree(org, w1Shape, m_targets, 1);
        std::printf("W1 tree: %d files in %d folders, %.1f MB, generated in %.1f s\n", facts.files,
            facts.folders, MB(facts.bytes),
            std::chrono::duration<double>(Clock::now() - start).count());
        std::fflush(stdout);

        // W1, W3 and W5 run as one group, taking turns, so that their ratios share the machine's
        // conditions; W1 is W3's 1,000 pair setup and W5's measure, and is measured once for all.
        const bool w1 = Wanted("W1") || Wanted("W5");
        std::vector<Variant> variants;
        if (w1) {
            variants.emplace_back("W1", definition1000, pairs1000);
        }
        if (Wanted("W3")) {
            for (const int count : { 100, 1000, 10000 }) {
                if (count != 1000 || !Wanted("W1")) {
                    variants.emplace_back("W3 " + std::to_string(count) + " pairs",
                        WriteDefinitionFile(count), m_targets.Definition(count));
                }
            }
        }
        const int w5Pairs = m_options.smoke ? 20'000 : 1'000'000;
        if (Wanted("W5")) {
            const int count = w5Pairs;
            const std::string definition = m_work + "/renaming" + std::to_string(count) + ".txt";
            WriteDefinition(definition, m_targets.RenamingDefinition(count, 5));
            Variant& w5 = variants.emplace_back("W5", definition, std::vector<Pair> {});
            w5.pairsTag = std::to_string(count);
            w5.sameTreeAs = 0;
        }
        std::vector<Measured> measured = MeasureTrees(org, std::move(variants), false, false);
        if (Wanted("W5")) {
            results.w5 = measured.back();
            results.w5->row.name = "W5 " + std::to_string(w5Pairs) + " pairs";
            measured.pop_back();
        }
        if (w1) {
            // sed takes minutes and is no faster on tmpfs: measured on the disk only.
            if (m_options.sed && place == "disk" && Wanted("W1")) {
                measured.front().row.sed = MeasureSed(org, measured.front().newOrg, pairs1000);
            }
            results.w1 = measured.front().row;
            measured.erase(measured.begin());
            if (Wanted("W3")) {
                Row same = *results.w1;
                same.name = "W3 1000 (=W1)";
                same.sed = kNone;
                Measured entry;
                entry.row = same;
                measured.insert(measured.begin() + 1, entry);
            }
        }
        for (const Measured& each : measured) {
            results.w3.push_back(each.row);
        }
        RemoveOutputs();
        if (!m_options.keep) {
            RemoveTree(m_work + "/w1");
        }
    }

    if (Wanted("W4")) {
        const Clock::time_point start = Clock::now();
        const std::string org = m_work + "/w4/org";
        std::filesystem::create_directories(m_work + "/w4");
        const TreeFacts facts = GenerateManyFiles(org, w4Shape, m_targets, 4);
        std::printf("W4 tree: %d files in %d folders, %.1f MB, generated in %.1f s\n", facts.files,
            facts.folders, MB(facts.bytes),
            std::chrono::duration<double>(Clock::now() - start).count());
        std::fflush(stdout);
        results.w4
            = MeasureTrees(org, { Variant { "W4", definition1000, pairs1000 } }, false, false)
                  .front()
                  .row;
        RemoveOutputs();
        if (!m_options.keep) {
            RemoveTree(m_work + "/w4");
        }
    }

    if (Wanted("W2")) {
        const Clock::time_point start = Clock::now();
        const std::string org = m_work + "/w2/org";
        std::filesystem::create_directories(org);
        const std::uint64_t size
            = GenerateFile(org + "/modLarge.bas", w2Bytes, w2TargetLineRate, m_targets, 2);
        std::printf("W2 file: %.1f MB, generated in %.1f s\n", MB(size),
            std::chrono::duration<double>(Clock::now() - start).count());
        std::fflush(stdout);
        const Measured measured
            = MeasureTrees(org, { Variant { "W2", definition1000, pairs1000 } }, true, true)
                  .front();
        RemoveOutputs();
        results.peakKiB = measured.peakKiB;
        results.w2 = measured.row;
        MeasureDiff(org, definition1000, results);
        if (!m_options.keep) {
            RemoveTree(m_work + "/w2");
        }
    }

    // Memory, not speed: the disk alone.
    if (Wanted("long") && place == "disk") {
        results.longLines
            = MeasureLongLines(m_options.smoke ? std::uint64_t(4) << 20 : std::uint64_t(256) << 20);
    }

    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    PrintTable(results);
    std::fflush(stdout);
    return results;
}

std::string CpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown CPU";
}

} // namespace
} // namespace bench

int main(int argc, char** argv)
{
    const bench::Options options = bench::ParseOptions(argc, argv);
    try {
        if (!options.run.empty()) {
            // For a profiler: the engine alone on a workload that --keep left behind.
            const bench::EngineRun run
                = bench::RunEngine(options.run[0], options.run[1], options.run[2]);
            std::printf("engine %.3f s, CPU %.3f s, in the kernel %.3f s\n", run.seconds,
                run.cpuSeconds, run.systemSeconds);
            return 0;
        }
        std::printf("vandor_bench%s: %ld cores online, %s, load average %s; %d repetitions\n",
            options.smoke ? " --smoke" : "", sysconf(_SC_NPROCESSORS_ONLN),
            bench::CpuModel().c_str(), bench::LoadAverage().c_str(), options.reps);
        std::fflush(stdout);
        bench::Bench bench(options);
        // The disk is wherever TMPDIR points, /tmp without it; tmpfs is /dev/shm, where the
        // file system costs no more than the page cache.
        const char* base = std::getenv("TMPDIR");
        const std::string disk = base != nullptr && *base != '\0' ? base : "/tmp";
        bench::PlaceResults onDisk;
        bench::PlaceResults onTmpfs;
        onDisk.place = "disk";
        onTmpfs.place = "tmpfs";
        if (options.where != "tmpfs") {
            onDisk = bench.Run("disk", disk);
        }
        if (options.where != "disk") {
            if (std::filesystem::is_directory("/dev/shm")) {
                onTmpfs = bench.Run("tmpfs", "/dev/shm");
            } else {
                std::printf("tmpfs: /dev/shm is not there; its fields are n/a\n");
            }
        }
        bench::PrintSummary(onDisk, onTmpfs);
        return 0;
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "vandor_bench: %s\n", error.what());
        return 1;
    }
}
