// Linux names are bytes: a name that is not UTF-8 goes through the whole run as escape units and
// comes out on disk as the very bytes it had.

#include "tests/hostile/Hostile.h"

#include "platform/FileName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using hostile::Scene;
using hostile::TreeDigest;
using testing_support::ReadBytes;
namespace messages = engine::messages;

bool Shown(const FakeWindow& window, const std::u16string& caption)
{
    return std::find(window.captions.begin(), window.captions.end(), caption)
        != window.captions.end();
}

TEST(FileNames, NamesThatAreNotUtf8AreReadCopiedAndDeletedUnderTheirOwnNames)
{
    Scene scene;
    // The ORG folder's own name, a file's and a folder's are Latin-1 or plain invalid bytes.
    const std::string top = "pr\xf6j";
    scene.tree.Write("org/" + top + "/caf\xe9.frm", "Dim old\r\n");
    scene.tree.Write("org/" + top + "/st\xe9le.frm", "same\r\n");
    scene.tree.Write("org/" + top + "/\xff\xfe/in\x80ner.frm", "old\r\n");
    scene.tree.Write("org/" + top + "/\xff\xfe/pl\xc3.frm", "plain\r\n");
    scene.tree.Write("new/" + top + "/st\xe9le.frm", "stale copy");
    scene.tree.Write("new/" + top + "/\xff\xfe/pl\xc3.frm", "stale copy");
    scene.window.boxes[0] = testing_support::U16(scene.tree.Path("org/" + top), true);
    const std::string before = TreeDigest(scene.tree.Path("org"));

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), messages::Finished);
    const std::filesystem::path out = scene.tree.Path("new/" + top);
    EXPECT_EQ(ReadBytes(out / "caf\xe9.frm"), "Dim new\r\n");
    EXPECT_EQ(ReadBytes(out / "\xff\xfe/in\x80ner.frm"), "new\r\n");
    EXPECT_FALSE(std::filesystem::exists(out / "st\xe9le.frm"));
    EXPECT_FALSE(std::filesystem::exists(out / "\xff\xfe/pl\xc3.frm"));
    EXPECT_EQ(testing_support::Snapshot(scene.tree.Path("new")),
        (std::map<std::string, std::string> { { top + "/", "" },
            { top + "/caf\xe9.frm", "Dim new\r\n" }, { top + "/\xff\xfe/", "" },
            { top + "/\xff\xfe/in\x80ner.frm", "new\r\n" } }));
    EXPECT_EQ(TreeDigest(scene.tree.Path("org")), before);

    // The status line carries the undecodable bytes as escape units; shown, they read \xNN.
    const std::u16string file = messages::Replacing + std::u16string(u"caf\xDCE9.frm");
    const std::u16string folder = messages::Replacing + std::u16string(u"\xDCFF\xDCFE");
    EXPECT_TRUE(Shown(scene.window, file));
    EXPECT_TRUE(Shown(scene.window, folder));
    EXPECT_EQ(platform::ReadableName(file), messages::Replacing + std::u16string(u"caf\\xE9.frm"));
    EXPECT_EQ(platform::ReadableName(folder), messages::Replacing + std::u16string(u"\\xFF\\xFE"));
}

TEST(FileNames, AnInputThatCouldNotBeHandledIsNamedWithItsOwnBytes)
{
    Scene scene;
    scene.tree.Write("org/proj/\xe9t\xe9.frm", "old\r\n");
    scene.tree.Write("new/proj/\xe9t\xe9.frm", "kept");
    std::filesystem::permissions(scene.New("\xe9t\xe9.frm"), std::filesystem::perms::owner_read);

    scene.Run();

    EXPECT_EQ(scene.window.LastCaption(), scene.Unhandled(scene.Org("\xe9t\xe9.frm")));
    EXPECT_EQ(platform::ReadableName(scene.window.LastCaption()),
        messages::FilesNotHandled
            + (u"\n" + platform::DecodeFileName(scene.Org().native()) + u"\\xE9t\\xE9.frm"));
    EXPECT_EQ(ReadBytes(scene.New("\xe9t\xe9.frm")), "kept");
}

// A character outside the Basic Multilingual Plane is a surrogate pair, whose second unit may lie
// in the escape range's numbers: it is still one character, not an undecodable byte.
TEST(FileNames, CharactersBeyondTheBasicPlaneAreNotShownAsBytes)
{
    const std::string domino = "\xf0\x9f\x82\x80"; // U+1F080, low surrogate U+DC80
    const std::u16string name = platform::DecodeFileName("a" + domino + "\xe9");
    EXPECT_EQ(platform::EncodeFileName(name), "a" + domino + "\xe9");
    EXPECT_EQ(platform::ReadableName(name), u"a\U0001F080\\xE9");
}

} // namespace
