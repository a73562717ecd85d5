#pragma once

#include "engine/HandOff.h"
#include "engine/Prefilter.h"
#include "engine/TextEncoding.h"
#include "platform/TextFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace engine {

// A block of the input with the prefilter's hits in it. A block holds whole lines, except where
// one line is longer than a block: then blocks hold pieces of it and no line end at all.
struct ScannedBlock {
    std::string_view bytes;
    std::uint64_t offset = 0; // in the file
    bool last = false; // the block ends the file
    bool partial = false; // the block ends inside a line that goes on in the next block
    // False when the reading thread found no CR without its LF; true when one may be there
    // (a block read in the walk's thread is not looked at until a copy is written).
    bool mayHoldLoneCr = true;
    bool holdsNul = false;
    bool utf16 = false; // the file starts with a UTF-16 byte order mark
    // How the block was scanned: UTF-8 once the file has shown itself to be UTF-8.
    TextEncoding encoding = TextEncoding::Cp932;
    bool notUtf8 = false; // a file taken for UTF-8 holds a byte sequence that is not UTF-8
    std::vector<Prefilter::Hit> hits; // ends relative to bytes
};

// How a file's encoding is settled: a file that starts with a UTF-8 byte order mark, or that is
// valid UTF-8 and holds a character of several bytes, is UTF-8; every other file is CP932. Until
// the first byte that is not ASCII, a file is both.
enum class EncodingRule { Detect, Cp932, Utf8 };

// Checks UTF-8 a piece at a time; a character may straddle two pieces.
class Utf8Check {
public:
    // False at the first byte sequence that is not UTF-8.
    bool Feed(std::string_view bytes);
    // No character was left unfinished.
    bool Complete() const { return m_need == 0; }

private:
    int m_need = 0; // continuation bytes still to come
    unsigned char m_low = 0x80, m_high = 0xBF; // the range of the next one
};

// The memory of a BlockSource, kept by its owner so that one allocation serves every file.
struct BlockSlots {
    static constexpr int kCount = 4;
    struct Slot {
        std::string buffer;
        ScannedBlock block;
    };
    Slot slots[kCount];
    std::string carry; // the start of a line that the next block begins with

    // Gives back what grew past the given size.
    void Trim(std::size_t kept);
};

// Reads the input in blocks of whole lines and scans each with the prefilter. A large file is
// read and scanned by a thread of its own a few blocks ahead, so that reading and scanning overlap
// with rewriting and writing on another core. Memory does not grow with the length of a line.
//
// Who owns what, with the thread: the slots, the carry and the reading state (offset, context,
// end, encoding seen, UTF-8 check, failure) are the thread's until it closes the hand-off, but for
// the slot the walk took last, which is the walk's until its next Next. Without the thread the
// walk owns everything. The thread reads the file in order while the walk may read it at an
// offset (a long line read again, unchanged bytes copied): InputFile::ReadAt leaves the position
// that Read goes on from where it was, on every system.
class BlockSource {
public:
    // Files at least this large get the thread; below it, the thread costs more than it gains.
    static constexpr std::uint64_t kThreadedSize = std::uint64_t(4) << 20;
    static constexpr std::size_t kBlockSize = std::size_t(1) << 18;
    // A line up to this long stays whole in one block; a longer one comes in pieces.
    static constexpr std::size_t kLongestWholeLine = std::size_t(1) << 20;

    // The prefilters by TextEncoding; scan is this thread's (the walk's) scan buffer.
    BlockSource(platform::InputFile& file, const Prefilter (&prefilters)[2], EncodingRule rule,
        BlockSlots& slots, Prefilter::ScanBuffer& scan);
    ~BlockSource();
    BlockSource(const BlockSource&) = delete;
    BlockSource& operator=(const BlockSource&) = delete;

    // The next block, valid until the next call; null at the end or on a read error.
    const ScannedBlock* Next();
    // Asked once Next gave null.
    bool Failed() const { return m_failed; }
    // For a file read in one block: Next only reads it, and Examine (once the input may be
    // closed) scans it. Without the thread only.
    void ExamineLater() { m_examineLater = true; }
    void Examine();

private:
    enum class Fill { Block, End, Error };
    Fill FillSlot(BlockSlots::Slot& slot);
    // Reads into buffer[end, buffer.size()) and moves end; false on a read error.
    bool ReadMore(std::string& buffer, std::size_t& end);
    // Where the block taken from buffer[0, end) ends, growing buffer to keep a line whole; npos
    // when more must be read first.
    std::size_t Cut(std::string& buffer, std::size_t end, bool& partial) const;
    // The block's encoding, NUL bytes, lone CRs and hits; its bytes are buffer[context, cut).
    void Examine(ScannedBlock& block, const char* buffer, std::size_t cut, std::size_t context);
    void SettleEncoding(ScannedBlock& block);
    void Ahead();

    platform::InputFile& m_file;
    const Prefilter (&m_prefilters)[2];
    EncodingRule m_rule;
    enum class Seen { AsciiOnly, Cp932, Utf8 } m_seen = Seen::AsciiOnly;
    bool m_checkUtf8 = true;
    Utf8Check m_utf8;
    BlockSlots& m_slots;
    Prefilter::ScanBuffer* m_scan; // of the thread that fills the slots
    Prefilter::ScanBuffer m_aheadScan; // the thread's own
    std::uint64_t m_offset = 0; // of the carry's first byte
    std::size_t m_context = 0; // bytes at the carry's start that the last block already handed out
    bool m_eof = false;
    bool m_failed = false;
    bool m_ahead = false; // a thread reads ahead; set before it starts
    bool m_examineLater = false;
    // The last block read while examining was left for later.
    struct Unexamined {
        ScannedBlock* block = nullptr;
        const char* buffer = nullptr;
        std::size_t cut = 0;
        std::size_t context = 0;
    } m_unexamined;

    // With the thread: the slots pass between it and the walk. Each side that waits for the
    // other sleeps until half of them are ready (or free): a sleep and a wake cost more than a
    // block.
    std::optional<HandOff> m_handOff;
    std::thread m_thread;
};

} // namespace engine
