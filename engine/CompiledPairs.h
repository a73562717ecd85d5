#pragma once

#include "engine/PairTable.h"
#include "engine/Prefilter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct CompiledPair {
    std::u16string lowerSearch; // empty: the pair matches nothing
    std::u16string lowerReplace;
    std::string replaceBytes;
    std::vector<std::uint32_t> replaceOffsets; // byte offset of each unit of the replacement
};

struct CompiledPairs {
    std::vector<CompiledPair> pairs;
    Prefilter prefilter;
    // Pairs without a needle: tried on every line.
    std::vector<int> unfiltered;
};

} // namespace engine
