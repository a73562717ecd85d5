#include "engine/LoadDefinition.h"

#include "engine/BothAtOnce.h"

#include "platform/FieldReader.h"
#include "platform/SysCalls.h"
#include "platform/TextFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace engine {
namespace {

struct Read {
    BlockArray<char> bytes;
    std::size_t size = 0;
    bool failed = false;
};

// The whole file, in a block of the size it had when opened; one that grew since gets a larger
// block, within the budget. The block is zeroed first, which a large one has done on two cores.
Read ReadAll(platform::InputFile& file, std::uint64_t budget)
{
    Read read;
    read.bytes = BlockArray<char>(static_cast<std::size_t>(file.SizeAtOpen()) + 1, true);
    for (;;) {
        if (read.size == read.bytes.size()) {
            const std::size_t larger = 2 * read.bytes.size();
            if (larger >= kLargestFile || larger > budget) {
                throw std::bad_alloc();
            }
            BlockArray<char> grown(larger);
            std::memcpy(grown.data(), read.bytes.data(), read.size);
            read.bytes = std::move(grown);
        }
        const long n = file.Read(read.bytes.data() + read.size, read.bytes.size() - read.size);
        if (n <= 0) {
            read.failed = n < 0;
            return read;
        }
        read.size += static_cast<std::size_t>(n);
    }
}

bool EndsField(char c) { return c == ',' || c == '\r' || c == '\n' || c == '"'; }

// At most one field more than there are bytes that can end one; counted sixteen bytes at once
// where the processor has SSE2.
std::size_t MostFields(std::string_view text)
{
    std::size_t count = 1;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i quote = _mm_set1_epi8('"');
    // Each byte of the sum counts up to 255 ends, then the sums are added up.
    while (i + 16 <= text.size()) {
        __m128i sums = _mm_setzero_si128();
        for (int step = 0; step < 255 && i + 16 <= text.size(); ++step, i += 16) {
            const __m128i bytes
                = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
            const __m128i ends = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, comma), _mm_cmpeq_epi8(bytes, cr)),
                _mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, quote)));
            sums = _mm_sub_epi8(sums, ends);
        }
        const __m128i halves = _mm_sad_epu8(sums, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(halves))
            + static_cast<std::size_t>(_mm_extract_epi16(halves, 4));
    }
#endif
    return count + static_cast<std::size_t>(std::count_if(text.begin() + i, text.end(), EndsField));
}

// Where a large definition is read in two pieces at once: the start of the first line after its
// middle; the end of a small one, which is read in one piece.
std::size_t SplitPoint(std::string_view text)
{
    constexpr std::size_t kSplitFrom = std::size_t(1) << 20;
    if (text.size() < kSplitFrom) {
        return text.size();
    }
    const std::size_t lineEnd = text.find('\n', text.size() / 2);
    return lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
}

struct Fields {
    std::size_t count;
    std::size_t end; // where the reader stopped
};

// The fields a reader starting at `from` reads before it is at `until` or beyond.
Fields ReadFieldsOf(std::string_view text, std::size_t from, std::size_t until, FieldSpan* out)
{
    platform::FieldReader reader(text, from);
    std::string_view field;
    std::size_t count = 0;
    while (reader.Position() < until && reader.ReadField(field)) {
        out[count++] = { static_cast<std::uint32_t>(field.data() - text.data()),
            static_cast<std::uint32_t>(field.size()), IsAscii(field) };
    }
    return { count, reader.Position() };
}

// Every field of the text, into out, which holds MostFields of the text; returns how many. The
// pieces before and after `split` are read at once, the second into out from mostBefore on (the
// most the first can hold), and taken when the first stopped just where the second began, where a
// reader of the whole text would have been in the same state; else the first reads on alone.
std::size_t ReadFields(
    std::string_view text, std::size_t split, std::size_t mostBefore, FieldSpan* out)
{
    Fields before {};
    Fields after {};
    BothAtOnce([&] { before = ReadFieldsOf(text, 0, split, out); },
        [&] { after = ReadFieldsOf(text, split, text.size(), out + mostBefore); },
        split < text.size());
    if (before.end == split) {
        std::memmove(out + before.count, out + mostBefore, after.count * sizeof(FieldSpan));
        return before.count + after.count;
    }
    return before.count + ReadFieldsOf(text, before.end, text.size(), out + before.count).count;
}

DefinitionOutcome Load(const std::u16string& path, PairTable& table)
{
    platform::InputFile file;
    if (!file.Open(platform::NativePath::FromText(path))) {
        return DefinitionOutcome::CannotOpen;
    }
    // Decided before anything is allocated: where memory is promised freely, a table too large
    // for the machine would get the program killed rather than told.
    const std::uint64_t available = platform::Sys().availableMemory();
    const std::uint64_t budget
        = available == 0 ? std::numeric_limits<std::uint64_t>::max() : available / 2;
    const std::uint64_t size = file.SizeAtOpen();
    if (size >= kLargestFile || size > budget / kBytesPerByte) {
        return DefinitionOutcome::TooLarge;
    }
    Read read = ReadAll(file, budget);
    file.Close();
    const std::string_view text(read.bytes.data(), read.size);
    bool failed = read.failed;
    // The fields, and a missing replacement's place.
    const std::size_t split = SplitPoint(text);
    std::size_t mostBefore = 0;
    std::size_t mostAfter = 0;
    if (!failed) {
        BothAtOnce([&] { mostBefore = MostFields(text.substr(0, split)); },
            [&] { mostAfter = MostFields(text.substr(split)); }, split < text.size());
    }
    const std::size_t mostFields = failed ? 0 : mostBefore + mostAfter;
    if (read.size + mostFields * sizeof(FieldSpan) > budget) {
        return DefinitionOutcome::TooLarge;
    }
    BlockArray<FieldSpan> fields(mostFields);
    std::size_t count = 0;
    if (!failed) {
        count = ReadFields(text, split, mostBefore, fields.data());
    }
    // The end test comes before each pair, never between its two fields, so an odd number of
    // fields always ends in a failed read. The pair being read then stays counted, its
    // replacement empty.
    if (count % 2 != 0) {
        fields[count++] = { 0, 0, true };
        failed = true;
    }
    const std::size_t pairs = count / 2;
    table = PairTable(std::move(read.bytes), std::move(fields), pairs, budget);
    if (pairs == 0) {
        return failed ? DefinitionOutcome::NotPaired : DefinitionOutcome::Empty;
    }
    return failed ? DefinitionOutcome::NotPaired : DefinitionOutcome::Loaded;
}

} // namespace

DefinitionOutcome LoadDefinition(const std::u16string& path, PairTable& table)
{
    table = PairTable {};
    try {
        return Load(path, table);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // Whatever was allocated is given back before the run goes on to say so.
    table = PairTable {};
    return DefinitionOutcome::TooLarge;
}

} // namespace engine
