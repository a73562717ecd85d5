#include "common/Paths.h"
#include "engine/Messages.h"
#include "engine/ReportText.h"
#include "tests/support/RandomText.h"
#include "tests/support/TempTree.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

using testing_support::ReadBytes;
using testing_support::Sjis;
using testing_support::TempTree;
using testing_support::U16;
using testing_support::Utf8;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program in folder with no display at all: a window vandor tried to open would end it.
// binaryOut: standard output is bytes, as the program wrote them.
Outcome RunProgram(const QString& program, const std::vector<std::string>& arguments,
    const std::filesystem::path& folder, [[maybe_unused]] bool binaryOut = false)
{
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        environment.remove(QString::fromLatin1(name));
    }
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdU16String(folder.u16string()));
    process.start(program, list);
    Outcome outcome;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "vandor did not end normally";
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.status = process.exitCode();
    outcome.out = process.readAllStandardOutput().toStdString();
    outcome.err = process.readAllStandardError().toStdString();
#ifdef _WIN32
    // A Windows program's text output ends its lines with CR LF.
    for (std::string* text : { &outcome.out, &outcome.err }) {
        if (binaryOut && text == &outcome.out) {
            continue;
        }
        for (std::size_t at = text->find("\r\n"); at != std::string::npos;
             at = text->find("\r\n", at)) {
            text->erase(at, 1);
        }
    }
#endif
    return outcome;
}

Outcome RunVandor(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
    bool binaryOut = false)
{
    return RunProgram(QStringLiteral(VANDOR_EXECUTABLE), arguments, folder, binaryOut);
}

std::string U8(std::u16string_view text) { return engine::ToUtf8(text); }

const std::string Mark = Sjis(u"'▼▼ ソースリプレース(vandor) ▼▼\r\n");

class CommandLine : public ::testing::Test {
public:
    void SetUp() override
    {
        tree.Write("org/proj/Main.frm", Sjis(u"Dim 顧客\r\n' 変更なし\r\n"));
        tree.Write("org/proj/Same.bas", "same\r\n");
        tree.Write("org/proj/sub/Mod.bas", Sjis(u"顧客 = 1\r\n"));
        tree.Write("rules.txt", Sjis(u"顧客,取引先\r\n"));
        tree.MakeFolder("new");
    }
    // Paths as a user types them on this system.
    std::string Org() const { return Utf8(U16(tree.Path("org/proj"), true)); }
    std::string New() const { return Utf8(U16(tree.Path("new"))); }
    std::string Rules() const { return Utf8(U16(tree.Path("rules.txt"))); }
    static std::string Separator()
    {
        return Utf8(std::u16string(1, common::Separator(common::NativePathStyle())));
    }
    // The plain files of the NEW tree.
    std::map<std::string, std::string> NewFiles() const
    {
        std::map<std::string, std::string> files;
        for (const auto& [name, bytes] : testing_support::Snapshot(tree.Path("new"))) {
            if (name.back() != '/') {
                files[name] = bytes;
            }
        }
        return files;
    }

    TempTree tree;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(CommandLine, RunsWriteTheNewTreeAsTheWindowWould)
{
    const std::string main = Sjis(u"Dim 取引先\r\n' 変更なし\r\n");
    const std::string markedMain = Mark + main;
    const std::string mod = Sjis(u"取引先 = 1\r\n");
    const struct {
        const char* what;
        std::function<std::vector<std::string>(const CommandLine&)> arguments;
        std::map<std::string, std::string> files;
    } cases[] = {
        { "three paths",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), t.Rules() };
            },
            { { "proj/Main.frm", main }, { "proj/sub/Mod.bas", mod } } },
        { "paths as the boxes take them",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", "  " + t.Org() + " ", "new",
                    " " + t.Rules() };
            },
            { { "proj/Main.frm", main }, { "proj/sub/Mod.bas", mod } } },
        { "a pattern",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org() + "*.frm", t.New(), t.Rules() };
            },
            { { "proj/Main.frm", main } } },
        { "--no-subfolders",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), t.Rules(),
                    "--no-subfolders" };
            },
            { { "proj/Main.frm", main } } },
        { "--mark",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", "--mark", t.Org(), t.New(), t.Rules() };
            },
            { { "proj/Main.frm", markedMain }, { "proj/sub/Mod.bas", Mark + mod } } },
        { "options among the paths",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), "--no-subfolders", t.New(),
                    "--mark", t.Rules() };
            },
            { { "proj/Main.frm", markedMain } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(tree.Path("new"));
        tree.MakeFolder("new");
        const Outcome outcome = RunVandor(c.arguments(*this), tree.Root());
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        const std::vector<std::string> lines = Lines(outcome.out);
        ASSERT_EQ(lines.size(), 2u) << outcome.out;
        EXPECT_EQ(lines[0], U8(engine::messages::Finished));
        EXPECT_TRUE(lines[1].starts_with(U8(u"読み込み "))) << lines[1];
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(NewFiles(), c.files);
    }
}

TEST_F(CommandLine, AnErrorIsPrintedAsTheWindowShowsItAndEndsWithOne)
{
    const struct {
        const char* what;
        std::function<std::vector<std::string>(const CommandLine&)> arguments;
        std::u16string message;
        std::function<std::string(const CommandLine&)> path;
    } cases[] = {
        { "no definition file",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(),
                    t.Rules() + ".missing" };
            },
            engine::messages::DefinitionNotFound,
            [](const CommandLine& t) { return t.Rules() + ".missing"; } },
        { "no ORG folder",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org() + "gone" + t.Separator(),
                    t.New(), t.Rules() };
            },
            engine::messages::OrgFolderNotFound,
            [](const CommandLine& t) { return t.Org() + "gone" + t.Separator(); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = RunVandor(c.arguments(*this), tree.Root());
        EXPECT_EQ(outcome.status, 1);
        const std::vector<std::string> lines = Lines(outcome.out);
        ASSERT_EQ(lines.size(), 3u) << outcome.out;
        EXPECT_EQ(lines[0], U8(c.message));
        EXPECT_EQ(lines[1], c.path(*this));
        EXPECT_TRUE(NewFiles().empty());
    }
}

TEST_F(CommandLine, ArgumentsNotUnderstoodEndWithTwoAndTouchNothing)
{
    const struct {
        const char* what;
        std::function<std::vector<std::string>(const CommandLine&)> arguments;
    } cases[] = {
        { "two paths",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New() };
            } },
        { "four paths",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), t.Rules(), "x" };
            } },
        { "an empty path",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), "", t.Rules() };
            } },
        { "a path of spaces",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), "   " };
            } },
        { "an unknown option",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), t.Rules(), "--fast" };
            } },
        { "--report without a file",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), t.Rules(),
                    "--report" };
            } },
        { "--diff without a file",
            [](const CommandLine& t) {
                return std::vector<std::string> { "--run", t.Org(), t.New(), t.Rules(), "--diff" };
            } },
        { "--version with more",
            [](const CommandLine&) {
                return std::vector<std::string> { "--version", "x" };
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = RunVandor(c.arguments(*this), tree.Root());
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find(U8(u"使い方: vandor --run")), std::string::npos) << outcome.err;
        EXPECT_TRUE(NewFiles().empty());
    }
}

TEST_F(CommandLine, HelpAndVersion)
{
    for (const char* help : { "--help", "-h" }) {
        const Outcome outcome = RunVandor({ help }, tree.Root());
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(outcome.out.starts_with(U8(u"使い方:"))) << outcome.out;
        EXPECT_NE(outcome.out.find("\nUsage:"), std::string::npos);
        EXPECT_NE(outcome.out.find("--report FILE"), std::string::npos);
        EXPECT_NE(outcome.out.find("--diff FILE"), std::string::npos);
        EXPECT_EQ(outcome.err, "");
    }
    const Outcome version = RunVandor({ "--version" }, tree.Root());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vandor 2.10\n");
    EXPECT_EQ(version.err, "");
}

TEST_F(CommandLine, ReportIsWrittenAsTextOrCsv)
{
    const struct {
        const char* file;
        bool csv;
    } cases[] = { { "report.txt", false }, { "report.CSV", true }, { "report", false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Outcome outcome
            = RunVandor({ "--run", Org(), New(), Rules(), "--report", c.file }, tree.Root());
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        const std::vector<std::string> lines = Lines(outcome.out);
        ASSERT_EQ(lines.size(), 2u);
        const std::string report = ReadBytes(tree.Path(c.file));
        if (c.csv) {
            ASSERT_TRUE(report.starts_with(
                "\xEF\xBB\xBF" + U8(u"種別,パス,文字コード,置換数,内訳・理由\r\n")))
                << report;
            // One record for each changed file the summary counts.
            const std::size_t changed
                = std::stoul(lines[1].substr(lines[1].find(U8(u"変更 ")) + U8(u"変更 ").size()));
            std::size_t records = 0;
            for (std::size_t at = report.find("\r\n" + U8(u"変更,")); at != std::string::npos;
                 at = report.find("\r\n" + U8(u"変更,"), at + 2)) {
                ++records;
            }
            EXPECT_EQ(records, changed);
        } else {
            EXPECT_TRUE(report.starts_with(U8(u"ヴァンドール 実行結果\r\n"))) << report;
            EXPECT_NE(report.find(U8(u"結果: リプレース完了。\r\n")), std::string::npos) << report;
            EXPECT_NE(report.find("\r\n" + lines[1] + "\r\n"), std::string::npos)
                << "the printed summary";
            EXPECT_NE(report.find(U8(u"ORG ソースフォルダ: ") + Org() + "\r\n"), std::string::npos);
        }
    }
    // A report that cannot be written is an error; the run itself is done.
    const Outcome outcome = RunVandor(
        { "--run", Org(), New(), Rules(), "--report", "no/such/folder/r.txt" }, tree.Root());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("no/such/folder/r.txt"), std::string::npos) << outcome.err;
    EXPECT_EQ(NewFiles().size(), 2u);
}

// A diff without the times of its file headers, which tell when it was made.
std::string WithoutTimes(const std::string& diff)
{
    std::string kept;
    std::istringstream in(diff);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("--- ") || line.starts_with("+++ ")) {
            line = line.substr(0, line.find('\t'));
        }
        kept += line + '\n';
    }
    return kept;
}

#ifndef _WIN32 // patch and diff are the Linux system's
// The hunks alone: what follows a file's two header lines.
std::string Hunks(const std::string& diff)
{
    std::string kept;
    std::istringstream in(diff);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("--- ") && !line.starts_with("+++ ")) {
            kept += line + '\n';
        }
    }
    return kept;
}

// A random source file: CP932 or UTF-8 text with the pairs' search texts in both cases, lone CRs
// and lone LFs, the line-break token, lines the pairs empty, and sometimes no final line end.
std::string RandomSource(std::mt19937& random, bool utf8)
{
    std::vector<std::string> pieces = testing_support::kTextPieces;
    if (utf8) {
        pieces = { "a", "B", "c", " ", "x = ", "\xE9\xA1\xA7\xE5\xAE\xA2", "\xC3\xA9", "_\\n_",
            "\n", "\xE3\x81\x82" };
    }
    for (const char* word : { "old", "OLD", "ab", "b", "x = " }) {
        pieces.emplace_back(word);
    }
    std::string text = utf8 ? "' \xE9\xA1\xA7\xE5\xAE\xA2\r\n" : "";
    const std::size_t lines = random() % 30;
    for (std::size_t i = 0; i < lines; ++i) {
        text += random() % 5 == 0 ? std::string(random() % 2 == 0 ? "b" : "B")
                                  : testing_support::RandomText(random, 6, pieces);
        text += testing_support::kLineEnds[random() % testing_support::kLineEnds.size()];
    }
    if (random() % 3 == 0) {
        text += testing_support::RandomText(random, 4, pieces); // no final line end
    }
    return text;
}

#endif

class Diff : public CommandLine {
public:
    // The run with --diff, patch -p1 in a copy of the ORG folder, and the copy compared with the
    // ORG and NEW trees: each file the NEW tree holds, byte for byte, every other one as it was.
    void ExpectPatchGivesNewTree(
        const std::filesystem::path& org, const std::filesystem::path& rules, bool mark)
    {
        std::filesystem::remove_all(tree.Path("new"));
        std::filesystem::remove_all(tree.Path("patched"));
        tree.MakeFolder("new");
        std::vector<std::string> arguments { "--run", Utf8(U16(org, true)), New(), Utf8(U16(rules)),
            "--diff", "run.diff" };
        if (mark) {
            arguments.emplace_back("--mark");
        }
        const Outcome run = RunVandor(arguments, tree.Root());
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        std::filesystem::copy(org, tree.Path("patched"), std::filesystem::copy_options::recursive);
        const Outcome patch = RunProgram(QStringLiteral("patch"),
            { "-p1", "-s", "-i", Utf8(U16(tree.Path("run.diff"))) }, tree.Path("patched"));
        ASSERT_EQ(patch.status, 0) << patch.out << patch.err;
        const auto changed = testing_support::Snapshot(tree.Path("new") / org.filename());
        const auto patched = testing_support::Snapshot(tree.Path("patched"));
        const auto original = testing_support::Snapshot(org);
        EXPECT_FALSE(changed.empty());
        EXPECT_EQ(patched.size(), original.size());
        for (const auto& [name, bytes] : patched) {
            const auto copy = changed.find(name);
            EXPECT_EQ(bytes, copy != changed.end() ? copy->second : original.at(name)) << name;
        }
    }
};

#ifndef _WIN32 // patch and diff are the Linux system's
TEST_F(Diff, PatchMakesTheNewTreeOfTheWalkthroughAndOfRandomTrees)
{
    const std::filesystem::path source(VANDOR_SOURCE_DIR);
    for (const bool mark : { false, true }) {
        SCOPED_TRACE(mark ? "examples/, --mark" : "examples/");
        ExpectPatchGivesNewTree(
            source / "examples" / "src", source / "examples" / "rules.txt", mark);
    }
    tree.Write("random-rules.txt",
        Sjis(u"顧客,取引先\r\nold,NewName\r\nb,\"\"\r\nab,a_\\n_b\r\nx = ,x = \r\n")
            + "\x82\xa0,Z\r\n");
    for (unsigned seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const std::string root = "random" + std::to_string(seed) + "/proj";
        tree.Write(root + "/Always.bas", "old\r\n"); // one change at least
        tree.Write(root + "/Logo.frx", std::string("old\0old\r\n", 9)); // binary: no hunk
        for (int i = 0; i < 6; ++i) {
            std::string name = root + (i % 3 == 2 ? "/sub/" : "/");
            name += i == 0 ? "a file.bas" : "f" + std::to_string(i) + ".bas";
            tree.Write(name, RandomSource(random, i % 2 == 1));
        }
        ExpectPatchGivesNewTree(tree.Path(root), tree.Path("random-rules.txt"), seed % 2 == 0);
    }
    // A file read in blocks on a thread of its own, with a line longer than a block, whose
    // unchanged bytes are copied from the input after the copy was begun late.
    std::mt19937 random(99);
    std::string large;
    while (large.size() < (std::size_t(1) << 20)) {
        large += "keep\r"; // lone CRs in blocks gone by when the copy begins
    }
    large += std::string(std::size_t(3) << 20, 'q') + "old\r";
    while (large.size() < (std::size_t(6) << 20)) {
        large += RandomSource(random, false);
    }
    tree.Write("large/proj/Large.bas", large + "last");
    ExpectPatchGivesNewTree(tree.Path("large/proj"), tree.Path("random-rules.txt"), true);
}

TEST_F(Diff, HunksAreThoseOfDiffU)
{
    std::string twenty;
    for (int i = 1; i <= 20; ++i) {
        twenty += "line " + std::to_string(i) + "\r\n";
    }
    // The twenty lines with some of them (by number) replaced.
    const auto with = [](std::map<int, std::string> changed) {
        std::string lines;
        for (int i = 1; i <= 20; ++i) {
            lines += (changed.contains(i) ? changed[i] : "line " + std::to_string(i)) + "\r\n";
        }
        return lines;
    };
    // A hunk of more changes than are kept while it is found, which is found a second time, and
    // of more edits than one piece of the packed list holds.
    std::string alternate;
    for (int i = 0; i < 30000; ++i) {
        alternate += "gone " + std::to_string(i) + "\r\nkeep\r\n";
    }
    const struct {
        const char* what;
        std::string org;
        bool mark;
    } cases[] = {
        { "one line in the middle", with({ { 10, "old" } }), false },
        { "a hunk of 30,000 changes", alternate, false },
        { "the first line", with({ { 1, "old" } }), false },
        { "the last line, without its line end", twenty + "old", false },
        { "changes six lines apart share a hunk", with({ { 3, "old" }, { 10, "old" } }), false },
        { "changes seven lines apart do not", with({ { 3, "old" }, { 11, "old" } }), false },
        { "neighbouring lines", with({ { 3, "old" }, { 4, "old old" } }), false },
        { "the mark line", with({ { 7, "old" } }), true },
        { "lines ended by a lone CR", "a\rold\rb\r\nc\r\n", false },
        { "a lone CR in unchanged lines", "x\ry\r\nz\r\n" + twenty + "old\r\n", false },
        { "a line the pairs empty", with({ { 5, "gone" } }), false },
        { "every line emptied", "gone\r\ngone\r\n", false },
        { "a token that keeps the line's start", with({ { 9, "split" } }), false },
        { "a replacement that puts back what it found", twenty + "same\r\nold\r\n", false },
        { "nothing but the last line end", twenty + "same", false },
        { "an unchanged last line without its line end", twenty + "old\r\nlast", false },
        { "a lone LF at the end", twenty + "old\n", false },
        { "context lines longer than what is read at once",
            std::string(100000, 'k') + "\r\n" + std::string(300000, 'm') + "\r\nold\r\n"
                + std::string(200000, 'n') + "\r\nold\r\n",
            false },
    };
    tree.Write(
        "rules.txt", "old,new\r\ngone,\"\"\r\nsplit,split_\\n_tail\r\nsame,SAME\r\nSAME,same\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(tree.Path("new"));
        tree.MakeFolder("new");
        tree.Write("org/proj/f.bas", c.org);
        std::vector<std::string> arguments { "--run", Org() + "f.bas", New(), Rules(), "--diff",
            "run.diff" };
        if (c.mark) {
            arguments.emplace_back("--mark");
        }
        const Outcome run = RunVandor(arguments, tree.Root());
        ASSERT_EQ(run.status, 0) << run.err;
        const Outcome diff = RunProgram(
            QStringLiteral("diff"), { "-u", "org/proj/f.bas", "new/proj/f.bas" }, tree.Root());
        EXPECT_EQ(Hunks(ReadBytes(tree.Path("run.diff"))), Hunks(diff.out));
        const std::string headers = WithoutTimes(ReadBytes(tree.Path("run.diff"))).substr(0, 24);
        EXPECT_EQ(headers, diff.out.empty() ? "" : "--- a/f.bas\n+++ b/f.bas\n");
    }
}
#endif

TEST_F(Diff, ToStandardOutputTheDiffIsAloneThere)
{
    tree.Write("org/proj/sub/Mod.bas", Sjis(u"顧客 = 1\r\n顧客"));
    const Outcome toFile = RunVandor(
        { "--run", Org(), New(), Rules(), "--mark", "--diff", "run.diff" }, tree.Root());
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(Lines(toFile.out).size(), 2u);
    const Outcome toOut
        = RunVandor({ "--run", Org(), New(), Rules(), "--mark", "--diff", "-" }, tree.Root(), true);
    ASSERT_EQ(toOut.status, 0) << toOut.err;
    EXPECT_NE(toOut.out.find("+++ b/sub/Mod.bas\t"), std::string::npos) << toOut.out;
    EXPECT_EQ(WithoutTimes(toOut.out), WithoutTimes(ReadBytes(tree.Path("run.diff"))));
    const std::vector<std::string> status = Lines(toOut.err);
    ASSERT_EQ(status.size(), 2u) << toOut.err;
    EXPECT_EQ(status[0], U8(engine::messages::Finished));
    EXPECT_TRUE(status[1].starts_with(U8(u"読み込み "))) << status[1];
}

} // namespace
