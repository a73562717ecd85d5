#pragma once

#include "engine/Prefilter.h"
#include "engine/TextEncoding.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// A search text as the rewriting looks for it: lower-cased characters, with the table of where a
// partial match goes on after a mismatch, so a line is decoded once per pair and never backed up.
struct Needle {
    std::u32string lower;
    std::vector<std::uint32_t> fallback; // longest proper prefix that is also a suffix, per length
};

struct CompiledPair {
    Needle search; // empty: the pair matches nothing
    std::string replace[2]; // the replacement's bytes in each encoding, by TextEncoding
};

struct CompiledPairs {
    std::vector<CompiledPair> pairs;
    Prefilter prefilter[2]; // by TextEncoding
};

Needle MakeNeedle(std::u16string_view text);

} // namespace engine
