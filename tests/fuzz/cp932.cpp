// Decoding keeps every byte: each unit stands for the bytes it was read from, and encoding the text
// again gives the input back, unless it holds a character that CP932 codes twice.

#include "platform/Cp932.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = platform::DecodeCp932(bytes);
    bool doublyCoded = false;
    std::size_t offset = 0;
    for (const char16_t unit : text) {
        if (offset >= size) {
            std::abort(); // more units than bytes
        }
        const platform::DecodedUnit at = platform::DecodeCp932At(data + offset, size - offset);
        if (at.unit != unit || at.length < 1 || at.length > 2 || offset + at.length > size) {
            std::abort();
        }
        const std::string_view read = bytes.substr(offset, at.length);
        if (platform::IsEscapeUnit(unit)
            && (at.length != 1 || data[offset] < 0x80 || platform::EscapedByte(unit) != read[0])) {
            std::abort();
        }
        // The prefilter looks for a character by its codes: the bytes it was read from must be one.
        const std::vector<std::string> codes = platform::Cp932Codes(unit);
        if (std::find(codes.begin(), codes.end(), read) == codes.end()) {
            std::abort();
        }
        if (!platform::IsEscapeUnit(unit)
            && static_cast<int>(codes.size()) != platform::Cp932CodeCount(unit)) {
            std::abort();
        }
        doublyCoded = doublyCoded || platform::Cp932CodeCount(unit) > 1;
        offset += at.length;
    }
    if (offset != size) {
        std::abort(); // bytes left without a unit
    }
    if (!doublyCoded && platform::EncodeCp932(text) != bytes) {
        std::abort();
    }
    return 0;
}
