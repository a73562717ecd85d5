// A run killed at any moment: every file under NEW is then absent, the whole earlier copy or the
// whole new copy; the ORG tree is unchanged; and the next run gives exactly the clean output, with
// no temporary left behind. An interrupt the program hears leaves no temporary at all.

#include "tests/hostile/Hostile.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <string>

namespace {

using hostile::Scene;
using hostile::TreeDigest;
using testing_support::Snapshot;
namespace fs = std::filesystem;
namespace messages = engine::messages;
using Tree = std::map<std::string, std::string>;

bool IsTemporary(const std::string& relative)
{
    return platform::IsTemporaryName(platform::NativePath(fs::path(relative).filename().native()));
}

// Two files large enough for the reading thread, and small ones, some changing.
void Populate(Scene& scene)
{
    std::string big;
    for (int i = 0; big.size() < (9u << 19); ++i) {
        big += "x = CustomerID + " + std::to_string(i) + (i % 7 ? " same\r\n" : " more\r\n");
    }
    scene.tree.MakeFolder("org/proj/sub");
    hostile::WriteFast(scene.Org("big1.frm").native(), big);
    hostile::WriteFast(scene.Org("sub/big2.bas").native(), big.substr(0, (17u << 18)));
    for (int i = 0; i < 40; ++i) {
        const std::string name
            = (i % 2 ? "sub/" : "") + std::string("f") + std::to_string(i) + ".frm";
        hostile::WriteFast(
            scene.Org(name).native(), i % 3 ? "Dim customerID\r\nx\r\n" : "nothing\r\n");
    }
}

Tree CleanRun(Scene& scene, const std::string& definition)
{
    scene.tree.Write("rules.txt", definition);
    fs::remove_all(scene.tree.Path("new"));
    scene.tree.MakeFolder("new");
    scene.Run();
    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    return Snapshot(scene.tree.Path("new"));
}

void Restore(Scene& scene, const Tree& tree)
{
    fs::remove_all(scene.tree.Path("new"));
    scene.tree.MakeFolder("new");
    for (const auto& [name, bytes] : tree) {
        if (name.back() == '/') {
            scene.tree.MakeFolder("new/" + name);
        } else {
            hostile::WriteFast(scene.tree.Path("new/" + name).native(), bytes);
        }
    }
}

// Starts the run in a child and sends it the signal after the delay; true when the signal
// arrived before the run ended.
bool RunAndSignal(Scene& scene, std::chrono::microseconds delay, int signal)
{
    const pid_t pid = fork();
    if (pid == 0) {
        scene.Run();
        _exit(scene.window.LastCaption() == messages::Finished ? 0 : 1);
    }
    usleep(static_cast<useconds_t>(delay.count()));
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

TEST(Crash, AKilledRunLeavesWholeCopiesOnlyAndTheNextRunIsClean)
{
    Scene scene;
    Populate(scene);
    const std::string orgBefore = TreeDigest(scene.tree.Path("org"));
    const Tree earlier = CleanRun(scene, "customerid,EarlierID\r\n");
    const auto started = std::chrono::steady_clock::now();
    const Tree clean = CleanRun(scene, "customerid,ClientID\r\n");
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    ASSERT_GT(clean.size(), 20u);

    std::mt19937 random(20261207);
    int killedMidway = 0;
    const int signals[] = { SIGKILL, SIGKILL, SIGKILL, SIGTERM, SIGINT, SIGHUP };
    for (int trial = 0; trial < 36; ++trial) {
        const bool overEarlier = trial % 2 == 1;
        const int signal = signals[static_cast<std::size_t>(trial / 2) % std::size(signals)];
        SCOPED_TRACE("trial " + std::to_string(trial) + ", signal " + std::to_string(signal)
            + (overEarlier ? ", over an earlier output" : ", into an empty folder"));
        if (overEarlier) {
            Restore(scene, earlier);
        } else {
            Restore(scene, {});
        }
        const auto delay
            = std::chrono::microseconds(random() % static_cast<std::uint64_t>(took.count() + 1));
        killedMidway += RunAndSignal(scene, delay, signal);

        for (const auto& [name, bytes] : Snapshot(scene.tree.Path("new"))) {
            if (name.back() == '/') {
                continue;
            }
            if (IsTemporary(name)) {
                // Only a run killed outright may leave one; a signal it hears may not.
                EXPECT_EQ(signal, SIGKILL) << name;
                continue;
            }
            const bool whole = (clean.count(name) && clean.at(name) == bytes)
                || (overEarlier && earlier.count(name) && earlier.at(name) == bytes);
            EXPECT_TRUE(whole) << name << " holds " << bytes.size() << " bytes";
        }
        EXPECT_EQ(TreeDigest(scene.tree.Path("org")), orgBefore);

        scene.Run();
        EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
        ASSERT_EQ(Snapshot(scene.tree.Path("new")), clean);
    }
    RecordProperty("killedMidway", killedMidway);
    EXPECT_GE(killedMidway, 18) << "most signals arrived while the run was still going";
}

} // namespace
