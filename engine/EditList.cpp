#include "engine/EditList.h"

namespace engine {
namespace {

constexpr std::size_t kPiece = std::size_t(16) << 10;
constexpr std::size_t kMostPerEdit = 3 * 10; // three numbers of 64 bits, seven to a byte

std::uint64_t Unpack(const std::string& packed, std::size_t& at)
{
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(packed[at++]);
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
}

} // namespace

void EditList::Pack(std::uint64_t value)
{
    std::string& piece = m_packed.back().bytes;
    while (value >= 0x80) {
        piece.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    piece.push_back(static_cast<char>(value));
}

void EditList::Shrink()
{
    if (!m_packed.empty()) {
        m_packed.back().bytes.shrink_to_fit();
    }
    m_packed.shrink_to_fit();
}

void EditList::Replace(std::uint64_t begin, std::uint64_t end, std::uint64_t copyLength)
{
    // A run of changed lines is one edit: a large file of many changed lines costs far fewer.
    if (m_count != 0 && m_last.orgEnd == begin) {
        m_last.orgEnd = end;
        m_last.copyLength += copyLength;
        return;
    }
    if (m_count != 0) {
        if (m_packed.empty() || m_packed.back().bytes.size() + kMostPerEdit > kPiece) {
            if (!m_packed.empty()) {
                Spill(m_packed.back());
            }
            m_packed.emplace_back(); // grows as strings grow, up to a piece
        }
        Pack(m_last.orgBegin - m_packedEnd);
        Pack(m_last.orgEnd - m_last.orgBegin);
        Pack(m_last.copyLength);
        m_packedEnd = m_last.orgEnd;
    }
    m_last = { begin, end, copyLength };
    ++m_count;
}

void EditList::Spill(Piece& piece)
{
    if (m_spill && m_spill->Keep(piece.bytes, piece.spilledAt)) {
        piece.size = piece.bytes.size();
        std::string().swap(piece.bytes);
    }
}

void EditList::Reader::Load(std::size_t piece)
{
    const Piece& packed = m_list->m_packed[piece];
    if (packed.spilledAt == kInMemory) {
        m_loaded.reset();
        m_bytes = &packed.bytes;
        return;
    }
    auto bytes = std::make_shared<std::string>(packed.size, '\0');
    if (!m_list->m_spill->Read(packed.spilledAt, *bytes)) {
        throw ReadFailure {};
    }
    m_bytes = bytes.get();
    m_loaded = std::move(bytes);
}

bool EditList::Reader::Next(Edit& edit)
{
    if (m_given == m_list->m_count) {
        return false;
    }
    if (++m_given == m_list->m_count) {
        edit = m_list->m_last;
        return true;
    }
    if (m_bytes == nullptr || m_at == m_bytes->size()) {
        m_piece += m_bytes == nullptr ? 0 : 1;
        m_at = 0;
        Load(m_piece);
    }
    const std::string& piece = *m_bytes;
    edit.orgBegin = m_end + Unpack(piece, m_at);
    edit.orgEnd = edit.orgBegin + Unpack(piece, m_at);
    edit.copyLength = Unpack(piece, m_at);
    m_end = edit.orgEnd;
    return true;
}

} // namespace engine
