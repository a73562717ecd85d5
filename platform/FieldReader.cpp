#include "platform/FieldReader.h"

#include "platform/TextFile.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// The first comma or line end at or after `from`, or the text's end: sixteen bytes at once where
// the processor has SSE2, since a definition of a million pairs is mostly such searches.
std::size_t UnquotedEnd(std::string_view text, std::size_t from)
{
#ifdef __SSE2__
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; from + 16 <= text.size(); from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + from));
        const int ends = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, comma),
            _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        if (ends != 0) {
            return from + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(ends)));
        }
    }
#endif
    while (from < text.size() && text[from] != ',' && !IsLineEnd(text[from])) {
        ++from;
    }
    return from;
}
} // namespace

FieldReader::FieldReader(std::string_view text)
    : FieldReader(text, 0)
{
}

FieldReader::FieldReader(std::string_view text, std::size_t from)
    : m_text(text)
    , m_position(from)
    , m_contentEnd(text.size())
{
    while (m_contentEnd > 0
        && (IsBlank(m_text[m_contentEnd - 1]) || IsLineEnd(m_text[m_contentEnd - 1]))) {
        --m_contentEnd;
    }
}

bool FieldReader::AtEnd() const { return m_position >= m_contentEnd; }

void FieldReader::SkipBlanks()
{
    while (m_position < m_text.size() && IsBlank(m_text[m_position])) {
        ++m_position;
    }
}

void FieldReader::SkipLineEnd()
{
    if (m_position < m_text.size() && m_text[m_position] == '\r') {
        ++m_position;
        if (m_position < m_text.size() && m_text[m_position] == '\n') {
            ++m_position;
        }
    } else if (m_position < m_text.size() && m_text[m_position] == '\n') {
        ++m_position;
    }
}

bool FieldReader::ReadField(std::string& field)
{
    std::string_view piece;
    if (!ReadField(piece)) {
        return false;
    }
    field.assign(piece);
    return true;
}

bool FieldReader::ReadField(std::string_view& field)
{
    if (AtEnd()) {
        return false;
    }
    SkipBlanks();
    if (m_text[m_position] == '"') {
        const std::size_t start = m_position + 1;
        std::size_t close = m_text.find('"', start);
        if (close == std::string_view::npos) {
            close = m_text.size();
        }
        field = m_text.substr(start, close - start);
        m_position = close < m_text.size() ? close + 1 : close;
        SkipBlanks();
        if (m_position < m_text.size() && m_text[m_position] == ',') {
            ++m_position;
        } else {
            SkipLineEnd();
        }
        return true;
    }
    const std::size_t end = UnquotedEnd(m_text, m_position);
    std::size_t last = end;
    while (last > m_position && IsBlank(m_text[last - 1])) {
        --last;
    }
    field = m_text.substr(m_position, last - m_position);
    m_position = end;
    if (m_position < m_text.size() && m_text[m_position] == ',') {
        ++m_position;
    } else {
        SkipLineEnd();
    }
    return true;
}

ReadResult ReadWholeFile(const NativePath& path, std::string& bytes)
{
    InputFile file;
    if (!file.Open(path)) {
        return ReadResult::CannotOpen;
    }
    bytes.clear();
    char buffer[32000];
    for (;;) {
        const long n = file.Read(buffer, sizeof buffer);
        if (n < 0) {
            return ReadResult::ReadFailed;
        }
        if (n == 0) {
            return ReadResult::Ok;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace platform
