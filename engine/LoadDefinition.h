#pragma once

#include "engine/PairTable.h"

#include <cstdint>
#include <string>

namespace engine {

enum class DefinitionOutcome { Loaded, Empty, CannotOpen, NotPaired, TooLarge };

// Fills the table from the definition file: fields taken two at a time, search text first. A
// definition whose table would not fit into half the memory the system has available is
// refused (TooLarge) before the part that would not fit is allocated: first from the file's size
// alone, kBytesPerByte for each of its bytes, then from what its fields turn out to need. So is a
// file of kLargestFile bytes or more, whose texts the table could not address.
DefinitionOutcome LoadDefinition(const std::u16string& path, PairTable& table);

inline constexpr std::uint64_t kBytesPerByte = 4;
inline constexpr std::uint64_t kLargestFile = std::uint64_t(1) << 31;

} // namespace engine
