#include "common/Paths.h"
#include "engine/Messages.h"
#include "engine/ReportText.h"
#include "tests/support/TempTree.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
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

// Runs the built program with no display at all: a window it tried to open would end it.
Outcome RunVandor(const std::vector<std::string>& arguments, const std::filesystem::path& folder)
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
    process.start(QStringLiteral(VANDOR_EXECUTABLE), list);
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
        for (std::size_t at = text->find("\r\n"); at != std::string::npos;
             at = text->find("\r\n", at)) {
            text->erase(at, 1);
        }
    }
#endif
    return outcome;
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

} // namespace
