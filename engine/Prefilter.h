#pragma once

#include "engine/BlockArray.h"
#include "engine/FieldSpan.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace engine {

// Finds, at byte level and before any decoding, where a search text may occur: each search text
// gives needles of CP932 bytes, one of which any real occurrence must contain. ASCII letters are
// compared without regard to case (trail bytes too, which only adds false hits). Hits may be
// false, never missing; the rewriting checks each one on decoded text.
class Prefilter {
public:
    struct Hit {
        std::size_t end; // offset just after the needle
        int pair;
    };

    // One needle: its bytes, as given (the prefilter folds them itself), lie in the shared bytes,
    // or in the prefilter's own ones when offset has kOwn set.
    struct Needle {
        std::uint32_t offset;
        std::uint32_t length;
        std::int32_t pair;
    };
    static constexpr std::uint32_t kOwn = std::uint32_t(1) << 31;
    // The needles of a table: for pairs [0, pairs), the search text, which searchTexts[2 * k]
    // says where it lies in the shared bytes, where it is ASCII; the others listed after them.
    // The shared bytes and the search texts must outlive the prefilter.
    struct NeedleList {
        std::string_view shared;
        const FieldSpan* searchTexts = nullptr;
        std::size_t pairs = 0;
        BlockArray<char> own;
        BlockArray<Needle> others;
    };

    Prefilter() = default;
    Prefilter(const Prefilter&) = delete;
    Prefilter& operator=(const Prefilter&) = delete;

    void Build(NeedleList needles);
    // needles[k]: the byte strings of which every occurrence of pair k holds one; none means the
    // pair is left out.
    void Build(const std::vector<std::vector<std::string>>& needles);
    // Built by the first Scan, on whichever thread comes first, from what needles gives; longest
    // must be at least the longest needle it will give.
    void BuildOnFirstScan(std::function<NeedleList()> needles, std::size_t longest);
    // Where a scan folds the text, kept from scan to scan: one for each thread that scans.
    class ScanBuffer {
        friend class Prefilter;
        std::unique_ptr<char[]> m_bytes;
        std::size_t m_capacity = 0;
    };

    // Appends the hits in data to hits, in order of their end.
    void Scan(const char* data, std::size_t size, std::vector<Hit>& hits, ScanBuffer& buffer) const;
    // The same with a buffer of its own, for a scan now and then.
    void Scan(const char* data, std::size_t size, std::vector<Hit>& hits) const;
    // The longest needle: an occurrence that ends in one piece of a text starts at most this many
    // bytes before it.
    std::size_t Longest() const { return m_longest; }
    // What a table of that many needles, holding that many bytes of their own, takes at most.
    static std::size_t MemoryFor(std::size_t needles, std::size_t ownBytes);

    // Bytes folded and scanned at a time.
    static constexpr std::size_t kRegion = std::size_t(1) << 18;
    // From this many needles of one band's lengths on, that band is a filter of bits and buckets
    // of needles instead of the tables below, which that many needles would fill.
    static constexpr std::size_t kLargeTable = 1 << 16;

private:
    struct Entry {
        std::uint64_t gram; // the folded window of the needle at offset
        std::uint32_t needle;
        std::uint32_t offset;
    };
    // Entries alike but for their needle's last four bytes, as a family of texts gives them
    // (OrderTotal01 ... OrderTotal09): one probe hit costs one look at the text's bytes there.
    struct Group {
        std::uint64_t gram;
        std::uint32_t offset;
        std::uint32_t length;
        std::uint32_t firstTail;
        std::uint32_t endTail;
    };
    struct Tail {
        std::uint32_t tail;
        std::uint32_t needle;
    };
    // Needles at least `width` bytes long, probed every `stride` bytes by the `width` bytes there:
    // an occurrence always covers a probe position with a window inside the needle.
    struct Band {
        std::size_t stride = 0;
        std::size_t width = 4; // 4 or 7
        unsigned shift = 0;
        unsigned bucketShift = 0;
        std::vector<Entry> entries; // while building
        std::vector<std::uint8_t>
            present; // by hashed gram: bit r - width set when a needle ends r bytes on
        std::vector<std::uint8_t> tailPresent; // by hashed last four bytes and reach
        std::vector<Group> groups; // grouped by bucket
        std::vector<std::uint32_t>
            bucketStart; // groups of bucket b: [bucketStart[b], bucketStart[b + 1])
        std::vector<Tail> tails;
    };
    // A band of a large table: its needles' last `stride` windows in a filter of bits, and in
    // buckets by their hash, one for each word of the filter, each entry a needle, which of its
    // windows, and above them as many bits of the window's fingerprint as the entry has room for.
    struct LargeBand {
        std::size_t stride = 0;
        std::size_t width = 4;
        std::size_t minLength = 0; // the needles of lengths [minLength, maxLength]
        std::size_t maxLength = 0;
        unsigned shift = 63; // 64 less the filter's bits
        unsigned idBits = 1; // fingerprint << idBits | needle << 1 | window
        BlockArray<std::uint64_t> filter;
        BlockArray<std::uint32_t> bucketStart; // entries of word w: [bucketStart[w], [w + 1])
        BlockArray<std::uint32_t> entries;
    };

    void EnsureBuilt() const;
    // Needle n: the search text of pair n where n < m_pairs, with no bytes where that is not ASCII;
    // else one of the others.
    std::size_t NeedleCount() const { return m_pairs + m_others.size(); }
    Needle NeedleAt(std::size_t n) const
    {
        if (n < m_pairs) {
            const FieldSpan text = m_searchTexts[2 * n];
            return { text.offset, text.ascii != 0 ? text.length : 0u,
                static_cast<std::int32_t>(n) };
        }
        return m_others[n - m_pairs];
    }
    const char* Bytes(const Needle& needle) const;
    // Its last four bytes, folded.
    std::uint32_t TailOf(const Needle& needle) const;
    using Sharing = std::unordered_map<std::uint64_t, std::uint32_t>;
    Sharing SharedWindows(std::size_t width, const std::vector<std::uint32_t>& which) const;
    void AssignToBands(std::vector<Band>& bands, const std::vector<std::uint32_t>& which);
    bool Fits(const Needle& needle, const Band& band, const Sharing (&sharing)[2]) const;
    bool LettersAlone(const Needle& needle, const Band& band) const;
    void AssignShort(std::uint32_t needle);
    void FinishBand(Band& band) const;
    void FillLargeBand(LargeBand& band, std::size_t count) const;
    template <typename Each>
    void ForEachLargeWindow(
        const LargeBand& band, std::uint32_t from, std::uint32_t to, Each&& each) const;
    template <std::size_t Width>
    void ScanBand(
        const Band& band, const char* data, std::size_t size, std::vector<Hit>& hits) const;
    template <std::size_t Width>
    void CheckTails(const Band& band, std::size_t at, std::uint8_t reaches, const char* data,
        std::size_t size, std::vector<Hit>& hits) const;
    template <std::size_t Width>
    void Candidates(const Band& band, std::size_t at, const char* data, std::size_t size,
        std::vector<Hit>& hits) const;
    template <std::size_t Width>
    void ScanLargeBand(
        const LargeBand& band, const char* data, std::size_t size, std::vector<Hit>& hits) const;
    template <std::size_t Width>
    void LargeCandidates(const LargeBand& band, std::size_t at, const char* data, std::size_t size,
        std::vector<Hit>& hits) const;
    void ScanShort(const char* data, std::size_t size, std::vector<Hit>& hits) const;
    void Verify(std::uint32_t needle, std::size_t start, const char* folded, std::size_t size,
        std::vector<Hit>& hits) const;

    std::string_view m_shared;
    const FieldSpan* m_searchTexts = nullptr;
    std::size_t m_pairs = 0;
    BlockArray<char> m_own;
    BlockArray<Needle> m_others;
    std::vector<Band> m_bands;
    std::vector<LargeBand> m_largeBands;
    // Needles of 1 to 3 bytes, probed at every position by their first byte.
    std::vector<std::vector<std::uint32_t>> m_shortByFirstByte;
    bool m_hasShort = false;
    std::size_t m_longest = 1;
    // Set before the prefilter is shared between threads and never changed after.
    std::function<NeedleList()> m_deferred;
    mutable std::once_flag m_built;
};

} // namespace engine
