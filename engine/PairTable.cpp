#include "engine/PairTable.h"

#include "engine/BothAtOnce.h"
#include "engine/CompiledPairs.h"
#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace engine {

// Eight bytes at once, the last eight overlapping those before; four or fewer the same way.
bool IsAscii(std::string_view bytes)
{
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    const auto load = [](const char* at, auto word) {
        std::memcpy(&word, at, sizeof word);
        return static_cast<std::uint64_t>(word);
    };
    std::uint64_t high = 0;
    if (n >= 8) {
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            high |= load(p + i, std::uint64_t());
        }
        high |= load(p + n - 8, std::uint64_t());
    } else if (n >= 4) {
        high = load(p, std::uint32_t()) | load(p + n - 4, std::uint32_t());
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            high |= static_cast<unsigned char>(p[i]);
        }
    }
    return (high & 0x8080808080808080ull) == 0;
}

namespace {

constexpr std::size_t kMaxSpellings = 16;
constexpr auto kCp932 = static_cast<std::size_t>(TextEncoding::Cp932);
constexpr auto kUtf8 = static_cast<std::size_t>(TextEncoding::Utf8);
constexpr std::uint64_t kNoBudget = std::numeric_limits<std::uint64_t>::max();

// The byte sequences in which a unit of a search text can stand in a line: every code of every
// unit that lower-cases alike. ASCII letters need one, as the prefilter folds ASCII case itself.
std::vector<std::string> Spellings(char16_t unit, TextEncoding encoding)
{
    if (unit < 0x80) {
        return { std::string(1, static_cast<char>(unit)) };
    }
    std::vector<std::string> spellings;
    for (const char16_t partner : platform::CasePartners(unit)) {
        if (encoding == TextEncoding::Utf8) {
            // A byte that was no character in the definition file is that byte, as in CP932:
            // it matches the same byte where a file with the UTF-8 mark is not UTF-8.
            spellings.push_back(platform::EncodeFileName(std::u16string_view(&partner, 1)));
            continue;
        }
        for (std::string& code : platform::Cp932Codes(partner)) {
            spellings.push_back(std::move(code));
        }
    }
    return spellings;
}

std::size_t SpellingCount(char16_t unit, TextEncoding encoding)
{
    if (unit < 0x80) {
        return 1;
    }
    const std::u16string partners = platform::CasePartners(unit);
    if (encoding == TextEncoding::Utf8) {
        return partners.size();
    }
    std::size_t count = 0;
    for (const char16_t partner : partners) {
        count += static_cast<std::size_t>(platform::Cp932CodeCount(partner));
    }
    return count;
}

// Case partners take as many bytes in UTF-8 as the unit itself.
std::size_t Utf8Length(char16_t unit)
{
    return unit < 0x80 || platform::IsEscapeUnit(unit) ? 1 : unit < 0x800 ? 2 : 3;
}

// A decoded unit of a search text, where its bytes lie in the field.
struct Unit {
    char16_t unit;
    std::uint32_t at;
    std::uint32_t length;
    std::size_t spellings;
};

struct Run {
    std::size_t start = 0;
    std::size_t length = 0; // 0: no line can hold the text
    std::size_t needles = 0;
};

// The longest run of the search text whose spellings make at most kMaxSpellings byte strings;
// any real occurrence of the text holds one of them.
Run BestRun(const std::vector<Unit>& units)
{
    if (std::any_of(units.begin(), units.end(), [](const Unit& u) { return u.spellings == 0; })) {
        return {};
    }
    // A single unit has at most six spellings, so the best run is never empty.
    Run best;
    std::size_t left = 0, product = 1;
    for (std::size_t right = 0; right < units.size(); ++right) {
        product *= units[right].spellings;
        while (product > kMaxSpellings) {
            product /= units[left++].spellings;
        }
        if (right + 1 - left > best.length) {
            best = { left, right + 1 - left, product };
        }
    }
    return best;
}

void Decode(std::string_view field, TextEncoding encoding, std::vector<Unit>& units)
{
    units.clear();
    const auto* data = reinterpret_cast<const unsigned char*>(field.data());
    for (std::size_t at = 0; at < field.size();) {
        const platform::DecodedUnit d = platform::DecodeCp932At(data + at, field.size() - at);
        units.push_back(
            { d.unit, static_cast<std::uint32_t>(at), d.length, SpellingCount(d.unit, encoding) });
        at += d.length;
    }
}

// Every byte string of the run, one spelling of each unit after another.
void AppendSpelledOut(const std::vector<Unit>& units, const Run& run, TextEncoding encoding,
    std::string& out, std::vector<std::uint32_t>& lengths)
{
    std::vector<std::string> needles { std::string() };
    for (std::size_t i = run.start; i < run.start + run.length; ++i) {
        std::vector<std::string> longer;
        for (const std::string& head : needles) {
            for (const std::string& tail : Spellings(units[i].unit, encoding)) {
                longer.push_back(head + tail);
            }
        }
        needles = std::move(longer);
    }
    for (const std::string& needle : needles) {
        out += needle;
        lengths.push_back(static_cast<std::uint32_t>(needle.size()));
    }
}

// What one run of pairs gives the prefilter of one encoding. An ASCII search text is its own
// needle, and so is a CP932 run whose every unit has one spelling: the bytes the definition
// holds. Only the others get bytes of their own.
struct Part {
    std::size_t from = 0; // the pairs [from, to)
    std::size_t to = 0;
    std::size_t shared = 0; // ASCII search texts, each its own needle
    std::string own;
    std::vector<Prefilter::Needle> others; // their own bytes' offsets from the start of `own`
    std::size_t utf8Needles = 0; // what the UTF-8 table will take, worked out from the CP932 one's
    std::size_t utf8Bytes = 0;
    std::size_t utf8Longest = 1;

    std::size_t Needles() const { return shared + others.size(); }
};

// A search text that is not ASCII: its needles from its best run of units, as the definition's
// bytes where one spelling is all there is, else spelled out into `own`.
void AddOtherNeedles(const std::vector<Unit>& units, const Run& run, std::uint32_t field,
    std::int32_t pair, TextEncoding encoding, Part& part)
{
    if (encoding == TextEncoding::Cp932 && run.needles == 1) {
        const Unit& last = units[run.start + run.length - 1];
        part.others.push_back(
            { field + units[run.start].at, last.at + last.length - units[run.start].at, pair });
        return;
    }
    std::vector<std::uint32_t> lengths;
    AppendSpelledOut(units, run, encoding, part.own, lengths);
    std::uint32_t at = static_cast<std::uint32_t>(part.own.size());
    for (auto it = lengths.rbegin(); it != lengths.rend(); ++it) {
        at -= *it;
    }
    for (const std::uint32_t length : lengths) {
        part.others.push_back({ at | Prefilter::kOwn, length, pair });
        at += length;
    }
}

// What the same search text will take in the UTF-8 table, counted while its CP932 units are at
// hand, so that the budget covers both tables before either is allocated.
void CountUtf8Needles(std::vector<Unit>& units, Part& part)
{
    for (Unit& unit : units) {
        unit.spellings = SpellingCount(unit.unit, TextEncoding::Utf8);
    }
    const Run utf8 = BestRun(units);
    std::size_t bytes = 0;
    for (std::size_t i = utf8.start; i < utf8.start + utf8.length; ++i) {
        bytes += Utf8Length(units[i].unit);
    }
    part.utf8Needles += utf8.needles;
    part.utf8Bytes += utf8.needles * bytes;
    part.utf8Longest = std::max(part.utf8Longest, bytes);
}

void CollectPart(const CompiledPairs& pairs, TextEncoding encoding, Part& part)
{
    std::vector<Unit> units;
    for (std::size_t k = part.from; k < part.to; ++k) {
        const FieldSpan span = pairs.fields[2 * k];
        if (span.length == 0) {
            continue;
        }
        if (span.ascii != 0) {
            ++part.shared;
            ++part.utf8Needles;
            part.utf8Longest = std::max<std::size_t>(part.utf8Longest, span.length);
            continue;
        }
        Decode(pairs.SearchBytes(k), encoding, units);
        const Run run = BestRun(units);
        if (run.length == 0) {
            continue;
        }
        AddOtherNeedles(units, run, span.offset, static_cast<std::int32_t>(k), encoding, part);
        if (encoding == TextEncoding::Cp932) {
            CountUtf8Needles(units, part);
        }
    }
}

struct Collected {
    Prefilter::NeedleList list;
    std::size_t utf8Needles = 0;
    std::size_t utf8Bytes = 0;
    std::size_t utf8Longest = 1;
};

// A table of a million pairs is collected in two halves at once.
Collected CollectNeedles(const CompiledPairs& pairs, TextEncoding encoding, std::uint64_t budget)
{
    const bool halves = pairs.count >= Prefilter::kLargeTable;
    Part parts[2];
    parts[0].to = halves ? pairs.count / 2 : pairs.count;
    parts[1].from = parts[0].to;
    parts[1].to = pairs.count;
    BothAtOnce([&] { CollectPart(pairs, encoding, parts[0]); },
        [&] { CollectPart(pairs, encoding, parts[1]); }, halves);

    Collected collected;
    std::size_t own = 0;
    for (const Part& part : parts) {
        own += part.own.size();
        collected.utf8Needles += part.utf8Needles;
        collected.utf8Bytes += part.utf8Bytes;
        collected.utf8Longest = std::max(collected.utf8Longest, part.utf8Longest);
    }
    const std::size_t count = parts[0].Needles() + parts[1].Needles();
    const std::uint64_t needed = pairs.bytes.size() + pairs.fields.size() * sizeof(FieldSpan)
        + Prefilter::MemoryFor(count, own)
        + Prefilter::MemoryFor(collected.utf8Needles, collected.utf8Bytes);
    if (needed > budget || own >= Prefilter::kOwn) {
        throw std::bad_alloc();
    }
    // An ASCII search text is its own needle where the table holds it; the others follow, those
    // of the second half their own bytes after the first half's.
    Prefilter::NeedleList& list = collected.list;
    list.shared = std::string_view(pairs.bytes.data(), pairs.bytes.size());
    list.searchTexts = pairs.fields.data();
    list.pairs = pairs.count;
    list.own = BlockArray<char>(own);
    std::memcpy(list.own.data(), parts[0].own.data(), parts[0].own.size());
    std::memcpy(list.own.data() + parts[0].own.size(), parts[1].own.data(), parts[1].own.size());
    list.others = BlockArray<Prefilter::Needle>(parts[0].others.size() + parts[1].others.size());
    std::size_t n = 0;
    for (const Part& part : parts) {
        const auto ownAt = static_cast<std::uint32_t>(&part == parts ? 0 : parts[0].own.size());
        for (Prefilter::Needle needle : part.others) {
            needle.offset += (needle.offset & Prefilter::kOwn) != 0 ? ownAt : 0;
            list.others[n++] = needle;
        }
    }
    return collected;
}

void Compile(CompiledPairs& compiled, std::uint64_t budget)
{
    Collected cp932 = CollectNeedles(compiled, TextEncoding::Cp932, budget);
    compiled.prefilter[kCp932].Build(std::move(cp932.list));
    // Most trees hold no UTF-8 file: its table is made when the first one is read.
    const CompiledPairs* pairs = &compiled;
    compiled.prefilter[kUtf8].BuildOnFirstScan(
        [pairs] { return CollectNeedles(*pairs, TextEncoding::Utf8, kNoBudget).list; },
        cp932.utf8Longest);
}

} // namespace

Needle MakeNeedle(std::u16string_view text)
{
    Needle needle;
    for (const char16_t unit : text) {
        needle.lower.push_back(platform::LowerCaseUnit(unit));
    }
    needle.fallback.assign(needle.lower.size(), 0);
    std::uint32_t k = 0;
    for (std::size_t i = 1; i < needle.lower.size(); ++i) {
        while (k > 0 && needle.lower[i] != needle.lower[k]) {
            k = needle.fallback[k - 1];
        }
        if (needle.lower[i] == needle.lower[k]) {
            ++k;
        }
        needle.fallback[i] = k;
    }
    return needle;
}

PairTable::PairTable()
    : m_compiled(std::make_shared<CompiledPairs>())
{
}

PairTable::PairTable(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::size_t size = 0;
    for (const auto& [search, replace] : fields) {
        size += search.size() + replace.size();
    }
    BlockArray<char> bytes(size);
    BlockArray<FieldSpan> spans(2 * fields.size());
    std::size_t at = 0;
    std::size_t f = 0;
    for (const auto& [search, replace] : fields) {
        for (const std::string* field : { &search, &replace }) {
            std::memcpy(bytes.data() + at, field->data(), field->size());
            spans[f++] = { static_cast<std::uint32_t>(at),
                static_cast<std::uint32_t>(field->size()), IsAscii(*field) };
            at += field->size();
        }
    }
    *this = PairTable(std::move(bytes), std::move(spans), fields.size(), kNoBudget);
}

PairTable::PairTable(
    BlockArray<char> bytes, BlockArray<FieldSpan> fields, std::size_t pairs, std::uint64_t budget)
{
    auto compiled = std::make_shared<CompiledPairs>();
    compiled->bytes = std::move(bytes);
    compiled->fields = std::move(fields);
    compiled->count = pairs;
    Compile(*compiled, budget);
    m_compiled = std::move(compiled);
}

std::size_t PairTable::Count() const { return m_compiled->count; }

std::u16string PairTable::SearchText(std::size_t k) const
{
    return platform::DecodeCp932(m_compiled->SearchBytes(k));
}

std::u16string PairTable::ReplaceText(std::size_t k) const
{
    return platform::DecodeCp932(m_compiled->ReplaceBytes(k));
}

std::string_view PairTable::ReplaceBytes(std::size_t k) const
{
    return m_compiled->ReplaceBytes(k);
}

std::vector<std::u16string> PairTable::SearchTexts() const
{
    std::vector<std::u16string> texts;
    for (std::size_t k = 0; k < Count(); ++k) {
        texts.push_back(SearchText(k));
    }
    return texts;
}

std::vector<std::u16string> PairTable::ReplaceTexts() const
{
    std::vector<std::u16string> texts;
    for (std::size_t k = 0; k < Count(); ++k) {
        texts.push_back(ReplaceText(k));
    }
    return texts;
}

std::vector<std::string> PairTable::ReplaceBytes() const
{
    std::vector<std::string> bytes;
    for (std::size_t k = 0; k < Count(); ++k) {
        bytes.emplace_back(ReplaceBytes(k));
    }
    return bytes;
}

} // namespace engine
