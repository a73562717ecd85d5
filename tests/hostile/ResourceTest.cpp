// Resource bounds: one input and one output file open at most, and memory that grows neither with
// the size of a file nor with the number of files.

#include "tests/hostile/Hostile.h"
#include "tests/support/SysCallsGuard.h"

#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/SysCalls.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

namespace {

using hostile::Scene;
using hostile::TreeDigest;
using hostile::WriteFast;
using testing_support::ReadBytes;
using testing_support::Snapshot;
namespace fs = std::filesystem;
namespace messages = engine::messages;

// Forty files on four levels, half of them changed, some with stale copies.
void Populate(Scene& scene)
{
    for (const char* folder : { "", "s/", "s/t/", "u/" }) {
        for (int i = 0; i < 10; ++i) {
            const std::string name = std::string(folder) + "f" + std::to_string(i) + ".frm";
            scene.tree.Write("org/proj/" + name, i % 2 ? "old " + name + "\r\n" : "same\r\n");
            if (i % 4 == 0) {
                scene.tree.Write("new/proj/" + name, "stale");
            }
        }
    }
    scene.tree.Age("org");
}

// Small files are opened on a thread of their own, while the walk writes.
std::mutex counting;
std::set<int> openFiles;
std::size_t mostOpen = 0;
std::size_t copiesCreated = 0;

int CountingOpen(int folder, const char* path, int flags, mode_t mode)
{
    const std::lock_guard lock(counting);
    const int fd = platform::RealSysCalls().open(folder, path, flags, mode);
    if (fd >= 0) {
        openFiles.insert(fd);
        mostOpen = std::max(mostOpen, openFiles.size());
        copiesCreated += (flags & O_CREAT) != 0 ? 1 : 0;
    }
    return fd;
}

int CountingClose(int fd)
{
    const std::lock_guard lock(counting);
    openFiles.erase(fd);
    return platform::RealSysCalls().close(fd);
}

TEST(Resources, AtMostOneInputAndOneOutputFileAreOpenAtOnce)
{
    Scene scene;
    Populate(scene);
    openFiles.clear();
    mostOpen = 0;
    copiesCreated = 0;
    {
        testing_support::SysCallsGuard calls;
        calls->open = CountingOpen;
        calls->close = CountingClose;
        scene.Run();
    }

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    EXPECT_LE(mostOpen, 2u);
    EXPECT_EQ(copiesCreated, 20u); // the count saw the copies being written
    EXPECT_TRUE(openFiles.empty());
    EXPECT_EQ(ReadBytes(scene.New("s/t/f1.frm")), "new s/t/f1.frm\r\n");
}

// Descriptors free below the limit, with those in use counted.
rlim_t LimitLeaving(int free)
{
    std::set<int> used;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            // The listing's own descriptor is free again once it is closed.
            if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(dir)) {
                used.insert(std::atoi(entry->d_name));
            }
        }
        closedir(dir);
    }
    rlim_t limit = 0;
    for (int left = free; left > 0; ++limit) {
        if (!used.count(static_cast<int>(limit))) {
            --left;
        }
    }
    return limit;
}

TEST(Resources, AWholeRunFitsInFourFileDescriptors)
{
    Scene scene;
    Populate(scene);
    Scene unlimited;
    Populate(unlimited);
    unlimited.Run();
    ASSERT_EQ(unlimited.window.LastCaption(), messages::Finished);
    platform::DecodeCp932(
        "\x82\xa0"); // the code tables are loaded before the limit, as at start-up

    int status = 0;
    const std::string caption = hostile::InChild(
        [&] {
            // The definition file, the listing of a folder, one input, one output.
            const rlimit limit { LimitLeaving(4), LimitLeaving(4) };
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
                return std::string("setrlimit failed");
            }
            scene.Run();
            return platform::EncodeFileName(scene.window.LastCaption());
        },
        false, status);

    ASSERT_EQ(status, 0);
    EXPECT_EQ(platform::DecodeFileName(caption), messages::Finished);
    EXPECT_EQ(Snapshot(scene.tree.Path("new")), Snapshot(unlimited.tree.Path("new")));
}

long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field)) {
            return std::atol(line.c_str() + std::strlen(field));
        }
    }
    return -1;
}

// Largest resident set of a child that runs the walk, in KiB. A forked child starts with its
// parent's pages, so it hands back what it can first and counts its peak from there.
long PeakKiB(Scene& scene, int& status, std::string& caption)
{
    const std::string report = hostile::InChild(
        [&] {
            malloc_trim(0);
            std::ofstream("/proc/self/clear_refs") << "5"; // resets the peak to the current size
            scene.Run();
            long peak = StatusKiB("VmHWM:");
            if (peak < 0) {
                rusage usage {};
                getrusage(RUSAGE_SELF, &usage);
                peak = usage.ru_maxrss;
            }
            return std::to_string(peak) + "\n"
                + platform::EncodeFileName(scene.window.LastCaption());
        },
        false, status);
    caption = report.substr(report.find('\n') + 1);
    return std::atol(report.c_str());
}

TEST(Resources, MemoryDoesNotGrowWithTheSizeOfAFile)
{
    if (hostile::Sanitized()) {
        GTEST_SKIP()
            << "a sanitizer keeps memory of its own (freed memory, shadow): no bound to measure";
    }
    Scene scene;
    // About 200 MB of short lines; one line in 100,000 changes, so the whole file is copied.
    std::string block;
    for (int i = 0; i < 100000; ++i) {
        block += i == 50000 ? "a line that is old\r\n" : "a short line of text\r\n";
    }
    const std::string path = scene.Org("big.frm").native();
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    std::size_t size = 0;
    while (size < 200u << 20) {
        ASSERT_EQ(write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
        size += block.size();
    }
    close(fd);

    int status = 0;
    std::string caption;
    const long peak = PeakKiB(scene, status, caption);

    ASSERT_EQ(status, 0);
    EXPECT_EQ(platform::DecodeFileName(caption), messages::Finished);
    EXPECT_EQ(fs::file_size(scene.New("big.frm")), size);
    RecordProperty("peakKiB", static_cast<int>(peak));
    EXPECT_LT(peak, 64 * 1024) << "KiB at the peak";
    fs::remove(scene.New("big.frm"));
}

// One line of 48 MiB that changes costs it about twice while it is rewritten, and the memory is
// given back before the next file; lines as long in which nothing matches are never held whole.
TEST(Resources, ALongLineCostsItsLengthTwiceAndIsGivenBack)
{
    if (hostile::Sanitized()) {
        GTEST_SKIP()
            << "a sanitizer keeps memory of its own (freed memory, shadow): no bound to measure";
    }
    constexpr std::size_t kLine = std::size_t(48) << 20;
    std::string line;
    line.reserve(kLine + 2);
    while (line.size() < kLine) {
        line += "x = a + b + c + d + e + f + g + h ";
        if (line.size() % 1024 < 34) {
            line += "old ";
        }
    }
    Scene scene;
    WriteFast(scene.Org("a.frm"), line + "\r\n");
    WriteFast(scene.Org("b.frm"), std::string(kLine, 'z') + "\r\nold\r\n");
    WriteFast(scene.Org("c.frm"), "old\r\n");
    long afterLongLines = -1;
    scene.window.beforeNext = [&](const std::u16string& name) {
        if (name == u"c.frm") {
            afterLongLines = StatusKiB("VmRSS:");
        }
    };
    int status = 0;
    std::string caption;
    const std::string report = hostile::InChild(
        [&] {
            malloc_trim(0);
            const long before = StatusKiB("VmRSS:");
            std::ofstream("/proc/self/clear_refs") << "5";
            scene.Run();
            return std::to_string(before) + " " + std::to_string(StatusKiB("VmHWM:")) + " "
                + std::to_string(afterLongLines) + "\n"
                + platform::EncodeFileName(scene.window.LastCaption());
        },
        false, status);
    ASSERT_EQ(status, 0);
    long before = 0, peak = 0, after = 0;
    std::sscanf(report.c_str(), "%ld %ld %ld", &before, &peak, &after);
    EXPECT_EQ(platform::DecodeFileName(report.substr(report.find('\n') + 1)), messages::Finished);
    EXPECT_EQ(fs::file_size(scene.New("a.frm")), line.size() + 2);
    RecordProperty("peakKiB", static_cast<int>(peak - before));
    RecordProperty("afterKiB", static_cast<int>(after - before));
    EXPECT_LT(peak - before, static_cast<long>(3 * kLine / 1024)) << "KiB at the peak";
    EXPECT_LT(after - before, 16 * 1024) << "KiB still held after the long lines";
}

TEST(Resources, MemoryDoesNotGrowWithTheNumberOfFiles)
{
    if (hostile::Sanitized()) {
        GTEST_SKIP()
            << "a sanitizer keeps memory of its own (freed memory, shadow): no bound to measure";
    }
    Scene few;
    Scene many;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "f" + std::to_string(i) + ".frm";
        const std::string text = i % 1000 == 0 ? "old\r\n" : "same\r\n";
        if (i < 200) {
            WriteFast(few.Org(name), text);
        }
        WriteFast(many.Org(name), text);
    }
    int status = 0;
    std::string caption;
    const long fewPeak = PeakKiB(few, status, caption);
    ASSERT_EQ(status, 0);
    const long manyPeak = PeakKiB(many, status, caption);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(platform::DecodeFileName(caption), messages::Finished);
    EXPECT_EQ(Snapshot(many.New()).size(), 20u);
    RecordProperty("fewPeakKiB", static_cast<int>(fewPeak));
    RecordProperty("manyPeakKiB", static_cast<int>(manyPeak));
    EXPECT_LT(manyPeak, 64 * 1024) << "KiB at the peak";
    // A hundred times the files may cost a little, never in proportion.
    EXPECT_LT(manyPeak - fewPeak, 4 * 1024) << "KiB more for 20,000 files than for 200";
}

} // namespace
