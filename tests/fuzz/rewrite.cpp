// Any line through any pair table: the rewriting finishes, keeps an unchanged line as it was read,
// brings in no byte that was neither read nor in a pair, and agrees with the plain reference
// rewriter byte for byte.

#include "engine/PairTable.h"
#include "engine/RewriteLine.h"
#include "platform/Cp932.h"
#include "tests/engine/Reference.h"
#include "tests/support/Rewriting.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxText = 64;
constexpr int kMaxPairs = 16;
// The reference is quadratic; lines that pairs could grow past this are not worth its time.
constexpr std::size_t kMaxGrownLine = 1024;

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Collects the escape units of the text; true when one of them is a lead byte standing alone.
bool AddEscapes(std::string_view bytes, std::set<char16_t>& escapes)
{
    bool loneLead = false;
    for (const char16_t unit : platform::DecodeCp932(bytes)) {
        if (platform::IsEscapeUnit(unit)) {
            escapes.insert(unit);
            loneLead
                = loneLead || IsLeadByte(static_cast<unsigned char>(platform::EscapedByte(unit)));
        }
    }
    return loneLead;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool insertMark = input.ConsumeBool();
    const std::string line = input.ConsumeRandomLengthString(kMaxLine);
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t grown = platform::DecodeCp932(line).size();
    while (input.remaining_bytes() > 0 && fields.size() < static_cast<std::size_t>(kMaxPairs)) {
        const std::string search = input.ConsumeRandomLengthString(kMaxText);
        const std::string replace = input.ConsumeRandomLengthString(kMaxText);
        const std::size_t searchUnits = platform::DecodeCp932(search).size();
        const std::size_t replaceUnits = platform::DecodeCp932(replace).size();
        if (searchUnits > 0 && replaceUnits > searchUnits) {
            grown = grown * replaceUnits / searchUnits + replaceUnits;
        }
        fields.emplace_back(search, replace);
    }
    if (grown > kMaxGrownLine) {
        return 0;
    }
    const engine::PairTable table(fields);

    const testing_support::RewrittenLine result
        = testing_support::RewriteLine(line, table, insertMark);
    const reference::Result expected = reference::Rewrite(line, table, insertMark);
    if (result.LineChanged != expected.changed || result.Records != expected.records) {
        std::abort();
    }
    if (!result.LineChanged && result.Records != std::vector<std::string> { line }) {
        std::abort();
    }

    // A byte that is not a character reaches the copy only from the line or from a pair. (A lead
    // byte standing alone may pair with the byte that a splice puts after it, which moves the
    // character boundaries after it; then only the reference speaks.)
    std::set<char16_t> allowed;
    bool loneLead = AddEscapes(line, allowed);
    for (int k = 0; k <= table.LastPairIndex(); ++k) {
        AddEscapes(platform::EncodeCp932(table.SearchText(static_cast<std::size_t>(k))), allowed);
        loneLead = AddEscapes(table.ReplaceBytes(static_cast<std::size_t>(k)), allowed) || loneLead;
    }
    if (!loneLead) {
        for (const std::string& record : result.Records) {
            for (const char16_t unit : platform::DecodeCp932(record)) {
                if (platform::IsEscapeUnit(unit) && allowed.count(unit) == 0) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
