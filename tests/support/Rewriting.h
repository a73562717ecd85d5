#pragma once

#include "engine/PairTable.h"
#include "engine/RewriteLine.h"

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

// A table from decoded texts, encoded to CP932 for the bytes that are written.
engine::PairTable MakePairTable(const Pairs& pairs);

struct RewrittenLine {
    bool LineChanged = false;
    // The bytes of each record; the walk writes CR LF after each.
    std::vector<std::string> Records;
};

// One line through the rewriting as the walk takes it: the prefilter's scan of the line gives the
// candidate pairs, the line rewriter rewrites and writes the records.
RewrittenLine RewriteLine(std::string_view line, const engine::PairTable& table, bool InsertMark,
    engine::TextEncoding encoding = engine::TextEncoding::Cp932);

} // namespace testing_support
