#pragma once

#include "engine/BlockArray.h"
#include "engine/FieldSpan.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

struct CompiledPairs;

// The search texts and their replacements, in definition order, ready for rewriting: entries 0 to
// LastPairIndex hold the pairs; the table has no fixed capacity. It is made whole and then only
// read; a copy shares it.
class PairTable {
public:
    // No pairs.
    PairTable();
    // From the bytes of each pair's two fields, as the definition file holds them.
    explicit PairTable(const std::vector<std::pair<std::string, std::string>>& fields);
    // From the definition's bytes and where its fields lie in them, two to a pair, the search
    // text first. A table that would take more than budget bytes, the bytes included, is refused
    // with std::bad_alloc before its prefilters are allocated.
    PairTable(BlockArray<char> bytes, BlockArray<FieldSpan> fields, std::size_t pairs,
        std::uint64_t budget);

    int LastPairIndex() const { return static_cast<int>(Count()) - 1; }
    std::size_t Count() const;
    // Decoded, exactly as read.
    std::u16string SearchText(std::size_t k) const;
    std::u16string ReplaceText(std::size_t k) const;
    // As the definition file holds them.
    std::string_view ReplaceBytes(std::size_t k) const;
    // Every pair's, for a small table.
    std::vector<std::u16string> SearchTexts() const;
    std::vector<std::u16string> ReplaceTexts() const;
    std::vector<std::string> ReplaceBytes() const;
    // The definition's bytes and the prefilters.
    const CompiledPairs& Compiled() const { return *m_compiled; }

private:
    std::shared_ptr<const CompiledPairs> m_compiled;
};

} // namespace engine
