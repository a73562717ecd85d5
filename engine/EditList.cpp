#include "engine/EditList.h"

namespace engine {

void EditList::Replace(std::uint64_t begin, std::uint64_t end, std::uint64_t copyLength)
{
    // A run of changed lines is one edit: a large file of many changed lines costs far fewer.
    if (!m_edits.empty() && m_edits.back().orgEnd == begin) {
        m_edits.back().orgEnd = end;
        m_edits.back().copyLength += copyLength;
        return;
    }
    m_edits.push_back({ begin, end, copyLength });
}

} // namespace engine
