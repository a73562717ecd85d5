// The write side failing: a full disk, a failing close, output folders removed under the walk, and
// once a real file system that fills up. No partial copy may survive, the first input that could
// not be handled is named, and the next run puts everything right.

#include "tests/hostile/Hostile.h"
#include "tests/support/SysCallsGuard.h"

#include "platform/FileName.h"
#include "platform/SysCalls.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

namespace {

using hostile::Scene;
using hostile::TreeDigest;
using testing_support::ReadBytes;
using testing_support::Snapshot;
namespace fs = std::filesystem;
namespace messages = engine::messages;

// Injected faults, and what the file layer did under them.
struct Faults {
    long writeBudget = -1; // bytes that fit before the disk is full; -1: no limit
    int failingClose = 0; // the n-th output file fails to close; -1 every one; 0 none
    std::size_t writeChunk = 0; // largest write that goes through at once (short writes); 0: any
    bool interrupt = false; // every other write is interrupted before it starts

    std::map<int, std::string> outputs; // open output files by descriptor, as their inputs' paths
    std::string lastInput; // the input the status line names: the one whose copy is written
    int outputsOpened = 0;
    std::string firstFailed; // the input of the first output whose write or close failed
    bool interruptNext = false;
};
Faults faults;

void Failed(int fd)
{
    if (faults.firstFailed.empty() && faults.outputs.count(fd)) {
        faults.firstFailed = faults.outputs[fd];
    }
}

int Open(int folder, const char* path, int flags, mode_t mode)
{
    const int fd = platform::RealSysCalls().open(folder, path, flags, mode);
    if (fd >= 0 && (flags & O_ACCMODE) == O_WRONLY) {
        faults.outputs[fd] = faults.lastInput;
        ++faults.outputsOpened;
    }
    return fd;
}

ssize_t Write(int fd, const void* data, std::size_t size)
{
    if (faults.interrupt && (faults.interruptNext = !faults.interruptNext)) {
        errno = EINTR;
        return -1;
    }
    if (faults.writeChunk != 0) {
        size = std::min(size, faults.writeChunk);
    }
    if (faults.writeBudget >= 0) {
        if (faults.writeBudget == 0) {
            Failed(fd);
            errno = ENOSPC;
            return -1;
        }
        size = std::min(size, static_cast<std::size_t>(faults.writeBudget));
    }
    const ssize_t n = platform::RealSysCalls().write(fd, data, size);
    if (n < 0) {
        Failed(fd);
    } else if (faults.writeBudget >= 0) {
        faults.writeBudget -= n;
    }
    return n;
}

int Close(int fd)
{
    const bool output = faults.outputs.count(fd) != 0;
    const int result = platform::RealSysCalls().close(fd);
    if (output) {
        const int nth = faults.outputsOpened; // outputs are closed before the next one opens
        if (result != 0 || faults.failingClose == -1 || faults.failingClose == nth) {
            Failed(fd);
            faults.outputs.erase(fd);
            errno = EIO;
            return -1;
        }
        faults.outputs.erase(fd);
    }
    return result;
}

void Inject(const Faults& with)
{
    faults = with;
    platform::Sys().open = Open;
    platform::Sys().write = Write;
    platform::Sys().close = Close;
}

// Five changed files of 30,000 bytes each on two levels, one unchanged with a stale copy.
struct Disk : Scene {
    std::map<std::string, std::string> inputs; // relative to the ORG folder
    engine::PairTable table;

    Disk()
    {
        for (const char* name : { "a.frm", "b.frm", "c.frm", "sub/d.frm", "sub/e.frm" }) {
            std::string text;
            for (int i = 0; text.size() < 30000; ++i) {
                text += std::string(name) + " line " + std::to_string(i)
                    + (i % 3 ? " same\r\n" : " old\r\n");
            }
            inputs[name] = text;
            tree.Write("org/proj/" + std::string(name), text);
        }
        inputs["sub/same.frm"] = "nothing to change\r\n";
        tree.Write("org/proj/sub/same.frm", inputs["sub/same.frm"]);
        tree.Write("new/proj/sub/same.frm", "stale copy");
        tree.Age("org"); // old enough to be read ahead
        table = Table();
        // Inputs may be opened ahead of their turn on another thread, so a copy belongs to the
        // file the walk last named, not to the file last opened.
        window.beforeNext = [this](const std::u16string& shown) {
            for (const auto& [name, text] : inputs) {
                if (fs::path(name).filename() == fs::path(platform::EncodeFileName(shown))) {
                    faults.lastInput = Org(name).string();
                }
            }
        };
    }

    // Every copy in NEW is whole and right; the inputs without one are returned.
    std::vector<std::string> CheckCopies()
    {
        std::vector<std::string> missing;
        for (const auto& [name, text] : inputs) {
            bool changed = false;
            const std::string expected = hostile::ExpectedCopy(text, table, changed);
            if (!changed) {
                EXPECT_FALSE(fs::exists(New(name))) << name;
            } else if (fs::exists(New(name))) {
                EXPECT_EQ(ReadBytes(New(name)), expected) << name;
            } else {
                missing.push_back(name);
            }
        }
        return missing;
    }
};

struct Fault {
    const char* what;
    Faults faults;
    bool reported;
};

TEST(WriteFault, NoPartialCopySurvivesAndTheNextRunIsWhole)
{
    Faults full0, full10k, full65k, closeAll, closeSecond, shortWrites, interrupted;
    full0.writeBudget = 0;
    full10k.writeBudget = 10000;
    full65k.writeBudget = 65000;
    closeAll.failingClose = -1;
    closeSecond.failingClose = 2;
    shortWrites.writeChunk = 7;
    interrupted.interrupt = true;
    const Fault cases[] = {
        { "disk full from the start", full0, true },
        { "disk full within the first copy", full10k, true },
        { "disk full after two copies", full65k, true },
        { "every close fails", closeAll, true },
        { "the second copy's close fails", closeSecond, true },
        { "writes go through a few bytes at a time", shortWrites, false },
        { "writes are interrupted", interrupted, false },
    };
    for (const Fault& fault : cases) {
        SCOPED_TRACE(fault.what);
        Disk disk;
        const std::string before = TreeDigest(disk.tree.Path("org"));
        {
            testing_support::SysCallsGuard restore;
            Inject(fault.faults);
            disk.Run();
        }
        const std::vector<std::string> missing = disk.CheckCopies();
        if (fault.reported) {
            ASSERT_FALSE(faults.firstFailed.empty());
            EXPECT_EQ(platform::EncodeFileName(disk.window.LastCaption()),
                platform::EncodeFileName(messages::FilesNotHandled) + "\n" + faults.firstFailed);
            EXPECT_FALSE(missing.empty());
        } else {
            EXPECT_EQ(disk.window.LastCaption(), messages::Finished);
            EXPECT_TRUE(missing.empty());
        }
        EXPECT_TRUE(faults.outputs.empty()); // every output was closed
        EXPECT_EQ(TreeDigest(disk.tree.Path("org")), before);

        disk.Run();
        EXPECT_EQ(disk.window.LastCaption(), messages::Finished);
        EXPECT_TRUE(disk.CheckCopies().empty());
    }
}

struct Removal {
    const char* what;
    const char* when; // the file the walk is about to open
    const char* removed; // the output folder taken away then
};

TEST(WriteFault, OutputFolderRemovedBySomeoneElseMidRun)
{
    const Removal removals[] = {
        { "a subfolder's output", "d.frm", "sub" },
        { "the top output", "a.frm", "" },
    };
    for (const Removal& removal : removals) {
        SCOPED_TRACE(removal.what);
        Disk disk;
        const std::string before = TreeDigest(disk.tree.Path("org"));
        std::string firstLost;
        disk.window.beforeNext = [&](const std::u16string& name) {
            if (firstLost.empty() && name == platform::DecodeFileName(removal.when)) {
                fs::remove_all(disk.New(removal.removed));
                firstLost = removal.when;
            }
        };

        disk.Run();

        ASSERT_FALSE(firstLost.empty());
        const std::vector<std::string> missing = disk.CheckCopies();
        EXPECT_FALSE(missing.empty());
        const std::string prefix
            = std::string(removal.removed).empty() ? "" : std::string(removal.removed) + "/";
        EXPECT_EQ(disk.window.LastCaption(), disk.Unhandled(disk.Org(prefix + removal.when)));
        EXPECT_EQ(TreeDigest(disk.tree.Path("org")), before);

        disk.window.beforeNext = nullptr;
        disk.Run();
        EXPECT_EQ(disk.window.LastCaption(), messages::Finished);
        EXPECT_TRUE(disk.CheckCopies().empty());
    }
}

// A real file system that fills up: a 64 KiB tmpfs as the NEW folder.
TEST(WriteFault, ARealFileSystemThatFillsUp)
{
    Disk disk;
    if (mount("tmpfs", disk.tree.Path("new").c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
            "size=64k,mode=0777")
        != 0) {
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    struct Unmount {
        fs::path at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount { disk.tree.Path("new") };
    const std::string before = TreeDigest(disk.tree.Path("org"));
    {
        testing_support::SysCallsGuard restore;
        Inject(Faults {}); // only watches: the faults are the file system's own
        disk.Run();
    }

    const std::vector<std::string> missing = disk.CheckCopies();
    RecordProperty("copiesMissing", static_cast<int>(missing.size()));
    RecordProperty("firstFailed", faults.firstFailed);
    EXPECT_FALSE(missing.empty());
    ASSERT_FALSE(faults.firstFailed.empty());
    EXPECT_EQ(platform::EncodeFileName(disk.window.LastCaption()),
        platform::EncodeFileName(messages::FilesNotHandled) + "\n" + faults.firstFailed);
    EXPECT_EQ(TreeDigest(disk.tree.Path("org")), before);

    ASSERT_EQ(mount("tmpfs", disk.tree.Path("new").c_str(), "tmpfs",
                  MS_REMOUNT | MS_NOSUID | MS_NODEV, "size=4m"),
        0)
        << std::strerror(errno);
    disk.Run();
    EXPECT_EQ(disk.window.LastCaption(), messages::Finished);
    EXPECT_TRUE(disk.CheckCopies().empty());
}

} // namespace
