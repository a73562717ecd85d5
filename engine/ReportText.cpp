#include "engine/ReportText.h"

#include "platform/FileName.h"

#include <cstdio>

namespace engine {

namespace {

std::u16string Number(std::uint64_t value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds < 0 ? 0.0 : seconds);
    const std::string digits = text;
    return std::u16string(digits.begin(), digits.end()) + u" 秒";
}

// Line ends and tabs as escapes, so that a pair keeps to one line of the report.
std::u16string OneLine(std::u16string_view text)
{
    std::u16string line;
    line.reserve(text.size());
    for (const char16_t unit : text) {
        switch (unit) {
        case u'\r':
            line += u"\\r";
            break;
        case u'\n':
            line += u"\\n";
            break;
        case u'\t':
            line += u"\\t";
            break;
        default:
            line.push_back(unit);
        }
    }
    return line;
}

constexpr char16_t ChangedKind[] = u"変更";
constexpr char16_t SkippedKind[] = u"除外";
constexpr char16_t UnhandledKind[] = u"処理不可";
constexpr char16_t UnmatchedKind[] = u"一致なし";

} // namespace

std::u16string EncodingName(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf8 ? u"UTF-8" : u"CP932";
}

std::u16string SkipReasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::Binary:
        return u"バイナリファイル（NUL を含む）";
    case SkipReason::Utf16:
        return u"UTF-16 のファイル";
    case SkipReason::VersionControl:
        break;
    }
    return u"バージョン管理のフォルダ";
}

std::u16string FailureReasonText(FailureReason reason)
{
    switch (reason) {
    case FailureReason::CannotOpen:
        return u"開けません";
    case FailureReason::CannotRead:
        return u"最後まで読めません";
    case FailureReason::ChangedWhileRead:
        return u"読み込み中に変更されました";
    case FailureReason::CannotWrite:
        return u"コピーを書き込めないか、古いコピーを削除できません";
    case FailureReason::TooLong:
        return u"メモリに収まらない長さの行があります";
    case FailureReason::CannotList:
        break;
    }
    return u"フォルダを読めません";
}

std::u16string Readable(std::u16string_view text) { return platform::ReadableName(text); }

std::u16string PairName(const RunReport& report, int pair)
{
    const auto index = static_cast<std::size_t>(pair);
    if (pair < 0 || index >= report.pairs.Count()) {
        return u"対 " + Number(static_cast<std::uint64_t>(pair < 0 ? 0 : pair) + 1);
    }
    return u"「" + OneLine(Readable(report.pairs.SearchText(index))) + u"」→「"
        + OneLine(Readable(report.pairs.ReplaceText(index))) + u"」";
}

std::uint64_t TotalReplacements(const ChangedFile& file)
{
    std::uint64_t total = 0;
    for (const auto& [pair, count] : file.replacements) {
        total += count;
    }
    return total;
}

std::u16string PairCounts(const RunReport& report, const ChangedFile& file)
{
    std::u16string text;
    for (const auto& [pair, count] : file.replacements) {
        if (!text.empty()) {
            text += u"、";
        }
        text += PairName(report, pair) + u' ' + Number(count);
    }
    return text;
}

std::u16string SummaryLine(const RunReport& report)
{
    return u"読み込み " + Number(report.filesRead) + u" 件、変更 " + Number(report.changed.size())
        + u" 件、除外 " + Number(report.skipped.size()) + u" 件、処理不可 "
        + Number(report.unhandled.size()) + u" 件、" + Seconds(report.seconds);
}

std::string ToUtf8(std::u16string_view text)
{
    // Readable has shown every byte that was no character as \xNN; a lone surrogate left
    // becomes U+FFFD.
    return platform::EncodeFileName(Readable(text));
}

std::string ReportText(const RunReport& report)
{
    std::u16string text;
    const auto line = [&text](const std::u16string& content) { text += content + u"\r\n"; };
    const auto heading = [&](const char16_t* title, std::size_t count) {
        line(u"");
        line(u"■ " + std::u16string(title) + u"（" + Number(count) + u"）");
        if (count == 0) {
            line(u"  なし");
        }
    };

    line(u"ヴァンドール 実行結果");
    line(u"ORG ソースフォルダ: " + report.org);
    line(u"NEW ソースフォルダ: " + report.newFolder);
    line(u"リプレース定義: " + report.definition);
    // An error message names its path on a line of its own, as the status line shows it.
    std::u16string result = report.result;
    constexpr std::u16string_view indentedBreak = u"\r\n      ";
    for (std::size_t at = result.find(u'\n'); at != std::u16string::npos;
         at = result.find(u'\n', at + indentedBreak.size())) {
        result.replace(at, 1, indentedBreak);
    }
    line(u"結果: " + result);
    line(SummaryLine(report));

    heading(u"変更したファイル", report.changed.size());
    for (const ChangedFile& file : report.changed) {
        line(u"  " + file.path + u"  " + EncodingName(file.encoding) + u"  置換 "
            + Number(TotalReplacements(file)));
        for (const auto& [pair, count] : file.replacements) {
            line(u"      " + PairName(report, pair) + u"  " + Number(count));
        }
    }
    heading(u"除外したファイルとフォルダ", report.skipped.size());
    for (const auto& [path, reason] : report.skipped) {
        line(u"  " + path + u"  " + SkipReasonText(reason));
    }
    heading(u"処理できなかったファイル", report.unhandled.size());
    for (const auto& [path, reason] : report.unhandled) {
        line(u"  " + path + u"  " + FailureReasonText(reason));
    }
    heading(u"どのファイルにも一致しなかった対", report.unmatchedPairs.size());
    for (const int pair : report.unmatchedPairs) {
        line(u"  " + PairName(report, pair));
    }
    // Paths are shown with their undecodable bytes as \xNN.
    return ToUtf8(text);
}

std::string CsvField(std::string_view utf8)
{
    if (utf8.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(utf8);
    }
    std::string field = "\"";
    for (const char c : utf8) {
        if (c == '"') {
            field.push_back('"');
        }
        field.push_back(c);
    }
    field.push_back('"');
    return field;
}

std::string ReportCsv(const RunReport& report)
{
    std::string csv = "\xEF\xBB\xBF";
    const auto record = [&csv](std::initializer_list<std::u16string> fields) {
        bool first = true;
        for (const std::u16string& field : fields) {
            if (!first) {
                csv.push_back(',');
            }
            first = false;
            csv += CsvField(ToUtf8(field));
        }
        csv += "\r\n";
    };

    record({ u"種別", u"パス", u"文字コード", u"置換数", u"内訳・理由" });
    for (const ChangedFile& file : report.changed) {
        record({ ChangedKind, file.path, EncodingName(file.encoding),
            Number(TotalReplacements(file)), PairCounts(report, file) });
    }
    for (const auto& [path, reason] : report.skipped) {
        record({ SkippedKind, path, u"", u"", SkipReasonText(reason) });
    }
    for (const auto& [path, reason] : report.unhandled) {
        record({ UnhandledKind, path, u"", u"", FailureReasonText(reason) });
    }
    for (const int pair : report.unmatchedPairs) {
        record({ UnmatchedKind, u"", u"", u"0", PairName(report, pair) });
    }
    return csv;
}

} // namespace engine
