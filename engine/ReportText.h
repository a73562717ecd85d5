#pragma once

#include "engine/RunReport.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// The words of the run report, shared by the report files, the command line and the report window.
std::u16string EncodingName(TextEncoding encoding);
std::u16string SkipReasonText(SkipReason reason);
std::u16string FailureReasonText(FailureReason reason);
// 「search」→「replacement」, with line ends, tabs and undecodable bytes shown as \r, \n, \t, \xNN.
std::u16string PairName(const RunReport& report, int pair);
std::uint64_t TotalReplacements(const ChangedFile& file);
// 「search」→「replacement」 count, for every pair that replaced something in the file.
std::u16string PairCounts(const RunReport& report, const ChangedFile& file);
// Files read, changed, skipped and not handled, and the time taken, on one line.
std::u16string SummaryLine(const RunReport& report);
// A path or text for showing: undecodable bytes as \xNN.
std::u16string Readable(std::u16string_view text);

// UTF-16 to UTF-8; undecodable bytes are shown as \xNN, any other lone surrogate as U+FFFD.
std::string ToUtf8(std::u16string_view text);

// The report as readable Japanese text: UTF-8, lines ending in CR LF.
std::string ReportText(const RunReport& report);

// One CSV field (RFC 4180): quoted, with its quotes doubled, when it holds a comma, a double
// quote, CR or LF.
std::string CsvField(std::string_view utf8);

// The report as CSV: UTF-8 with a byte order mark (so spreadsheet programs on Japanese systems
// read it as UTF-8), records ending in CR LF.
// Columns: 種別 (変更/除外/処理不可/一致なし), パス, 文字コード, 置換数, 内訳・理由.
std::string ReportCsv(const RunReport& report);

} // namespace engine
