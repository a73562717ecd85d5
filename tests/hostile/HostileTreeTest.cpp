// Trees that fight back: links in both trees, great depth, great width, names that trip up shells,
// and files and folders that change between the listing and the opening. Every case must end,
// lose nothing, and leave the ORG tree as it found it.

#include "tests/hostile/Hostile.h"

#include "platform/FileName.h"
#include "platform/TextFile.h"
#include "tests/support/SysCallsGuard.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using hostile::Scene;
using hostile::TreeDigest;
using hostile::WriteFast;
using testing_support::ReadBytes;
using testing_support::Snapshot;
using Tree = std::map<std::string, std::string>;
namespace fs = std::filesystem;
namespace messages = engine::messages;

TEST(HostileTree, FolderLinksBackUpTheTreeEnd)
{
    Scene scene;
    scene.tree.Write("org/proj/a/x.frm", "old\r\n");
    scene.tree.Write("org/proj/a/b/y.frm", "old\r\n");
    scene.tree.Write("org/top.frm", "plain\r\n");
    fs::create_directory_symlink("../..", scene.Org("a/b/up")); // to proj, an ancestor
    fs::create_directory_symlink(".", scene.Org("a/self")); // to itself
    fs::create_directory_symlink(
        scene.tree.Path("org"), scene.Org("a/b/root")); // above the ORG folder
    const std::string before = TreeDigest(scene.tree.Path("org"));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    // Above the ORG folder only its own file is new; its way back down into proj is a cycle.
    EXPECT_EQ(Snapshot(scene.New()),
        (Tree {
            { "a/", "" }, { "a/x.frm", "new\r\n" }, { "a/b/", "" }, { "a/b/y.frm", "new\r\n" } }));
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
}

TEST(HostileTree, FileLinkToOutsideTheTreeIsReadNeverWritten)
{
    Scene scene;
    scene.tree.Write("outside/victim.frm", "Dim old\r\n");
    scene.tree.Write("outside/plain.frm", "plain\r\n");
    fs::create_symlink(scene.tree.Path("outside/victim.frm"), scene.Org("linked.frm"));
    fs::create_symlink(scene.tree.Path("outside/plain.frm"), scene.Org("plain.frm"));
    const std::string before = TreeDigest(scene.tree.Path("org"));
    const std::string outside = TreeDigest(scene.tree.Path("outside"));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    EXPECT_EQ(Snapshot(scene.New()), (Tree { { "linked.frm", "Dim new\r\n" } }));
    EXPECT_FALSE(fs::is_symlink(scene.New("linked.frm")));
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
    EXPECT_EQ(TreeDigest(scene.tree.Path("outside")), outside);
}

// Something planted in the NEW tree at the very name where a copy goes.
struct Plant {
    const char* what;
    bool inputChanges; // a copy is written, or only a stale copy deleted
    void (*make)(const Scene&, const fs::path& at);
};

void SymlinkOutside(const Scene& s, const fs::path& at)
{
    fs::create_symlink(s.tree.Path("outside/victim.frm"), at);
}
void SymlinkToInput(const Scene& s, const fs::path& at) { fs::create_symlink(s.Org("a.frm"), at); }
void SymlinkToOrgFile(const Scene& s, const fs::path& at)
{
    fs::create_symlink(s.Org("other.frm"), at);
}
void DanglingSymlink(const Scene& s, const fs::path& at)
{
    fs::create_symlink(s.tree.Path("outside/not-there.frm"), at);
}
void HardLinkOutside(const Scene& s, const fs::path& at)
{
    fs::create_hard_link(s.tree.Path("outside/victim.frm"), at);
}
void HardLinkToOrgFile(const Scene& s, const fs::path& at)
{
    fs::create_hard_link(s.Org("other.frm"), at);
}
void Fifo(const Scene&, const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0666), 0); }
void Folder(const Scene&, const fs::path& at) { fs::create_directory(at); }

TEST(HostileTree, WhatIsPlantedAtACopysNameIsNeverWrittenThroughAndIsReported)
{
    const Plant plants[] = {
        { "link to a file outside", true, SymlinkOutside },
        { "link to the input itself", true, SymlinkToInput },
        { "link to another ORG file", true, SymlinkToOrgFile },
        { "dangling link", true, DanglingSymlink },
        { "hard link to a file outside", true, HardLinkOutside },
        { "hard link to another ORG file", true, HardLinkToOrgFile },
        { "named pipe", true, Fifo },
        { "folder", true, Folder },
        { "link to a file outside, input unchanged", false, SymlinkOutside },
        { "hard link to another ORG file, input unchanged", false, HardLinkToOrgFile },
        { "named pipe, input unchanged", false, Fifo },
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        Scene scene;
        scene.tree.Write("org/proj/a.frm", plant.inputChanges ? "Dim old\r\n" : "Dim same\r\n");
        scene.tree.Write("org/proj/other.frm", "other old\r\n");
        scene.tree.Write("outside/victim.frm", "victim old\r\n");
        scene.tree.MakeFolder("new/proj");
        plant.make(scene, scene.New("a.frm"));
        const std::string org = TreeDigest(scene.tree.Path("org"));
        const std::string outside = TreeDigest(scene.tree.Path("outside"));
        struct stat planted { };
        ASSERT_EQ(lstat(scene.New("a.frm").c_str(), &planted), 0);

        scene.Run();

        EXPECT_EQ(scene.window.LastCaption(), scene.Unhandled(scene.Org("a.frm")));
        struct stat after { };
        ASSERT_EQ(lstat(scene.New("a.frm").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, planted.st_ino);
        EXPECT_EQ(after.st_mode, planted.st_mode);
        EXPECT_EQ(TreeDigest(scene.tree.Path("org")), org);
        EXPECT_EQ(TreeDigest(scene.tree.Path("outside")), outside);
        EXPECT_FALSE(fs::exists(scene.tree.Path("outside/not-there.frm")));
        EXPECT_EQ(ReadBytes(scene.New("other.frm")), "other new\r\n");
    }
}

TEST(HostileTree, ATreeFifteenHundredFoldersDeepIsWalkedToTheBottom)
{
    constexpr int depth = 1500;
    Scene scene;
    std::string relative;
    for (int level = 1; level <= depth; ++level) {
        relative += "d/";
        ASSERT_EQ(mkdir(scene.Org(relative).c_str(), 0755), 0) << level;
        if (level % 500 == 0) {
            WriteFast(scene.Org(relative + "f.frm"), "old " + std::to_string(level) + "\r\n");
        }
    }
    const std::string before = TreeDigest(scene.tree.Path("org"));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    std::string path;
    for (int level = 1; level <= depth; ++level) {
        path += "d/";
        if (level % 500 == 0) {
            EXPECT_EQ(ReadBytes(scene.New(path + "f.frm")), "new " + std::to_string(level) + "\r\n")
                << level;
        }
    }
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
}

// Paths longer than the system's limit are reached one piece at a time: nothing is skipped.
TEST(HostileTree, APathLongerThanTheSystemLimitIsWalkedAndWritten)
{
    Scene scene;
    const std::string name(200, 'n');
    std::string relative;
    for (int level = 0; level < 24; ++level) {
        relative += name + std::to_string(level) + "/";
    }
    // Made one level at a time relative to the last, as no single path may be that long.
    int folder = open(scene.Org("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (int level = 0; level < 24; ++level) {
        const std::string step = name + std::to_string(level);
        ASSERT_EQ(mkdirat(folder, step.c_str(), 0755), 0);
        const int next = openat(folder, step.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(folder);
        ASSERT_GE(next, 0);
        folder = next;
    }
    const int file = openat(folder, "deep.frm", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(write(file, "old deep\r\n", 10), 10);
    close(file);
    close(folder);
    ASSERT_GT(scene.Org(relative).native().size(), std::size_t(PATH_MAX));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    platform::InputFile copy;
    ASSERT_TRUE(copy.Open(platform::NativePath(scene.New(relative + "deep.frm").native())));
    char bytes[32];
    const long n = copy.Read(bytes, sizeof bytes);
    EXPECT_EQ(std::string(bytes, static_cast<std::size_t>(std::max(n, 0L))), "new deep\r\n");
}

// A file rewritten while it is read gives no copy: the run names it, as archivers warn of a file
// that changed as they read it, and an older whole copy stays as it was.
TEST(HostileTree, AFileChangedWhileItIsReadIsNotHandled)
{
    const struct {
        const char* what;
        void (*change)(const fs::path& file);
    } changes[] = {
        { "grown in place",
            [](const fs::path& file) { std::ofstream(file, std::ios::app) << "old more\r\n"; } },
        { "replaced under its name",
            [](const fs::path& file) {
                WriteFast(file.native() + ".new", "old other\r\n");
                fs::rename(file.native() + ".new", file);
            } },
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        Scene scene;
        std::string big;
        while (big.size() < (3u << 20)) {
            big += "Dim x As String ' old\r\n";
        }
        WriteFast(scene.Org("big.frm").native(), big);
        scene.tree.Write("org/proj/a.frm", "old a\r\n");
        scene.tree.Write("new/proj/big.frm", "earlier copy");
        static fs::path victim;
        // Files are opened on two threads (small ones are read ahead), and a number freed by one
        // is soon another file's.
        static std::atomic<int> victimFd;
        static std::atomic<bool> changed;
        static void (*apply)(const fs::path&);
        victim = scene.Org("big.frm");
        victimFd = -1;
        changed = false;
        apply = change.change;
        testing_support::SysCallsGuard calls;
        calls->open = [](int folder, const char* name, int flags, mode_t mode) {
            const int fd = platform::RealSysCalls().open(folder, name, flags, mode);
            if (fs::path(name) == victim) {
                victimFd = fd;
            }
            return fd;
        };
        calls->close = [](int fd) {
            int open = fd;
            victimFd.compare_exchange_strong(open, -1);
            return platform::RealSysCalls().close(fd);
        };
        calls->read = [](int fd, void* buffer, std::size_t size) {
            const ssize_t n = platform::RealSysCalls().read(fd, buffer, size);
            if (fd == victimFd && n > 0 && !changed.exchange(true)) {
                apply(victim);
            }
            return n;
        };

        scene.Run();

        EXPECT_TRUE(changed);
        EXPECT_EQ(scene.window.LastCaption(), scene.Unhandled(scene.Org("big.frm")));
        EXPECT_EQ(ReadBytes(scene.New("big.frm")), "earlier copy");
        EXPECT_EQ(ReadBytes(scene.New("a.frm")), "new a\r\n");
        EXPECT_EQ(Snapshot(scene.New()).size(), 2u) << "no temporary left";
    }
}

TEST(HostileTree, FiftyThousandFilesInOneFolder)
{
    constexpr int files = 50000;
    Scene scene;
    Tree expected;
    for (int i = 0; i < files; ++i) {
        const std::string name = "f" + std::to_string(i) + ".frm";
        // Mostly empty or unchanged; every 5000th changes.
        const std::string text = i % 5000 == 0 ? "old " + std::to_string(i) + "\r\n"
            : i % 2                            ? "same\r\n"
                                               : "";
        WriteFast(scene.Org(name), text);
        if (i % 5000 == 0) {
            expected[name] = "new " + std::to_string(i) + "\r\n";
        }
    }
    const std::string before = TreeDigest(scene.tree.Path("org"));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    EXPECT_EQ(Snapshot(scene.New()), expected);
    EXPECT_EQ(scene.window.captions.size(), static_cast<std::size_t>(files) + 2);
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
}

TEST(HostileTree, NamesThatTripUpShellsAreCopiedUnderTheirOwnNames)
{
    const std::vector<std::string> names { " lead space.frm", "trail space .frm", "end space ",
        "-rf", "--help.frm", "new\nline.frm", "cr\rname.frm", "star*.frm", "what?.frm", "*", "?",
        "back\\slash.frm", "tab\there.frm", "quote\"s'.frm", "a;b&c|d<e>.frm", "$(echo x).frm",
        "~tilde", "[brackets].frm", "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab.frm" };
    Scene scene;
    Tree expected;
    for (const std::string& name : names) {
        scene.tree.Write("org/proj/" + name, "old\r\n");
        scene.tree.Write("org/proj/" + name + " dir/" + name, "old old\r\n");
        expected[name] = "new\r\n";
        expected[name + " dir/"] = "";
        expected[name + " dir/" + name] = "new new\r\n";
    }
    const std::string before = TreeDigest(scene.tree.Path("org"));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    EXPECT_EQ(Snapshot(scene.New()), expected);
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
}

// A change made to the ORG tree by someone else right before the walk opens one file.
struct Swap {
    const char* what;
    void (*apply)(const Scene&, const fs::path& file);
    bool reported; // the file could not be handled whole
};

void Vanish(const Scene&, const fs::path& file) { fs::remove(file); }
void BecomeFolder(const Scene&, const fs::path& file)
{
    fs::remove(file);
    fs::create_directory(file);
    std::ofstream(file / "inside.frm") << "old\r\n";
}
void BecomeFifo(const Scene&, const fs::path& file)
{
    fs::remove(file);
    mkfifo(file.c_str(), 0644);
}
void BecomeDeviceLink(const Scene&, const fs::path& file)
{
    fs::remove(file);
    fs::create_symlink("/dev/zero", file);
}
void BecomeFolderLink(const Scene& s, const fs::path& file)
{
    fs::remove(file);
    fs::create_directory_symlink(s.tree.Path("outside"), file);
}
void Shrink(const Scene&, const fs::path& file) { fs::resize_file(file, 0); }
// As long as before, and written within the clock tick: only its time tells the change.
void RewriteInPlace(const Scene&, const fs::path& file)
{
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary) << "new";
}

TEST(HostileTree, FilesThatChangeBetweenTheListingAndTheOpening)
{
    const Swap swaps[] = {
        { "vanishes", Vanish, true },
        { "becomes a folder", BecomeFolder, true },
        { "becomes a named pipe", BecomeFifo, true },
        { "becomes a link to an endless device", BecomeDeviceLink, true },
        { "becomes a link to a folder", BecomeFolderLink, true },
        { "is emptied", Shrink, false },
        { "is rewritten in place", RewriteInPlace, false },
    };
    for (const Swap& swap : swaps) {
        SCOPED_TRACE(swap.what);
        Scene scene;
        scene.tree.Write("org/proj/a.frm", "old a\r\n");
        scene.tree.Write("org/proj/b.frm", "old b\r\n");
        scene.tree.Write("org/proj/c.frm", "old c\r\n");
        scene.tree.Write("outside/x.frm", "old x\r\n");
        scene.tree.Age("org"); // b.frm is read ahead of the walk, before the change

        // A copy from an earlier run: an input that cannot be opened leaves it as it was.
        scene.tree.Write("new/proj/b.frm", "earlier copy");
        const std::string before = TreeDigest(scene.tree.Path("org"), { "proj/b.frm" });
        std::string afterSwap;
        scene.window.beforeNext = [&](const std::u16string& name) {
            if (name == u"b.frm" && afterSwap.empty()) {
                swap.apply(scene, scene.Org("b.frm"));
                afterSwap = TreeDigest(scene.tree.Path("org"));
            }
        };

        scene.Run();

        ASSERT_FALSE(afterSwap.empty());
        EXPECT_EQ(scene.window.LastCaption(),
            swap.reported ? scene.Unhandled(scene.Org("b.frm")) : messages::Finished);
        EXPECT_EQ(ReadBytes(scene.New("a.frm")), "new a\r\n");
        EXPECT_EQ(ReadBytes(scene.New("c.frm")), "new c\r\n");
        if (swap.reported) {
            EXPECT_EQ(ReadBytes(scene.New("b.frm")), "earlier copy");
        } else {
            EXPECT_FALSE(fs::exists(scene.New("b.frm"))); // now unchanged: the stale copy goes
        }
        EXPECT_EQ(TreeDigest(scene.tree.Path("org")), afterSwap);
        EXPECT_EQ(TreeDigest(scene.tree.Path("org"), { "proj/b.frm" }), before);
    }
}

// Someone swaps the output folder that the walk is filling for a link into the ORG tree, where a
// file of the same name waits.
TEST(HostileTree, OutputFolderSwappedForALinkIntoTheOrgTreeIsNotWrittenThrough)
{
    Scene scene;
    scene.tree.Write("org/proj/sub/a.frm", "old sub\r\n");
    scene.tree.Write("org/proj/sub/b.frm", "same\r\n");
    scene.tree.Write("org/proj/other/a.frm", "other\r\n");
    scene.tree.Write("org/proj/other/b.frm", "other b\r\n");
    std::u16string level;
    std::string afterSwap;
    scene.window.beforeNext = [&](const std::u16string& name) {
        if (name == u"sub" || name == u"other") {
            level = name;
        } else if (level == u"sub" && afterSwap.empty()) {
            fs::remove_all(scene.New("sub"));
            fs::create_directory_symlink(scene.Org("other"), scene.New("sub"));
            afterSwap = TreeDigest(scene.tree.Path("org"));
        }
    };
    const std::string before = TreeDigest(scene.tree.Path("org"));

    scene.Run();

    ASSERT_FALSE(afterSwap.empty());
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
    EXPECT_EQ(scene.window.LastCaption(), scene.Unhandled(scene.Org("sub/a.frm")));
    EXPECT_TRUE(fs::is_symlink(scene.New("sub")));
}

// A lock on an entry of the ORG tree, put on right before the walk reaches it.
struct Lock {
    const char* what;
    const char* entry; // relative to the ORG folder
    const char* unhandled; // what the run names at its end
    mode_t mode = 0; // what the entry is set to
};

TEST(HostileTree, EntriesThatBecomeUnreadableMidWalkAreReported)
{
    const Lock locks[] = {
        { "folder", "locked", "locked/" },
        { "file", "d.frm", "d.frm" },
        { "folder that lists but cannot be entered", "locked", "locked/b.frm", 0444 },
    };
    for (const Lock& lock : locks) {
        SCOPED_TRACE(lock.what);
        Scene scene;
        scene.tree.Write("org/proj/a.frm", "old a\r\n");
        scene.tree.Write("org/proj/d.frm", "old d\r\n");
        scene.tree.Write("org/proj/locked/b.frm", "old b\r\n");
        scene.tree.Write("org/proj/zz/c.frm", "old c\r\n");
        scene.tree.Age("org"); // d.frm is read ahead of the walk, before the lock
        // Root reads whatever the bits say, so the run goes to a child that is the user nobody. It
        // must reach the trees, write into NEW, and be the owner of what it locks.
        fs::permissions(scene.tree.Root(),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                | fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(scene.tree.Path("new"), fs::perms::all);
        const fs::path locked = scene.Org(lock.entry);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(locked.c_str(), 65534, 65534), 0);
        }
        const std::string before = TreeDigest(scene.tree.Path("org"));
        struct stat original { };
        ASSERT_EQ(stat(locked.c_str(), &original), 0);
        scene.window.beforeNext = [&](const std::u16string& name) {
            if (name == platform::DecodeFileName(lock.entry)) {
                chmod(locked.c_str(), lock.mode);
            }
        };

        int status = 0;
        const std::string caption = hostile::InChild(
            [&] {
                scene.Run();
                return platform::EncodeFileName(scene.window.LastCaption());
            },
            true, status);
        chmod(locked.c_str(), original.st_mode & 07777);

        ASSERT_EQ(status, 0);
        EXPECT_EQ(platform::DecodeFileName(caption), scene.Unhandled(scene.Org(lock.unhandled)));
        EXPECT_EQ(ReadBytes(scene.New("a.frm")), "new a\r\n");
        EXPECT_EQ(ReadBytes(scene.New("zz/c.frm")), "new c\r\n");
        // What was locked has no copy; everything else has its own.
        EXPECT_EQ(fs::exists(scene.New("d.frm")), lock.entry != std::string("d.frm"));
        EXPECT_EQ(fs::exists(scene.New("locked/b.frm")), lock.entry != std::string("locked"));
        EXPECT_EQ(ReadBytes(scene.New("locked/b.frm")),
            lock.entry != std::string("locked") ? "new b\r\n" : "");
        EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);
    }
}

} // namespace
