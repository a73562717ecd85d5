#include "platform/TextFile.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform {

bool HasLoneCr(std::string_view bytes)
{
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        const int crs = _mm_movemask_epi8(_mm_cmpeq_epi8(here, cr));
        const int lfs = _mm_movemask_epi8(_mm_cmpeq_epi8(next, lf));
        if ((crs & ~lfs) != 0) {
            return true;
        }
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' && (i + 1 == n || p[i + 1] != '\n')) {
            return true;
        }
    }
    return false;
}

std::size_t WholeLinesEnd(std::string_view bytes)
{
    // A CR as the last byte read may yet be followed by its LF: only the CRs before it count.
    if (bytes.size() < 2) {
        return std::string_view::npos;
    }
    const std::size_t cr = bytes.substr(0, bytes.size() - 1).rfind('\r');
    if (cr == std::string_view::npos) {
        return std::string_view::npos;
    }
    std::size_t cut = cr + 1;
    if (bytes[cut] == '\n') {
        ++cut;
    }
    return cut;
}

} // namespace platform
