#pragma once

#include "engine/Prefilter.h"
#include "engine/RunReport.h"
#include "platform/TextFile.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
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
class BlockSource {
public:
    // Files at least this large get the thread; below it, the thread costs more than it gains.
    static constexpr std::uint64_t kThreadedSize = std::uint64_t(4) << 20;
    static constexpr std::size_t kBlockSize = std::size_t(1) << 18;
    // A line up to this long stays whole in one block; a longer one comes in pieces.
    static constexpr std::size_t kLongestWholeLine = std::size_t(1) << 20;

    // The prefilters by TextEncoding.
    BlockSource(platform::InputFile& file, const Prefilter (&prefilters)[2], EncodingRule rule,
        BlockSlots& slots);
    ~BlockSource();
    BlockSource(const BlockSource&) = delete;
    BlockSource& operator=(const BlockSource&) = delete;

    // The next block, valid until the next call; null at the end or on a read error.
    const ScannedBlock* Next();
    bool Failed() const { return m_failed; }
    // For a file read in one block: Next only reads it, and Examine (once the input may be
    // closed) scans it. Without the thread only.
    void ExamineLater() { m_examineLater = true; }
    void Examine();

private:
    enum class Fill { Block, End, Error };
    Fill FillSlot(BlockSlots::Slot& slot);
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

    // With a thread: slots [m_taken, m_filled) are ready in turn, m_taken - 1 is the caller's.
    static constexpr int kHalf = BlockSlots::kCount / 2;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_walkWakes;
    std::condition_variable m_threadWakes;
    int m_taken = 0;
    int m_filled = 0;
    bool m_done = false; // the thread filled its last slot
    bool m_stop = false;
    bool m_walkSleeps = false;
    int m_walkWaitsFor = 0; // while the walk sleeps: wake it when m_filled reaches this
    bool m_threadSleeps = false;
};

} // namespace engine
