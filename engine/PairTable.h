#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct CompiledPairs;

// The search texts and their replacements, in definition order. Entries 0 to LastPairIndex hold
// the pairs; the table has no fixed capacity.
struct PairTable {
    std::vector<std::u16string> SearchTexts;  // decoded, exactly as read
    std::vector<std::u16string> ReplaceTexts; // decoded, exactly as read
    std::vector<std::string> ReplaceBytes;    // as the definition file holds them
    int LastPairIndex = -1;
    // Lower-cased texts and the multi-pattern prefilter, made once per load by CompilePairs.
    std::shared_ptr<const CompiledPairs> compiled;
};

// Appends one pair from the bytes of its two fields.
void AppendPair(PairTable& table, std::string_view searchBytes, std::string_view replaceBytes);

// Prepares a filled table for rewriting.
void CompilePairs(PairTable& table);

// A ready table from decoded texts, encoded to CP932 for the bytes that are written.
PairTable MakePairTable(const std::vector<std::pair<std::u16string, std::u16string>>& pairs);

} // namespace engine
