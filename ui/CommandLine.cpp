#include "ui/CommandLine.h"

#include "engine/Messages.h"
#include "engine/ReportText.h"
#include "engine/RunCommand.h"
#include "engine/UnifiedDiff.h"
#include "platform/FileName.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#endif

namespace ui {

namespace {

constexpr char Usage[] = "使い方: vandor --run ORG NEW DEFINITION [--no-subfolders] [--mark] "
                         "[--report FILE] [--diff FILE]\n"
                         "詳しくは vandor --help (see vandor --help)\n";

constexpr char Help[] = R"(使い方:
  vandor                      ウィンドウを開きます。
  vandor --run ORG NEW DEFINITION [--no-subfolders] [--mark] [--report FILE]
               [--diff FILE]  ウィンドウを開かずに置換を実行します。
  vandor --help               この説明を表示します。
  vandor --version            バージョンを表示します。

  ORG, NEW, DEFINITION        ORG ソースフォルダ（末尾が / か、/*.frm のようなパターン）、
                              NEW ソースフォルダ、リプレース定義。ウィンドウのボックスと
                              同じに扱います。
  --no-subfolders             サブフォルダを処理しません（「サブフォルダ内もリプレース」オフ）。
  --mark                      変更した行の前に修正マークを挿入します（「修正マーク挿入」オン）。
  --report FILE               実行結果を FILE に書き出します（名前が .csv で終われば CSV、
                              それ以外はテキスト。どちらも UTF-8）。
  --diff FILE                 変更したファイルの差分を unified 形式（diff -u）で FILE に
                              書き出します（- なら標準出力。状態表示と集計は標準エラー
                              出力へ）。ORG フォルダのコピーの中で patch -p1 を実行すると
                              NEW のファイルになります。実行の後で変わったファイルは標準
                              エラー出力に示し、差分に含めません（終了コード 1）。
  最後の状態表示と集計を標準出力に書きます。終了コード: 0 リプレース完了、1 エラー、
  2 引数の誤り。

Usage:
  vandor                      opens the window.
  vandor --run ORG NEW DEFINITION [--no-subfolders] [--mark] [--report FILE]
               [--diff FILE]  runs the replacement without a window.
  vandor --help               shows this text.
  vandor --version            shows the version.

  ORG, NEW, DEFINITION        the ORG source folder (ending in /, or a pattern such as
                              /src/*.frm), the NEW source folder and the definition file,
                              taken as the window's boxes take them.
  --no-subfolders             does not walk subfolders (サブフォルダ内もリプレース off).
  --mark                      inserts the mark line before every changed line (修正マーク挿入 on).
  --report FILE               writes the run report to FILE (CSV when its name ends in .csv,
                              text otherwise; both UTF-8).
  --diff FILE                 writes a unified diff (diff -u) of every changed file to FILE
                              (- for standard output; the status and summary then go to
                              standard error). patch -p1 inside a copy of the ORG folder gives
                              the NEW files. A file changed since the run is named on standard
                              error and left out (exit status 1).
  Prints the final status text and the summary to standard output. Exit status: 0 finished,
  1 an error, 2 arguments not understood.
)";

constexpr char Version[] = "vandor " VANDOR_VERSION "\n";

struct RunArguments {
    std::u16string paths[3];
    bool subfolders = true;
    bool mark = false;
    std::optional<std::u16string> report;
    std::optional<std::u16string> diff; // "-": standard output
};

// The window as the command line stands it in: the arguments are the boxes, and only the last
// status text is kept, to be printed.
class ConsoleWindow final : public engine::RunWindow {
public:
    explicit ConsoleWindow(const RunArguments& arguments)
        : m_arguments(arguments)
    {
        for (int i = 0; i < 3; ++i) {
            m_boxes[i] = arguments.paths[i];
        }
    }

    const std::u16string& LastStatus() const { return m_status; }

    void SetStatusText(const std::u16string& text) override { m_status = text; }
    // Only the final status is printed: the files passed are not named.
    void ShowReplacing(const platform::NativePath&) override { }
    engine::CheckState SubfoldersOption() const override
    {
        return m_arguments.subfolders ? engine::CheckState::Ticked : engine::CheckState::Clear;
    }
    void ProcessPendingEvents() override { }
    std::u16string BoxText(engine::PathBox box) const override
    {
        return m_boxes[static_cast<int>(box)];
    }
    void SetBoxText(engine::PathBox box, const std::u16string& text) override
    {
        m_boxes[static_cast<int>(box)] = text;
    }
    engine::CheckState InsertMarkOption() const override
    {
        return m_arguments.mark ? engine::CheckState::Ticked : engine::CheckState::Clear;
    }
    void SetControlsEnabled(bool) override { }
    void EnableStatusLabel() override { }
    void Beep() override { }
    std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject() override
    {
        return platform::CreateFileSystemObject();
    }

private:
    const RunArguments& m_arguments;
    std::u16string m_boxes[3];
    std::u16string m_status;
};

struct UsageError {
    std::string message;
};

std::string Utf8(std::u16string_view text) { return engine::ToUtf8(text); }

std::filesystem::path FilePath(const std::u16string& name)
{
#ifdef _WIN32
    return std::filesystem::path(name);
#else
    return std::filesystem::path(platform::EncodeFileName(name));
#endif
}

bool WriteDiffFile(const std::u16string& name, const engine::RunReport& report, std::ostream& err)
{
    std::ofstream file(FilePath(name), std::ios::binary | std::ios::trunc);
    const bool whole = file && engine::WriteDiff(report, file, err);
    file.close();
    if (file.fail()) {
        err << Utf8(u"【エラー】 差分を保存できませんでした。\n" + name) << '\n';
        return false;
    }
    return whole;
}

RunArguments ParseRun(const std::vector<std::u16string>& arguments)
{
    RunArguments run;
    int paths = 0;
    bool optionsEnded = false;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (!optionsEnded && argument.size() > 1 && argument[0] == u'-') {
            if (argument == u"--") {
                optionsEnded = true;
            } else if (argument == u"--no-subfolders") {
                run.subfolders = false;
            } else if (argument == u"--mark") {
                run.mark = true;
            } else if (argument == u"--report") {
                if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                    throw UsageError { "--report にファイル名がありません (--report needs a file "
                                       "name)" };
                }
                run.report = arguments[++i];
            } else if (argument == u"--diff") {
                if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                    throw UsageError { "--diff にファイル名がありません (--diff needs a file name "
                                       "or -)" };
                }
                run.diff = arguments[++i];
            } else if (argument.starts_with(u"--diff=") && argument.size() > 7) {
                run.diff = argument.substr(7);
            } else if (argument.starts_with(u"--report=")) {
                run.report = argument.substr(9);
                if (run.report->empty()) {
                    throw UsageError { "--report にファイル名がありません (--report needs a file "
                                       "name)" };
                }
            } else {
                throw UsageError { "不明なオプションです (unknown option): " + Utf8(argument) };
            }
            continue;
        }
        if (paths == 3) {
            throw UsageError { "パスは三つだけです (only three paths): " + Utf8(argument) };
        }
        // An empty box ends a run silently; on the command line it is a mistake to say so.
        if (common::TrimSpaces(argument).empty()) {
            throw UsageError { "空のパスは指定できません (a path is empty)" };
        }
        run.paths[paths++] = argument;
    }
    if (paths < 3) {
        throw UsageError { "ORG、NEW、DEFINITION の三つのパスが必要です (three paths are "
                           "needed: ORG NEW DEFINITION)" };
    }
    return run;
}

bool WriteBytes(const std::u16string& name, const std::string& bytes)
{
    std::ofstream file(FilePath(name), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

bool EndsWithCsv(const std::u16string& name)
{
    if (name.size() < 4) {
        return false;
    }
    std::u16string ending = name.substr(name.size() - 4);
    for (char16_t& unit : ending) {
        if (unit >= u'A' && unit <= u'Z') {
            unit = static_cast<char16_t>(unit - u'A' + u'a');
        }
    }
    return ending == u".csv";
}

int Run(const RunArguments& arguments, std::ostream& out, std::ostream& err)
{
    ConsoleWindow window(arguments);
    const bool diffOut = arguments.diff && *arguments.diff == u"-";
    const engine::RunReport report
        = engine::RunReplace(window, common::NativePathStyle(), arguments.diff.has_value());
    // The final status text as the window shows it: an error message, a line feed, the path.
    // Beside a diff on standard output it goes to standard error, so the output is the diff.
    std::ostream& shown = diffOut ? err : out;
    shown << Utf8(window.LastStatus()) << '\n' << Utf8(engine::SummaryLine(report)) << '\n';
    shown.flush();
    int status = report.result == engine::messages::Finished ? 0 : 1;
    if (arguments.report) {
        const std::string bytes = EndsWithCsv(*arguments.report) ? engine::ReportCsv(report)
                                                                 : engine::ReportText(report);
        if (!WriteBytes(*arguments.report, bytes)) {
            err << Utf8(u"【エラー】 実行結果を保存できませんでした。\n" + *arguments.report)
                << '\n';
            status = 1;
        }
    }
    if (diffOut) {
#ifdef _WIN32
        // The diff's bytes as they are: no CR before each LF.
        std::fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        status = engine::WriteDiff(report, out, err) ? status : 1;
    } else if (arguments.diff) {
        status = WriteDiffFile(*arguments.diff, report, err) ? status : 1;
    }
    return status;
}

} // namespace

std::vector<std::u16string> ProgramArguments(int argc, char* argv[])
{
    std::vector<std::u16string> arguments;
#ifdef _WIN32
    // The wide command line holds any name; the narrow one only the ANSI code page's.
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            arguments.emplace_back(reinterpret_cast<const char16_t*>(wide[i]));
        }
        LocalFree(wide);
        return arguments;
    }
#endif
    arguments.reserve(static_cast<std::size_t>(std::max(argc, 0)));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(platform::DecodeFileName(argv[i]));
    }
    return arguments;
}

bool IsCommandLine(const std::vector<std::u16string>& arguments)
{
    if (arguments.size() < 2) {
        return false;
    }
    const std::u16string& first = arguments[1];
    return first == u"--run" || first == u"--help" || first == u"-h" || first == u"--version";
}

int RunCommandLine(
    const std::vector<std::u16string>& arguments, std::ostream& out, std::ostream& err)
{
    for (std::size_t i = 1; i < arguments.size() && arguments[i] != u"--"; ++i) {
        if (arguments[i] == u"--help" || arguments[i] == u"-h") {
            out << Help;
            return 0;
        }
    }
    if (arguments.size() == 2 && arguments[1] == u"--version") {
        out << Version;
        return 0;
    }
    try {
        if (arguments.size() < 2 || arguments[1] != u"--run") {
            throw UsageError { "--run、--help、--version のどれかを指定してください (use --run, "
                               "--help or --version)" };
        }
        const RunArguments run = ParseRun(arguments);
        return Run(run, out, err);
    } catch (const UsageError& error) {
        err << "vandor: " << error.message << '\n' << Usage;
        return 2;
    } catch (const std::exception& error) {
        err << "vandor: " << error.what() << '\n';
        return 1;
    }
}

} // namespace ui
