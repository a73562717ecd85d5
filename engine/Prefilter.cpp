#include "engine/Prefilter.h"

#include <hs/hs.h>

#include <algorithm>

namespace engine {

Prefilter::~Prefilter()
{
    hs_free_scratch(m_scratch);
    hs_free_database(m_database);
}

bool Prefilter::Build(const std::vector<std::vector<std::string>>& needles)
{
    std::vector<const char*> expressions;
    std::vector<std::size_t> lengths;
    std::vector<unsigned> flags;
    std::vector<unsigned> ids;
    for (std::size_t k = 0; k < needles.size(); ++k) {
        for (const std::string& needle : needles[k]) {
            if (needle.empty()) {
                continue;
            }
            expressions.push_back(needle.data());
            lengths.push_back(needle.size());
            // Caseless folds ASCII letters only, trail bytes included: that adds false hits,
            // never loses a real one.
            flags.push_back(HS_FLAG_CASELESS);
            ids.push_back(static_cast<unsigned>(k));
        }
    }
    if (expressions.empty()) {
        return true;
    }
    hs_compile_error_t* error = nullptr;
    if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
            static_cast<unsigned>(expressions.size()), HS_MODE_BLOCK, nullptr, &m_database, &error)
        != HS_SUCCESS) {
        hs_free_compile_error(error);
        m_database = nullptr;
        return false;
    }
    if (hs_alloc_scratch(m_database, &m_scratch) != HS_SUCCESS) {
        hs_free_database(m_database);
        m_database = nullptr;
        return false;
    }
    return true;
}

void Prefilter::Scan(const char* data, std::size_t size, std::vector<Hit>& hits) const
{
    if (m_database == nullptr || size == 0) {
        return;
    }
    const std::size_t first = hits.size();
    auto onMatch = [](unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) -> int {
        static_cast<std::vector<Hit>*>(context)->push_back({ static_cast<std::size_t>(to), static_cast<int>(id) });
        return 0;
    };
    // Blocks beyond 4 GiB (one enormous line) are scanned in overlapping windows.
    constexpr std::size_t kWindow = std::size_t(1) << 31;
    for (std::size_t offset = 0; offset < size; offset += kWindow / 2) {
        const std::size_t length = std::min(kWindow, size - offset);
        const std::size_t before = hits.size();
        hs_scan(m_database, data + offset, static_cast<unsigned>(length), 0, m_scratch, onMatch, &hits);
        for (std::size_t i = before; i < hits.size(); ++i) {
            hits[i].end += offset;
        }
        if (offset + length == size) {
            break;
        }
    }
    std::sort(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end(),
        [](const Hit& a, const Hit& b) { return a.end < b.end || (a.end == b.end && a.pair < b.pair); });
}

} // namespace engine
