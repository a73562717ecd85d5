#pragma once

#include "engine/BlockArray.h"
#include "engine/PairTable.h"
#include "engine/Prefilter.h"
#include "engine/TextEncoding.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A search text as the rewriting looks for it: lower-cased characters, with the table of where a
// partial match goes on after a mismatch, so a line is decoded once per pair and never backed up.
struct Needle {
    std::u32string lower;
    std::vector<std::uint32_t> fallback; // longest proper prefix that is also a suffix, per length
};

// The table's contents: the definition's bytes, where each field lies in them, and a prefilter
// for each encoding. Made once, then only read, by the walk's thread and the read-ahead thread;
// what the rewriting needs of a pair is worked out by the rewriting when a line first needs it.
struct CompiledPairs {
    BlockArray<char> bytes;
    BlockArray<FieldSpan> fields; // two a pair: the search text, then the replacement
    std::size_t count = 0;
    Prefilter prefilter[2]; // by TextEncoding

    std::string_view Field(std::size_t f) const
    {
        return { bytes.data() + fields[f].offset, fields[f].length };
    }
    std::string_view SearchBytes(std::size_t k) const { return Field(2 * k); }
    std::string_view ReplaceBytes(std::size_t k) const { return Field(2 * k + 1); }
};

Needle MakeNeedle(std::u16string_view text);

} // namespace engine
