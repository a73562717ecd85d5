#include "engine/BlockSource.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace engine {

void BlockSlots::Trim(std::size_t kept)
{
    for (Slot& slot : slots) {
        if (slot.buffer.size() > kept) {
            std::string().swap(slot.buffer);
        }
    }
    if (carry.capacity() > kept) {
        std::string().swap(carry);
    }
}

bool Utf8Check::Feed(std::string_view bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p != end) {
        if (m_need == 0) {
            // Between characters, ASCII (most of a source file) goes eight bytes at a time.
            for (std::uint64_t word = 0; end - p >= 8; p += 8) {
                std::memcpy(&word, p, 8);
                if ((word & 0x8080808080808080ull) != 0) {
                    break;
                }
            }
            if (p == end) {
                break;
            }
            // A character of three bytes (every kana and kanji) that this piece holds whole.
            const auto lead = static_cast<unsigned char>(*p);
            if (lead >= 0xE0 && lead <= 0xEF && end - p >= 3) {
                const auto second = static_cast<unsigned char>(p[1]);
                if (second < (lead == 0xE0 ? 0xA0 : 0x80) || second > (lead == 0xED ? 0x9F : 0xBF)
                    || (static_cast<unsigned char>(p[2]) & 0xC0) != 0x80) {
                    return false;
                }
                p += 3;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(*p++);
        if (m_need > 0) {
            if (b < m_low || b > m_high) {
                return false;
            }
            --m_need;
            m_low = 0x80;
            m_high = 0xBF;
            continue;
        }
        if (b < 0x80) {
            continue;
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (b >= 0xC2 && b <= 0xDF) {
            m_need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            m_need = 2;
            m_low = b == 0xE0 ? 0xA0 : 0x80;
            m_high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            m_need = 3;
            m_low = b == 0xF0 ? 0x90 : 0x80;
            m_high = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
    }
    return true;
}

BlockSource::BlockSource(platform::InputFile& file, const Prefilter (&prefilters)[2],
    EncodingRule rule, BlockSlots& slots, Prefilter::ScanBuffer& scan)
    : m_file(file)
    , m_prefilters(prefilters)
    , m_rule(rule)
    , m_slots(slots)
    , m_scan(&scan)
{
    if (rule == EncodingRule::Cp932) {
        m_seen = Seen::Cp932;
    } else if (rule == EncodingRule::Utf8) {
        m_seen = Seen::Utf8;
    }
    m_slots.carry.clear();
    m_context = 0;
    if (file.SizeAtOpen() >= kThreadedSize && std::thread::hardware_concurrency() > 1) {
        constexpr unsigned kHalf = BlockSlots::kCount / 2;
        m_handOff.emplace(BlockSlots::kCount, HandOff::Batches { kHalf, kHalf });
        // Every slot but the one the walk will hold is the thread's to fill.
        for (int i = 0; i + 1 < BlockSlots::kCount; ++i) {
            m_handOff->Offer();
        }
        m_ahead = true;
        m_scan = &m_aheadScan;
        try {
            m_thread = std::thread([this] { Ahead(); });
        } catch (const std::system_error&) {
            // No thread to be had: the walk's thread reads for itself.
            m_handOff.reset();
            m_ahead = false;
            m_scan = &scan;
        }
    }
}

BlockSource::~BlockSource()
{
    if (m_thread.joinable()) {
        m_handOff->Stop();
        m_thread.join();
    }
}

const ScannedBlock* BlockSource::Next()
{
    if (!m_thread.joinable()) {
        switch (FillSlot(m_slots.slots[0])) {
        case Fill::Block:
            return &m_slots.slots[0].block;
        case Fill::Error:
            m_failed = true;
            return nullptr;
        case Fill::End:
            return nullptr;
        }
    }
    const std::optional<unsigned> taken = m_handOff->Take();
    if (!taken) {
        return nullptr;
    }
    m_handOff->Offer(); // the slot taken before this one
    return &m_slots.slots[*taken % BlockSlots::kCount].block;
}

// The thread's loop: fills the slots in turn until the file ends.
void BlockSource::Ahead()
{
    while (const std::optional<unsigned> slot = m_handOff->Claim()) {
        Fill fill = Fill::Error;
        try {
            fill = FillSlot(m_slots.slots[*slot % BlockSlots::kCount]);
        } catch (const std::bad_alloc&) {
            // A line too long for memory: the file cannot be handled whole.
        }
        if (fill != Fill::Block) {
            m_failed = fill == Fill::Error; // the walk asks once the hand-off is closed
            m_handOff->Close();
            return;
        }
        m_handOff->Finish(*slot);
    }
}

bool BlockSource::ReadMore(std::string& buffer, std::size_t& end)
{
    const long n = m_file.Read(buffer.data() + end, buffer.size() - end);
    if (n < 0) {
        return false;
    }
    m_eof = n == 0;
    end += static_cast<std::size_t>(n);
    // A file read up to the size it had when opened is at its end: a file that grew since is
    // seen when the input is checked for changes, so no read is spent on finding nothing.
    m_eof = m_eof || (n > 0 && m_offset + end == m_file.SizeAtOpen());
    return true;
}

std::size_t BlockSource::Cut(std::string& buffer, std::size_t end, bool& partial) const
{
    if (m_eof) {
        return end;
    }
    if (end < buffer.size()) {
        return std::string_view::npos;
    }
    const std::size_t cut = platform::WholeLinesEnd(std::string_view(buffer.data(), end));
    if (cut != std::string_view::npos && cut > m_context) {
        return cut;
    }
    if (buffer.size() < kLongestWholeLine) {
        buffer.resize(std::min(buffer.size() * 2, kLongestWholeLine));
        return std::string_view::npos;
    }
    // A line longer than a block comes in pieces. A piece never ends in a CR, whose LF may
    // follow: the two stay together in the next piece.
    partial = true;
    return buffer[end - 1] == '\r' ? end - 1 : end;
}

BlockSource::Fill BlockSource::FillSlot(BlockSlots::Slot& slot)
{
    std::string& buffer = slot.buffer;
    std::string& carry = m_slots.carry;
    // A file smaller than a block gets a buffer of its size: one read, and no memory untouched.
    const std::size_t firstRead = static_cast<std::size_t>(std::min<std::uint64_t>(
        kBlockSize, m_file.SizeAtOpen() - std::min(m_file.SizeAtOpen(), m_offset) + 1));
    const std::size_t wanted = std::max(firstRead, std::min(carry.size() * 2, kLongestWholeLine));
    if (buffer.size() < wanted) {
        buffer.resize(wanted);
    }
    std::memcpy(buffer.data(), carry.data(), carry.size());
    std::size_t end = carry.size();
    bool partial = false;
    std::size_t cut = std::string_view::npos;
    while ((cut = Cut(buffer, end, partial)) == std::string_view::npos) {
        if (!ReadMore(buffer, end)) {
            return Fill::Error;
        }
    }
    if (m_eof && end <= m_context) {
        return Fill::End;
    }
    // Bytes before m_context were handed out with the last block, which ended inside a line;
    // they are here again only so that a needle across the two is found.
    const std::size_t context = m_context;
    ScannedBlock& block = slot.block;
    block.bytes = std::string_view(buffer.data() + context, cut - context);
    block.offset = m_offset + context;
    block.partial = partial;
    std::size_t keep = cut;
    if (partial) {
        keep = cut
            - std::min(cut, std::max(m_prefilters[0].Longest(), m_prefilters[1].Longest()) - 1);
    }
    carry.assign(buffer.data() + keep, end - keep);
    m_context = cut - keep;
    m_offset += keep;
    block.last = m_eof && carry.size() == m_context;
    if (m_examineLater) {
        m_unexamined = { &block, buffer.data(), cut, context };
    } else {
        Examine(block, buffer.data(), cut, context);
    }
    return Fill::Block;
}

void BlockSource::Examine()
{
    if (m_unexamined.block != nullptr) {
        Examine(*m_unexamined.block, m_unexamined.buffer, m_unexamined.cut, m_unexamined.context);
        m_unexamined = {};
    }
}

void BlockSource::Examine(
    ScannedBlock& block, const char* buffer, std::size_t cut, std::size_t context)
{
    // On the reading thread the look is free to the walk; in the walk's thread it waits until a
    // copy is written, so a file that does not change is passed over once only.
    block.mayHoldLoneCr = !m_ahead || platform::HasLoneCr(block.bytes);
    block.holdsNul = std::memchr(block.bytes.data(), 0, block.bytes.size()) != nullptr;
    SettleEncoding(block);
    block.hits.clear();
    m_prefilters[static_cast<std::size_t>(block.encoding)].Scan(buffer, cut, block.hits, *m_scan);
    std::size_t kept = 0;
    for (const Prefilter::Hit& hit : block.hits) {
        if (hit.end > context) {
            block.hits[kept++] = { hit.end - context, hit.pair };
        }
    }
    block.hits.resize(kept);
}

void BlockSource::SettleEncoding(ScannedBlock& block)
{
    const std::string_view bytes = block.bytes;
    block.utf16 = false;
    block.notUtf8 = false;
    if (block.offset == 0) {
        block.utf16 = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
        if (m_rule != EncodingRule::Cp932 && bytes.starts_with("\xEF\xBB\xBF")) {
            m_seen = Seen::Utf8; // declared: no byte needs checking
            m_checkUtf8 = false;
        }
    }
    if (m_seen != Seen::Cp932 && m_checkUtf8) {
        // A character that the file's end cuts off makes the file no UTF-8.
        const bool valid = m_utf8.Feed(bytes) && !(block.last && !m_utf8.Complete());
        if (m_seen == Seen::AsciiOnly) {
            const bool ascii = std::find_if(bytes.begin(), bytes.end(), [](char c) {
                return static_cast<unsigned char>(c) >= 0x80;
            }) == bytes.end();
            if (!ascii) {
                m_seen = valid ? Seen::Utf8 : Seen::Cp932;
            }
        } else if (!valid) {
            block.notUtf8 = true;
            m_checkUtf8 = false;
        }
    }
    block.encoding = m_seen == Seen::Utf8 ? TextEncoding::Utf8 : TextEncoding::Cp932;
}

} // namespace engine
