#include "platform/FieldReader.h"

#include "platform/TextFile.h"

namespace platform {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
} // namespace

FieldReader::FieldReader(std::string_view text)
    : m_text(text)
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
    std::size_t end = m_position;
    while (end < m_text.size() && m_text[end] != ',' && !IsLineEnd(m_text[end])) {
        ++end;
    }
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
