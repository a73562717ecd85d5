#include "engine/ReportText.h"

#include "engine/RunCommand.h"
#include "platform/Cp932.h"
#include "tests/engine/FakeWindow.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <sstream>

using engine::ChangedFile;
using engine::FailureReason;
using engine::RunReport;
using engine::SkipReason;
using engine::TextEncoding;
using testing_support::Sjis;

namespace {

// A strict RFC 4180 reader: quoted fields may hold commas, doubled quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(std::string_view csv)
{
    std::vector<std::vector<std::string>> records(1);
    std::string field;
    std::size_t i = 0;
    const auto endField = [&] {
        records.back().push_back(field);
        field.clear();
    };
    while (i < csv.size()) {
        if (csv[i] == '"' && field.empty()) {
            ++i;
            for (;; ++i) {
                if (i >= csv.size()) {
                    ADD_FAILURE() << "unterminated quote";
                    return records;
                }
                if (csv[i] == '"') {
                    if (i + 1 < csv.size() && csv[i + 1] == '"') {
                        field.push_back('"');
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    field.push_back(csv[i]);
                }
            }
            if (i < csv.size() && csv[i] != ',' && csv[i] != '\r') {
                ADD_FAILURE() << "text after a closing quote at " << i;
            }
            continue;
        }
        if (csv[i] == ',') {
            endField();
            ++i;
        } else if (csv.substr(i, 2) == "\r\n") {
            endField();
            records.emplace_back();
            i += 2;
        } else {
            EXPECT_NE(csv[i], '"') << "a bare quote at " << i;
            EXPECT_NE(csv[i], '\r') << "a bare CR at " << i;
            EXPECT_NE(csv[i], '\n') << "a bare LF at " << i;
            field.push_back(csv[i++]);
        }
    }
    EXPECT_TRUE(records.back().empty() && field.empty()) << "the last record ends in CR LF";
    records.pop_back();
    return records;
}

std::string U8(std::u16string_view text) { return engine::ToUtf8(text); }

RunReport SmallReport()
{
    RunReport report;
    report.ran = true;
    report.org = u"/src/proj/*.*";
    report.newFolder = u"/out/";
    report.definition = u"/rules.txt";
    report.pairs = engine::PairTable({ { Sjis(u"顧客"), Sjis(u"取引先") }, { "ID", "No" },
        { "a,\"b\"", "line1\r\nline2" }, { "unused", "x" } });
    report.filesRead = 7;
    report.changed = {
        { u"/src/proj/Main.frm", TextEncoding::Cp932, { { 0, 3 }, { 1, 2 } } },
        { u"/src/proj/web/a,\"b\".htm", TextEncoding::Utf8, { { 2, 1 } } },
    };
    report.skipped = { { u"/src/proj/logo.bin", SkipReason::Binary },
        { u"/src/proj/.git/", SkipReason::VersionControl } };
    report.unhandled = { { u"/src/proj/locked.bas", FailureReason::CannotOpen } };
    report.unmatchedPairs = { 3 };
    report.seconds = 1.234;
    report.result = u"【エラー】 処理できなかったファイルがあります。\n/src/proj/locked.bas";
    return report;
}

TEST(ReportText, CsvFieldsAreQuotedOnlyWhenTheyMustBe)
{
    const struct {
        std::string field, expected;
    } cases[] = {
        { "", "" },
        { "plain", "plain" },
        { "with space ", "with space " },
        { "a,b", "\"a,b\"" },
        { "say \"hi\"", "\"say \"\"hi\"\"\"" },
        { "\"", "\"\"\"\"" },
        { "two\r\nlines", "\"two\r\nlines\"" },
        { "lf\nonly", "\"lf\nonly\"" },
        { "cr\ronly", "\"cr\ronly\"" },
        { U8(u"顧客→取引先"), U8(u"顧客→取引先") },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(engine::CsvField(c.field), c.expected) << c.field;
        const auto records = ParseCsv(engine::CsvField(c.field) + ",x\r\n");
        ASSERT_EQ(records.size(), 1u) << c.field;
        EXPECT_EQ(records[0], (std::vector<std::string> { c.field, "x" })) << c.field;
    }
}

TEST(ReportText, Utf8KeepsEveryCharacterAndShowsUndecodableBytes)
{
    const struct {
        std::u16string text;
        std::string expected;
    } cases[] = {
        { u"abc", "abc" },
        { u"顧客", "\xE9\xA1\xA7\xE5\xAE\xA2" },
        { u"ｱ", "\xEF\xBD\xB1" },
        { u"\U0001F600", "\xF0\x9F\x98\x80" },
        { std::u16string(u"a") + platform::EscapeUnit(0x83) + u"b", "a\\x83b" },
        { std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD" },
        { std::u16string(1, char16_t(0xDC10)), "\xEF\xBF\xBD" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(engine::ToUtf8(c.text), c.expected);
    }
}

TEST(ReportText, CsvHoldsOneRecordPerEntryAndReadsBack)
{
    const RunReport report = SmallReport();
    const std::string csv = engine::ReportCsv(report);
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    const auto records = ParseCsv(std::string_view(csv).substr(3));
    const std::vector<std::vector<std::string>> expected = {
        { U8(u"種別"), U8(u"パス"), U8(u"文字コード"), U8(u"置換数"), U8(u"内訳・理由") },
        { U8(u"変更"), "/src/proj/Main.frm", "CP932", "5",
            U8(u"「顧客」→「取引先」 3、「ID」→「No」 2") },
        { U8(u"変更"), "/src/proj/web/a,\"b\".htm", "UTF-8", "1",
            U8(u"「a,\"b\"」→「line1\\r\\nline2」 1") },
        { U8(u"除外"), "/src/proj/logo.bin", "", "", U8(u"バイナリファイル（NUL を含む）") },
        { U8(u"除外"), "/src/proj/.git/", "", "", U8(u"バージョン管理のフォルダ") },
        { U8(u"処理不可"), "/src/proj/locked.bas", "", "", U8(u"開けません") },
        { U8(u"一致なし"), "", "", "0", U8(u"「unused」→「x」") },
    };
    EXPECT_EQ(records, expected);
}

TEST(ReportText, TextNamesEverythingTheReportHolds)
{
    const RunReport report = SmallReport();
    const std::string text = engine::ReportText(report);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        ASSERT_FALSE(line.empty()) << "every line ends in CR LF";
        ASSERT_EQ(line.back(), '\r') << line;
        line.pop_back();
        lines.push_back(line);
    }
    const auto has = [&](const std::u16string& line) {
        return std::find(lines.begin(), lines.end(), U8(line)) != lines.end();
    };
    const std::u16string expected[] = {
        u"ORG ソースフォルダ: /src/proj/*.*",
        u"NEW ソースフォルダ: /out/",
        u"リプレース定義: /rules.txt",
        u"結果: 【エラー】 処理できなかったファイルがあります。",
        u"      /src/proj/locked.bas",
        u"読み込み 7 件、変更 2 件、除外 2 件、処理不可 1 件、1.23 秒",
        u"■ 変更したファイル（2）",
        u"  /src/proj/Main.frm  CP932  置換 5",
        u"      「顧客」→「取引先」  3",
        u"      「ID」→「No」  2",
        u"  /src/proj/web/a,\"b\".htm  UTF-8  置換 1",
        u"      「a,\"b\"」→「line1\\r\\nline2」  1",
        u"■ 除外したファイルとフォルダ（2）",
        u"  /src/proj/logo.bin  バイナリファイル（NUL を含む）",
        u"  /src/proj/.git/  バージョン管理のフォルダ",
        u"■ 処理できなかったファイル（1）",
        u"  /src/proj/locked.bas  開けません",
        u"■ どのファイルにも一致しなかった対（1）",
        u"  「unused」→「x」",
    };
    for (const std::u16string& line : expected) {
        EXPECT_TRUE(has(line)) << U8(line) << "\n--- in ---\n" << text;
    }
    // The sections come in this order.
    std::size_t last = 0;
    for (const char16_t* heading : { u"■ 変更", u"■ 除外", u"■ 処理", u"■ どの" }) {
        const std::size_t at = text.find(U8(heading));
        ASSERT_NE(at, std::string::npos) << U8(heading);
        EXPECT_GT(at, last) << U8(heading);
        last = at;
    }
}

TEST(ReportText, APairOutsideTheTableIsNamedByItsNumber)
{
    RunReport report;
    report.pairs
        = engine::PairTable(std::vector<std::pair<std::string, std::string>> { { "a", "b" } });
    EXPECT_EQ(engine::PairName(report, 0), u"「a」→「b」");
    EXPECT_EQ(engine::PairName(report, 4), u"対 5");
    // A byte that is no character: the escape unit it decodes to is shown as the byte.
    ASSERT_EQ(platform::DecodeCp932("x\xE0\ty"),
        std::u16string(u"x") + platform::EscapeUnit(0xE0) + u"\ty");
    report.pairs = engine::PairTable({ { "a", "b" }, { "x\xE0\ty", "" } });
    EXPECT_EQ(engine::PairName(report, 1), u"「x\\xE0\\ty」→「」");
}

// A real run's report, written both ways: every path and count the run reported is in it.
TEST(ReportText, ARealRunsReportReadsBack)
{
    testing_support::TempTree tree;
    tree.Write("org/proj/a.frm", testing_support::Sjis(u"Dim 顧客\r\n顧客 = 1\r\n"));
    tree.Write("org/proj/b.frm", "same\r\n");
    tree.Write("rules.txt", testing_support::Sjis(u"顧客,取引先\r\nnowhere,x\r\n"));
    tree.MakeFolder("new");
    FakeWindow window;
    window.boxes[0] = testing_support::U16(tree.Path("org/proj"), true);
    window.boxes[1] = testing_support::U16(tree.Path("new"), true);
    window.boxes[2] = testing_support::U16(tree.Path("rules.txt"));
    const RunReport report = engine::RunReplace(window, common::NativePathStyle());
    ASSERT_TRUE(report.ran);

    const std::string csv = engine::ReportCsv(report);
    const auto records = ParseCsv(std::string_view(csv).substr(3));
    ASSERT_EQ(records.size(),
        1 + report.changed.size() + report.skipped.size() + report.unhandled.size()
            + report.unmatchedPairs.size());
    for (std::size_t i = 0; i < report.changed.size(); ++i) {
        EXPECT_EQ(records[1 + i][1], U8(report.changed[i].path));
        EXPECT_EQ(records[1 + i][3], std::to_string(engine::TotalReplacements(report.changed[i])));
    }
    const std::string text = engine::ReportText(report);
    EXPECT_NE(text.find(U8(u"結果: " + report.result + u"\r\n")), std::string::npos) << text;
    EXPECT_NE(text.find(U8(engine::SummaryLine(report))), std::string::npos) << text;
    EXPECT_NE(text.find(U8(window.boxes[0])), std::string::npos) << text;
}

} // namespace
