#include "tests/support/Rewriting.h"

#include "engine/CompiledPairs.h"
#include "platform/Cp932.h"

#include <algorithm>

namespace testing_support {

engine::PairTable MakePairTable(const Pairs& pairs)
{
    std::vector<std::pair<std::string, std::string>> fields;
    for (const auto& [search, replace] : pairs) {
        fields.emplace_back(platform::EncodeCp932(search), platform::EncodeCp932(replace));
    }
    return engine::PairTable(fields);
}

RewrittenLine RewriteLine(std::string_view line, const engine::PairTable& table, bool InsertMark,
    engine::TextEncoding encoding)
{
    std::vector<engine::Prefilter::Hit> hits;
    table.Compiled().prefilter[static_cast<std::size_t>(encoding)].Scan(
        line.data(), line.size(), hits);
    std::vector<int> candidates;
    for (const auto& hit : hits) {
        candidates.push_back(hit.pair);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    engine::LineRewriter rewriter(table, InsertMark);
    rewriter.SetEncoding(encoding);
    RewrittenLine result;
    if (!rewriter.RewriteLine(line, candidates)) {
        result.Records.emplace_back(line);
        return result;
    }
    result.LineChanged = true;
    // Records and their CR LF come in turn.
    bool record = true;
    rewriter.WriteRecords([&](std::string_view bytes) {
        if (record) {
            result.Records.emplace_back(bytes);
        }
        record = !record;
    });
    return result;
}

} // namespace testing_support
