#include "engine/Prefilter.h"

#include "engine/BothAtOnce.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <tuple>
#include <unordered_map>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace engine {
namespace {

// Wider strides probe less but use windows further from a needle's end, and texts are full
// of the stems that needles share (OrderTotal in OrderTotal01): every such window costs a
// look. Two windows, both near the end, measured best. Four letters are common in text ("ield" is
// in every Field), seven far less ("efield0"): needles whose last windows are all letters
// ("cachefield0", where only "eld0" holds the digit) are probed by windows of seven bytes, which
// took a table of them from twice the scanning time of one whose windows hold digits
// ("cachefield00") to about 1.3 times. Seven and not eight, so that a needle of eight bytes
// ("qtyterm0") has its two windows and needs no pass of its own. Wide windows cost more to hash
// and collide more in the table, so a table whose four-byte windows are rare keeps them.
struct BandShape {
    std::size_t stride;
    std::size_t width;
};
constexpr std::size_t kWide = 7;
constexpr std::size_t kSlack = 8 - kWide;
constexpr BandShape kBands[] = { { 2, 4 }, { 2, kWide }, { 1, 4 } };
constexpr std::size_t kFourWide = 0, kSevenWide = 1, kLastBand = 2;
constexpr std::uint32_t kMaxSharing = 64;
constexpr std::size_t kNoWindow = std::size_t(-1);

// Where the windows by which a band probes a needle begin: any `stride` consecutive ones, the
// last ones here; kNoWindow when the needle is too short for the band.
template <typename Band> std::size_t FirstWindow(std::size_t length, const Band& band)
{
    return length >= band.width + band.stride - 1 ? length - band.width + 1 - band.stride
                                                  : kNoWindow;
}

constexpr unsigned char Fold(unsigned char b) { return b >= 'A' && b <= 'Z' ? b | 0x20 : b; }

void FoldBytes(const char* in, std::size_t size, char* out)
{
    std::size_t i = 0;
#ifdef __SSE2__
    // 'A'..'Z' are the bytes b with (b - 'A') < 26 as signed bytes after a shift by 0x80.
    const __m128i shift = _mm_set1_epi8(static_cast<char>(0x80 - 'A'));
    const __m128i limit = _mm_set1_epi8(static_cast<char>(-0x80 + 26));
    const __m128i bit = _mm_set1_epi8(0x20);
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i upper = _mm_cmplt_epi8(_mm_add_epi8(v, shift), limit);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + i), _mm_or_si128(v, _mm_and_si128(upper, bit)));
    }
#endif
    for (; i < size; ++i) {
        out[i] = static_cast<char>(Fold(static_cast<unsigned char>(in[i])));
    }
}

inline std::uint32_t Load4(const char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The window of Width bytes at p, as the band's entries hold it. A wide window is loaded as eight
// bytes, the last one masked off: the text has a byte to spare after its end (kSlack).
template <std::size_t Width> inline std::uint64_t LoadWindow(const char* p)
{
    if constexpr (Width == kWide) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return v & ((std::uint64_t(1) << (8 * kWide)) - 1);
    } else {
        return Load4(p);
    }
}

// Eight bytes at once: those from 'A' to 'Z' gain their 0x20 bit.
inline std::uint64_t FoldWord(std::uint64_t v)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t low = v & (0x7F * ones);
    const std::uint64_t atLeastA = low + (0x80 - 'A') * ones;
    const std::uint64_t pastZ = low + (0x80 - 'Z' - 1) * ones;
    return v | (((atLeastA & ~pastZ & ~v) & (0x80 * ones)) >> 2);
}

// For the needles, which have no byte to spare and are folded as they are read: a window of four
// to eight bytes as its first four and its last four, which overlap. A copy of `width` bytes was
// a call, and loading its result stalled on the bytes just stored.
std::uint64_t LoadWindow(const char* p, std::size_t width)
{
    const std::uint64_t first = Load4(p);
    const std::uint64_t last = Load4(p + width - 4);
    return FoldWord(first | last << (8 * (width - 4)));
}

// The filter of a large band: a hashed window sets four bits of one word, so that a probe costs
// one load, and lets few windows through at 16 to 32 bits per entry. The four bits come from a
// table of masks, which a probe loads from the nearest cache instead of shifting them into place.
constexpr std::size_t kMaskBits = 10;
constexpr std::array<std::uint64_t, std::size_t(1) << kMaskBits> MakeMasks()
{
    std::array<std::uint64_t, std::size_t(1) << kMaskBits> masks {};
    std::uint64_t x = 0x2545F4914F6CDD1Dull;
    for (std::uint64_t& mask : masks) {
        int bits = 0;
        while (bits < 4) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            const std::uint64_t bit = std::uint64_t(1) << (x & 63);
            bits += (mask & bit) == 0 ? 1 : 0;
            mask |= bit;
        }
    }
    return masks;
}
constexpr auto kMasks = MakeMasks();

// One multiplication gives the window's word (the top bits of its low half), the mask and a
// fingerprint for the buckets (its high half, which every bit of the window reaches).
struct LargeKey {
    std::uint64_t low;
    std::uint64_t high;
};

inline LargeKey LargeHash(std::uint64_t window)
{
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(window) * 0x9E3779B97F4A7C15ull;
    return { static_cast<std::uint64_t>(product), static_cast<std::uint64_t>(product >> 64) };
}

inline std::uint64_t MaskOf(const LargeKey& key) { return kMasks[key.high & (kMasks.size() - 1)]; }

inline std::uint32_t FingerprintOf(const LargeKey& key)
{
    return static_cast<std::uint32_t>(key.high >> kMaskBits);
}

// Windows of a large band as they are hashed: which needle and window each is, and its hash.
struct WindowBatch {
    static constexpr std::size_t kSize = 32;
    std::uint32_t ids[kSize];
    LargeKey keys[kSize];
    std::size_t size = 0;
};

// shift: 32 less the table's bits.
template <std::size_t Width> inline std::uint32_t Hash(std::uint64_t gram, unsigned shift)
{
    if constexpr (Width == kWide) {
        return static_cast<std::uint32_t>((gram * 0x9E3779B97F4A7C15ull) >> (32 + shift));
    } else {
        return (static_cast<std::uint32_t>(gram) * 0x9E3779B1u) >> shift;
    }
}

std::uint32_t Hash(std::uint64_t gram, std::size_t width, unsigned shift)
{
    return width == kWide ? Hash<kWide>(gram, shift) : Hash<4>(gram, shift);
}

inline std::uint32_t TailHash(std::uint32_t tail, std::uint32_t reach, unsigned shift)
{
    return ((tail ^ (reach * 0x85EBCA6Bu)) * 0xC2B2AE35u) >> shift;
}

} // namespace

void Prefilter::Build(const std::vector<std::vector<std::string>>& needles)
{
    std::size_t count = 0;
    std::size_t bytes = 0;
    for (const std::vector<std::string>& of : needles) {
        for (const std::string& needle : of) {
            count += needle.empty() ? 0 : 1;
            bytes += needle.size();
        }
    }
    NeedleList list;
    list.own = BlockArray<char>(bytes);
    list.others = BlockArray<Needle>(count);
    std::size_t n = 0;
    std::size_t at = 0;
    for (std::size_t k = 0; k < needles.size(); ++k) {
        for (const std::string& needle : needles[k]) {
            if (!needle.empty()) {
                std::memcpy(list.own.data() + at, needle.data(), needle.size());
                list.others[n++] = { static_cast<std::uint32_t>(at) | kOwn,
                    static_cast<std::uint32_t>(needle.size()), static_cast<std::int32_t>(k) };
                at += needle.size();
            }
        }
    }
    Build(std::move(list));
}

void Prefilter::BuildOnFirstScan(std::function<NeedleList()> needles, std::size_t longest)
{
    m_deferred = std::move(needles);
    m_longest = std::max<std::size_t>(1, longest);
}

// The deferred tables are made once, whichever thread scans first; the other waits for them.
// The prefilter is never made const itself, only shared as const.
void Prefilter::EnsureBuilt() const
{
    std::call_once(m_built, [this] {
        auto* self = const_cast<Prefilter*>(this);
        self->Build(m_deferred());
    });
}

std::size_t Prefilter::MemoryFor(std::size_t needles, std::size_t ownBytes)
{
    // Small tables: two tables of at least 256 KiB for each of three bands, and some 200 bytes a
    // needle while they are sorted. Large ones: the needle, and for each of its two windows an
    // entry, a filter of up to 32 bits and a bucket's start of up to 16, and while the band is
    // made a second filter and counts; beside them, small bands for the needles of lengths too
    // few for a large band of their own.
    const std::size_t small = 6 * (std::size_t(256) << 10);
    if (needles < kLargeTable) {
        return ownBytes + needles * 200 + small;
    }
    return ownBytes + needles * (sizeof(Needle) + 2 * (4 + 4 + 2 + 4 + 2))
        + std::min(needles, 3 * kLargeTable) * 200 + small;
}

void Prefilter::Build(NeedleList needles)
{
    m_shared = needles.shared;
    m_searchTexts = needles.searchTexts;
    m_pairs = needles.pairs;
    m_own = std::move(needles.own);
    m_others = std::move(needles.others);
    m_bands.clear();
    m_largeBands.clear();
    m_shortByFirstByte.assign(256, {});
    m_hasShort = false;

    // Needles long enough for the wide windows take them, the shorter ones four bytes, every two
    // bytes where they can, every byte where they are four bytes long. In a large table, each of
    // these lengths that kLargeTable needles or more share gets a band of bits and buckets; the
    // others go to the bands of small tables, which cost a table this large only what its few
    // needles need.
    struct Shape {
        std::size_t stride, width, minLength, maxLength;
        std::size_t needles;
    };
    Shape shapes[]
        = { { 2, kWide, kWide + 1, std::size_t(-1), 0 }, { 2, 4, 5, kWide, 0 }, { 1, 4, 4, 4, 0 } };
    const auto shapeOf = [&](std::size_t length) -> Shape* {
        return length > kWide ? &shapes[0]
            : length > 4      ? &shapes[1]
            : length == 4     ? &shapes[2]
                              : nullptr;
    };
    std::size_t longest = 1;
    for (std::size_t n = 0; n < NeedleCount(); ++n) {
        const std::size_t length = NeedleAt(n).length;
        longest = std::max(longest, length);
        if (Shape* shape = shapeOf(length)) {
            ++shape->needles;
        }
    }
    // A deferred table keeps the bound it was given: another thread may be reading it.
    if (!m_deferred) {
        m_longest = longest;
    }
    for (const Shape& shape : shapes) {
        if (shape.needles >= kLargeTable) {
            LargeBand band;
            band.stride = shape.stride;
            band.width = shape.width;
            band.minLength = shape.minLength;
            band.maxLength = shape.maxLength;
            FillLargeBand(band, shape.needles * shape.stride);
            m_largeBands.push_back(std::move(band));
        }
    }
    std::vector<std::uint32_t> small;
    for (std::uint32_t n = 0; n < NeedleCount(); ++n) {
        const std::size_t length = NeedleAt(n).length;
        const Shape* shape = shapeOf(length);
        if (length != 0 && (shape == nullptr || shape->needles < kLargeTable)) {
            small.push_back(n);
        }
    }
    std::vector<Band> bands(std::size(kBands));
    for (std::size_t b = 0; b < bands.size(); ++b) {
        bands[b].stride = kBands[b].stride;
        bands[b].width = kBands[b].width;
    }
    AssignToBands(bands, small);
    for (Band& band : bands) {
        if (!band.entries.empty()) {
            FinishBand(band);
            m_bands.push_back(std::move(band));
        }
    }
}

const char* Prefilter::Bytes(const Needle& needle) const
{
    return (needle.offset & kOwn) != 0 ? m_own.data() + (needle.offset & ~kOwn)
                                       : m_shared.data() + needle.offset;
}

std::uint32_t Prefilter::TailOf(const Needle& needle) const
{
    return needle.length >= 4
        ? static_cast<std::uint32_t>(LoadWindow(Bytes(needle) + needle.length - 4, 4))
        : 0;
}

void Prefilter::AssignShort(std::uint32_t needle)
{
    m_shortByFirstByte[Fold(static_cast<unsigned char>(*Bytes(NeedleAt(needle))))].push_back(
        needle);
    m_hasShort = true;
}

// The windows of needles [from, to) in the band, a batch at a time.
template <typename Each>
void Prefilter::ForEachLargeWindow(
    const LargeBand& band, std::uint32_t from, std::uint32_t to, Each&& each) const
{
    const std::size_t shortest = band.minLength;
    const std::size_t longest = band.maxLength;
    const std::size_t stride = band.stride;
    const std::size_t width = band.width;
    WindowBatch batch;
    for (std::uint32_t n = from; n < to; ++n) {
        const Needle needle = NeedleAt(n);
        if (needle.length < shortest || needle.length > longest) {
            continue;
        }
        const char* first = Bytes(needle) + (needle.length - width + 1 - stride);
        for (std::uint32_t j = 0; j < stride; ++j) {
            batch.keys[batch.size] = LargeHash(LoadWindow(first + j, width));
            batch.ids[batch.size++] = n << 1 | j;
        }
        if (batch.size + stride > WindowBatch::kSize) {
            each(batch);
            batch.size = 0;
        }
    }
    each(batch);
}

// The filter and the buckets of `count` windows, one bucket for each word of the filter, in two
// passes over the band's needles: the first sets the bits and counts each bucket, the second puts
// each entry in its place, so nothing is sorted or grown. Each pass takes the first half of the
// needles on this thread and the second on another, with a filter and counts of its own in the
// first pass, and in the second its own end of each bucket. The filter and the counts are far
// larger than the cache: a batch's words are all asked for before the first is used, so that their
// misses overlap instead of following one another.
void Prefilter::FillLargeBand(LargeBand& band, std::size_t count) const
{
    // A word for every four entries or fewer: 16 to 32 bits an entry.
    unsigned bits = 1;
    while ((std::size_t(1) << bits) < count / 4) {
        ++bits;
    }
    const std::size_t words = std::size_t(1) << bits;
    const unsigned shift = 64 - bits;
    unsigned idBits = 1;
    while ((std::size_t(1) << idBits) < 2 * NeedleCount()) {
        ++idBits;
    }
    band.shift = shift;
    band.idBits = std::min(idBits, 31u);
    band.filter = BlockArray<std::uint64_t>(words, true);
    band.bucketStart = BlockArray<std::uint32_t>(words + 1, true);
    band.entries = BlockArray<std::uint32_t>(count);
    BlockArray<std::uint64_t> secondFilter(words, true);
    BlockArray<std::uint32_t> secondCounts(words, true);
    struct Half {
        std::uint32_t from, to;
        std::uint64_t* filter;
        std::uint32_t* counts; // in the second pass, where its next entry of each bucket goes
    };
    const auto middle = static_cast<std::uint32_t>(NeedleCount() / 2);
    const Half halves[] = { { 0, middle, band.filter.data(), band.bucketStart.data() },
        { middle, static_cast<std::uint32_t>(NeedleCount()), secondFilter.data(),
            secondCounts.data() } };

    const auto setBits = [&](const Half& half) {
        ForEachLargeWindow(band, half.from, half.to, [=](const WindowBatch& batch) {
            for (std::size_t i = 0; i < batch.size; ++i) {
                __builtin_prefetch(half.filter + (batch.keys[i].low >> shift), 1);
                __builtin_prefetch(half.counts + (batch.keys[i].low >> shift), 1);
            }
            for (std::size_t i = 0; i < batch.size; ++i) {
                const std::size_t word = batch.keys[i].low >> shift;
                half.filter[word] |= MaskOf(batch.keys[i]);
                ++half.counts[word];
            }
        });
    };
    BothAtOnce([&] { setBits(halves[0]); }, [&] { setBits(halves[1]); });

    // The first half's entries of a bucket end where the second half's begin: the first half is
    // placed from there down, which leaves every start where it belongs, the second from there up.
    std::uint32_t start = 0;
    for (std::size_t w = 0; w < words; ++w) {
        band.filter[w] |= secondFilter[w];
        const std::uint32_t first = band.bucketStart[w];
        const std::uint32_t second = secondCounts[w];
        band.bucketStart[w] = start + first;
        secondCounts[w] = start + first;
        start += first + second;
    }
    band.bucketStart[words] = static_cast<std::uint32_t>(count);
    secondFilter = {};

    std::uint32_t* const entries = band.entries.data();
    const unsigned idShift = band.idBits;
    const auto place = [&](const Half& half, bool down) {
        ForEachLargeWindow(band, half.from, half.to, [=](const WindowBatch& batch) {
            for (std::size_t i = 0; i < batch.size; ++i) {
                __builtin_prefetch(half.counts + (batch.keys[i].low >> shift), 1);
            }
            for (std::size_t i = 0; i < batch.size; ++i) {
                std::uint32_t& cursor = half.counts[batch.keys[i].low >> shift];
                const std::uint32_t at = down ? --cursor : cursor++;
                entries[at] = FingerprintOf(batch.keys[i]) << idShift | batch.ids[i];
            }
        });
    };
    BothAtOnce([&] { place(halves[0], true); }, [&] { place(halves[1], false); });
}

// How many needles share each window of this width near their ends. A needle probed by windows
// that many others share (OrderTotal01 ... OrderTotal99 all hold "Tota") would be verified at
// every such window in the text; it gets a narrower stride, so that its windows lie in its last
// bytes, where the family differs.
Prefilter::Sharing Prefilter::SharedWindows(
    std::size_t width, const std::vector<std::uint32_t>& which) const
{
    constexpr std::size_t stride = kBands[kFourWide].stride;
    Sharing sharing;
    sharing.reserve(which.size() * stride);
    for (const std::uint32_t n : which) {
        const Needle needle = NeedleAt(n);
        const char* folded = Bytes(needle);
        if (needle.length < width) {
            continue;
        }
        const std::size_t windows = needle.length - width + 1;
        std::array<std::uint64_t, stride> seen {};
        std::size_t count = 0;
        for (std::size_t offset = windows - std::min(windows, stride); offset < windows; ++offset) {
            const std::uint64_t gram = LoadWindow(folded + offset, width);
            if (std::find(seen.begin(), seen.begin() + count, gram) == seen.begin() + count) {
                seen[count++] = gram;
                ++sharing[gram];
            }
        }
    }
    return sharing;
}

// The needle is long enough for the band, and its windows are not widely shared.
bool Prefilter::Fits(const Needle& needle, const Band& band, const Sharing (&sharing)[2]) const
{
    const std::size_t first = FirstWindow(needle.length, band);
    if (first == kNoWindow) {
        return false;
    }
    const Sharing& shared = sharing[band.width == kWide ? 1 : 0];
    for (std::size_t offset = first; offset < first + band.stride; ++offset) {
        const auto found = shared.find(LoadWindow(Bytes(needle) + offset, band.width));
        if (found != shared.end() && found->second > kMaxSharing) {
            return false;
        }
    }
    return true;
}

// Some window by which the band would probe the needle is letters alone.
bool Prefilter::LettersAlone(const Needle& needle, const Band& band) const
{
    const std::size_t first = FirstWindow(needle.length, band);
    const char* bytes = Bytes(needle);
    for (std::size_t offset = first; first != kNoWindow && offset < first + band.stride; ++offset) {
        if (std::all_of(bytes + offset, bytes + offset + band.width, [](char c) {
                const unsigned char folded = Fold(static_cast<unsigned char>(c));
                return folded >= 'a' && folded <= 'z';
            })) {
            return true;
        }
    }
    return false;
}

void Prefilter::AssignToBands(std::vector<Band>& bands, const std::vector<std::uint32_t>& which)
{
    const Sharing sharing[2] = { SharedWindows(4, which), SharedWindows(kWide, which) };
    const auto fits
        = [&](const Needle& needle, const Band& band) { return Fits(needle, band, sharing); };
    // Every band is one more pass over the text: the wide band takes every needle long enough for
    // it, or none when no needle needs it. A needle needs it when its four-byte windows are letters
    // alone, or are shared so widely that it would be probed at every byte: full-width texts in
    // UTF-8 all hold the bytes of "０" (EF BC 90) and the lead bytes of the next character.
    bool wide = false;
    for (const std::uint32_t n : which) {
        const Needle needle = NeedleAt(n);
        const bool shared = FirstWindow(needle.length, bands[kFourWide]) != kNoWindow
            && !fits(needle, bands[kFourWide]);
        wide = wide
            || ((LettersAlone(needle, bands[kFourWide]) || shared)
                && fits(needle, bands[kSevenWide]));
    }
    for (const std::uint32_t n : which) {
        const Needle needle = NeedleAt(n);
        if (needle.length < 4) {
            AssignShort(n);
            continue;
        }
        Band* band = &bands[kLastBand];
        if (wide && fits(needle, bands[kSevenWide])) {
            band = &bands[kSevenWide];
        } else if (fits(needle, bands[kFourWide])) {
            band = &bands[kFourWide];
        }
        const std::size_t first = FirstWindow(needle.length, *band);
        for (std::size_t offset = first; offset < first + band->stride; ++offset) {
            band->entries.push_back({ LoadWindow(Bytes(needle) + offset, band->width), n,
                static_cast<std::uint32_t>(offset) });
        }
    }
}

// A sparse table rejects most probes. It tells for each window how far the needles that hold it
// end beyond it, so that a window of a common stem in the text costs one look at the four bytes
// where each such needle would end, before any entry is visited. At least 256 KiB: a table that
// small stays in the cache, and one still smaller lets so many probes through by chance that the
// scan slows (measured on 1,000 pairs).
void Prefilter::FinishBand(Band& band) const
{
    unsigned bits = 18;
    while (bits < 22 && (std::size_t(1) << bits) < band.entries.size() * 16) {
        ++bits;
    }
    band.shift = 32 - bits;
    band.present.assign(std::size_t(1) << bits, 0);
    band.tailPresent.assign(std::size_t(1) << bits, 0);
    unsigned bucketBits = 8;
    while (bucketBits < 24 && (std::size_t(1) << bucketBits) < band.entries.size() * 2) {
        ++bucketBits;
    }
    band.bucketShift = 32 - bucketBits;
    for (const Entry& entry : band.entries) {
        const Needle needle = NeedleAt(entry.needle);
        const auto reach = needle.length - entry.offset;
        band.present[Hash(entry.gram, band.width, band.shift)]
            |= static_cast<std::uint8_t>(1u << (reach - band.width));
        band.tailPresent[TailHash(TailOf(needle), reach, band.shift)] = 1;
    }
    // Entries in order of their bucket, those of a group together; each key worked out once.
    struct Keyed {
        std::tuple<std::uint32_t, std::uint64_t, std::uint32_t, std::uint32_t> key;
        std::uint32_t entry;
    };
    std::vector<Keyed> order;
    order.reserve(band.entries.size());
    for (std::uint32_t e = 0; e < band.entries.size(); ++e) {
        const Entry& entry = band.entries[e];
        order.push_back({ std::make_tuple(Hash(entry.gram, band.width, band.bucketShift),
                              entry.gram, entry.offset, NeedleAt(entry.needle).length),
            e });
    }
    std::sort(
        order.begin(), order.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    band.bucketStart.assign((std::size_t(1) << bucketBits) + 1, 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto [bucket, gram, offset, length] = order[k].key;
        if (k == 0 || order[k - 1].key != order[k].key) {
            band.groups.push_back(
                { gram, offset, length, static_cast<std::uint32_t>(band.tails.size()), 0 });
            ++band.bucketStart[bucket + 1];
        }
        const std::uint32_t needle = band.entries[order[k].entry].needle;
        band.tails.push_back({ TailOf(NeedleAt(needle)), needle });
        band.groups.back().endTail = static_cast<std::uint32_t>(band.tails.size());
    }
    for (std::size_t b = 1; b < band.bucketStart.size(); ++b) {
        band.bucketStart[b] += band.bucketStart[b - 1];
    }
    std::vector<Entry>().swap(band.entries);
}

void Prefilter::Verify(std::uint32_t needle, std::size_t start, const char* folded,
    std::size_t size, std::vector<Hit>& hits) const
{
    const Needle entry = NeedleAt(needle);
    const std::size_t length = entry.length;
    if (start + length > size) {
        return;
    }
    // Needles of one family differ in their last bytes: compare those first.
    if (length >= 4 && Load4(folded + start + length - 4) != TailOf(entry)) {
        return;
    }
    const char* bytes = Bytes(entry);
    const char* text = folded + start;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, bytes + i, 8);
        std::memcpy(&b, text + i, 8);
        if (FoldWord(a) != b) {
            return;
        }
    }
    for (; i < length; ++i) {
        if (static_cast<char>(Fold(static_cast<unsigned char>(bytes[i]))) != text[i]) {
            return;
        }
    }
    hits.push_back({ start + length, entry.pair });
}

template <std::size_t Width>
void Prefilter::ScanBand(
    const Band& band, const char* data, std::size_t size, std::vector<Hit>& hits) const
{
    if (size < Width) {
        return;
    }
    // Locals, so the probe loop keeps them in registers. Four probes are tested together: most
    // groups of four hit nothing and cost one branch.
    const std::uint8_t* const present = band.present.data();
    const std::size_t stride = band.stride;
    const unsigned shift = band.shift;
    const std::size_t end = size - (Width - 1);
    std::size_t i = 0;
    auto probe
        = [&](std::size_t at) { return present[Hash<Width>(LoadWindow<Width>(data + at), shift)]; };
    for (; i + 3 * stride < end; i += 4 * stride) {
        if ((probe(i) | probe(i + stride) | probe(i + 2 * stride) | probe(i + 3 * stride)) != 0) {
            for (std::size_t k = 0; k < 4; ++k) {
                CheckTails<Width>(band, i + k * stride, probe(i + k * stride), data, size, hits);
            }
        }
    }
    for (; i < end; i += stride) {
        CheckTails<Width>(band, i, probe(i), data, size, hits);
    }
}

template <std::size_t Width>
void Prefilter::CheckTails(const Band& band, std::size_t at, std::uint8_t reaches, const char* data,
    std::size_t size, std::vector<Hit>& hits) const
{
    for (std::uint32_t bit = 0; reaches != 0; ++bit, reaches >>= 1) {
        const std::size_t reach = bit + Width;
        if ((reaches & 1) != 0 && at + reach <= size
            && band.tailPresent[TailHash(
                   Load4(data + at + reach - 4), static_cast<std::uint32_t>(reach), band.shift)]
                != 0) {
            Candidates<Width>(band, at, data, size, hits);
            return;
        }
    }
}

// The needles whose window at `at` is the gram there: families share a group, told apart by
// their last four bytes.
template <std::size_t Width>
void Prefilter::Candidates(const Band& band, std::size_t at, const char* data, std::size_t size,
    std::vector<Hit>& hits) const
{
    const std::uint64_t gram = LoadWindow<Width>(data + at);
    const std::uint32_t bucket = Hash<Width>(gram, band.bucketShift);
    for (std::uint32_t g = band.bucketStart[bucket]; g < band.bucketStart[bucket + 1]; ++g) {
        const Group& group = band.groups[g];
        if (group.gram != gram || at < group.offset || at - group.offset + group.length > size) {
            continue;
        }
        const std::size_t start = at - group.offset;
        const std::uint32_t tail = Load4(data + start + group.length - 4);
        for (std::uint32_t t = group.firstTail; t < group.endTail; ++t) {
            if (band.tails[t].tail == tail) {
                Verify(band.tails[t].needle, start, data, size, hits);
            }
        }
    }
}

// Sixteen probes at a time: each one's filter word, far from the cache, is asked for before any is
// tested, so that their misses overlap; most batches hit nothing and cost one branch.
template <std::size_t Width>
void Prefilter::ScanLargeBand(
    const LargeBand& band, const char* data, std::size_t size, std::vector<Hit>& hits) const
{
    if (size < Width) {
        return;
    }
    const std::uint64_t* const filter = band.filter.data();
    const unsigned shift = band.shift;
    const std::size_t stride = band.stride;
    const std::size_t end = size - (Width - 1);
    constexpr std::size_t kBatch = 16;
    std::size_t words[kBatch];
    std::uint64_t masks[kBatch];
    std::size_t at = 0;
    for (; at + (kBatch - 1) * stride < end; at += kBatch * stride) {
        for (std::size_t k = 0; k < kBatch; ++k) {
            const LargeKey key = LargeHash(LoadWindow<Width>(data + at + k * stride));
            words[k] = key.low >> shift;
            masks[k] = MaskOf(key);
            __builtin_prefetch(filter + words[k]);
        }
        bool any = false;
        for (std::size_t k = 0; k < kBatch; ++k) {
            any |= (masks[k] & ~filter[words[k]]) == 0;
        }
        if (any) {
            for (std::size_t k = 0; k < kBatch; ++k) {
                if ((masks[k] & ~filter[words[k]]) == 0) {
                    LargeCandidates<Width>(band, at + k * stride, data, size, hits);
                }
            }
        }
    }
    for (; at < end; at += stride) {
        const LargeKey key = LargeHash(LoadWindow<Width>(data + at));
        if ((MaskOf(key) & ~filter[key.low >> shift]) == 0) {
            LargeCandidates<Width>(band, at, data, size, hits);
        }
    }
}

// The entries of the probe's bucket whose fingerprint is the window's own.
template <std::size_t Width>
void Prefilter::LargeCandidates(const LargeBand& band, std::size_t at, const char* data,
    std::size_t size, std::vector<Hit>& hits) const
{
    const LargeKey key = LargeHash(LoadWindow<Width>(data + at));
    const std::size_t word = key.low >> band.shift;
    const std::uint32_t fingerprint = FingerprintOf(key) << band.idBits;
    const std::uint32_t idMask = (std::uint32_t(1) << band.idBits) - 1;
    for (std::uint32_t e = band.bucketStart[word]; e < band.bucketStart[word + 1]; ++e) {
        const std::uint32_t entry = band.entries[e];
        if (((entry ^ fingerprint) & ~idMask) != 0) {
            continue;
        }
        const std::uint32_t needle = (entry & idMask) >> 1;
        const std::size_t offset = FirstWindow(NeedleAt(needle).length, band) + (entry & 1);
        if (at >= offset) {
            Verify(needle, at - offset, data, size, hits);
        }
    }
}

void Prefilter::ScanShort(const char* data, std::size_t size, std::vector<Hit>& hits) const
{
    for (std::size_t i = 0; i < size; ++i) {
        for (const std::uint32_t needle : m_shortByFirstByte[static_cast<unsigned char>(data[i])]) {
            Verify(needle, i, data, size, hits);
        }
    }
}

void Prefilter::Scan(const char* data, std::size_t size, std::vector<Hit>& hits) const
{
    ScanBuffer buffer;
    Scan(data, size, hits, buffer);
}

void Prefilter::Scan(
    const char* data, std::size_t size, std::vector<Hit>& hits, ScanBuffer& buffer) const
{
    if (m_deferred) {
        EnsureBuilt();
    }
    if (NeedleCount() == 0 || size == 0) {
        return;
    }
    // Folded a region at a time into a buffer of fixed size, so that a line of any length costs
    // no memory of its own. Regions overlap by a needle less one byte; each occurrence is taken
    // from the region in whose own part it ends. The buffer's bytes start out zero, so the byte
    // after a region that a wide window loads with its own is never one unwritten.
    const std::size_t overlap = m_longest - 1;
    const std::size_t wanted = std::min(size, kRegion + overlap);
    if (buffer.m_capacity < wanted) {
        buffer.m_bytes = std::make_unique<char[]>(wanted + kSlack);
        buffer.m_capacity = wanted;
    }
    for (std::size_t own = 0; own < size; own += kRegion) {
        const std::size_t from = own < overlap ? 0 : own - overlap;
        const std::size_t to = std::min(size, own + kRegion);
        FoldBytes(data + from, to - from, buffer.m_bytes.get());
        const std::size_t first = hits.size();
        const char* folded = buffer.m_bytes.get();
        for (const Band& band : m_bands) {
            if (band.width == kWide) {
                ScanBand<kWide>(band, folded, to - from, hits);
            } else {
                ScanBand<4>(band, folded, to - from, hits);
            }
        }
        for (const LargeBand& band : m_largeBands) {
            if (band.width == kWide) {
                ScanLargeBand<kWide>(band, folded, to - from, hits);
            } else {
                ScanLargeBand<4>(band, folded, to - from, hits);
            }
        }
        if (m_hasShort) {
            ScanShort(folded, to - from, hits);
        }
        // Back to offsets in data, without the hits that an earlier region already gave.
        std::size_t kept = first;
        for (std::size_t h = first; h < hits.size(); ++h) {
            const std::size_t end = hits[h].end + from;
            if (end > own) {
                hits[kept++] = { end, hits[h].pair };
            }
        }
        hits.resize(kept);
        if (hits.size() - first > 1) {
            std::sort(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end(),
                [](const Hit& a, const Hit& b) {
                    return a.end < b.end || (a.end == b.end && a.pair < b.pair);
                });
        }
    }
}

} // namespace engine
