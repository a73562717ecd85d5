#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

// Where a field lies in the definition's bytes, and whether they are all ASCII, as found when it
// was read: an ASCII search text is its own needle, which a table of a million pairs would
// otherwise ask of every search text again.
struct FieldSpan {
    std::uint32_t offset;
    std::uint32_t length : 31;
    std::uint32_t ascii : 1;
};

// Every byte is below 0x80.
bool IsAscii(std::string_view bytes);

} // namespace engine
