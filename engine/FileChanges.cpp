#include "engine/FileChanges.h"

#include "engine/RewriteLine.h"
#include "platform/Cp932.h"
#include "platform/FileName.h"

#include <algorithm>
#include <utility>

namespace engine {
namespace {

constexpr std::u16string_view kLoneLf = u"␊";
constexpr std::u16string_view kUnended = u"[改行なし]";
constexpr std::u16string_view kCut = u"…";

// What the comparison of two texts may cost: their lengths multiplied, after their common ends.
constexpr std::size_t kMostCompared = std::size_t(1) << 20;

void AddShown(ShownLine& line, std::u16string_view text)
{
    line.shown.push_back({ line.text.size(), line.text.size() + text.size() });
    line.text += text;
}

// One line's bytes, its line end included when it has one, as the pane shows them.
ShownLine Decode(std::string_view bytes, TextEncoding encoding, bool cut)
{
    ShownLine line;
    std::size_t end = bytes.size();
    std::u16string_view ending;
    if (cut) {
        ending = kCut;
    } else if (end != 0 && bytes[end - 1] == '\n') {
        const bool crlf = end >= 2 && bytes[end - 2] == '\r';
        end -= crlf ? 2 : 1;
        ending = crlf ? std::u16string_view() : kLoneLf;
    } else {
        ending = kUnended;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t at = 0; at < end;) {
        const unsigned char byte = data[at];
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            // Control characters as their pictures (␍ and ␊ for a CR or LF inside the line), which
            // the font draws where the characters themselves would draw nothing.
            const char16_t picture
                = byte == 0x7F ? u'\u2421' : static_cast<char16_t>(0x2400 + byte);
            AddShown(line, { &picture, 1 });
            ++at;
            continue;
        }
        char32_t unit = 0;
        std::size_t length = 1;
        if (encoding == TextEncoding::Cp932) {
            const platform::DecodedUnit decoded = platform::DecodeCp932At(data + at, end - at);
            unit = decoded.unit;
            length = decoded.length;
        } else {
            const platform::Utf8Character decoded = platform::DecodeUtf8At(data + at, end - at);
            unit = decoded.unit;
            length = decoded.length;
        }
        if (unit <= 0xFFFF && platform::IsEscapeUnit(static_cast<char16_t>(unit))) {
            static constexpr char16_t digits[] = u"0123456789ABCDEF";
            const char16_t escaped[] = { u'\\', u'x', digits[byte >> 4], digits[byte & 15] };
            AddShown(line, { escaped, 4 });
        } else if (unit > 0xFFFF) {
            line.text += static_cast<char16_t>(0xD800 + ((unit - 0x10000) >> 10));
            line.text += static_cast<char16_t>(0xDC00 + ((unit - 0x10000) & 0x3FF));
        } else {
            line.text += static_cast<char16_t>(unit);
        }
        at += length;
    }
    if (!ending.empty()) {
        AddShown(line, ending);
    }
    return line;
}

// Up to `lines` lines of [begin, end) of one side, each cut after `bytes` bytes.
std::vector<ShownLine> ReadLines(diff::Side& side, std::uint64_t begin, std::uint64_t end,
    TextEncoding encoding, std::size_t lines, std::size_t bytes)
{
    std::vector<ShownLine> shown;
    std::string line;
    bool cut = false;
    side.Pieces(begin, end, [&](std::string_view piece, std::uint64_t) {
        for (std::size_t from = 0; from < piece.size() && shown.size() < lines;) {
            const std::size_t lf = piece.find('\n', from);
            const std::size_t to = lf == std::string_view::npos ? piece.size() : lf + 1;
            const std::size_t room = bytes - std::min(bytes, line.size());
            line.append(piece.substr(from, std::min(to - from, room)));
            cut = cut || to - from > room;
            if (lf != std::string_view::npos) {
                shown.push_back(Decode(line, encoding, cut));
                line.clear();
                cut = false;
            }
            from = to;
        }
        return shown.size() < lines;
    });
    if (!line.empty() && shown.size() < lines) {
        shown.push_back(Decode(line, encoding, cut));
    }
    return shown;
}

// The lines of one side joined by LF (which no shown line holds), and each line's start in it.
std::u16string Joined(const std::vector<ShownLine>& lines, std::vector<std::size_t>& starts)
{
    std::u16string joined;
    for (const ShownLine& line : lines) {
        starts.push_back(joined.size());
        joined += line.text;
        joined += u'\n';
    }
    return joined;
}

// Ranges of the joined text, given back to the lines they fall in.
void SplitRanges(const std::vector<TextRange>& ranges, const std::vector<std::size_t>& starts,
    std::vector<ShownLine>& lines)
{
    for (const TextRange& range : ranges) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::size_t begin = std::max(range.begin, starts[i]);
            const std::size_t end = std::min(range.end, starts[i] + lines[i].text.size());
            if (begin < end) {
                lines[i].differs.push_back({ begin - starts[i], end - starts[i] });
            }
        }
    }
}

void AddRange(std::vector<TextRange>& ranges, std::size_t at)
{
    if (!ranges.empty() && ranges.back().end == at) {
        ++ranges.back().end;
    } else {
        ranges.push_back({ at, at + 1 });
    }
}

// Differences a letter or two apart within a word are one: a name replaced by another shares a
// letter or two with it by chance, and marking around those would split what was replaced.
void JoinNear(const std::u16string& text, std::vector<TextRange>& ranges)
{
    constexpr std::size_t near = 2;
    const auto inWord = [](char16_t unit) {
        return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z')
            || (unit >= u'a' && unit <= u'z') || unit == u'_' || unit >= 0x3000;
    };
    std::vector<TextRange> joined;
    for (const TextRange& range : ranges) {
        if (!joined.empty() && range.begin - joined.back().end <= near
            && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(joined.back().end),
                text.begin() + static_cast<std::ptrdiff_t>(range.begin), inWord)) {
            joined.back().end = range.end;
        } else {
            joined.push_back(range);
        }
    }
    ranges = std::move(joined);
}

// Marks what differs between the two sides of a change. Where every line of the input became one
// line of the copy (beside mark lines, which are new as a whole), lines are compared pair by pair,
// so that nothing is matched by chance across lines; else the sides are compared whole.
void MarkChange(ShownChange& change, const std::u16string& markLine)
{
    std::vector<ShownLine*> copyLines;
    for (ShownLine& line : change.copy) {
        if (line.text == markLine) {
            line.differs.push_back({ 0, line.text.size() });
        } else {
            copyLines.push_back(&line);
        }
    }
    if (copyLines.size() == change.org.size()) {
        for (std::size_t i = 0; i < copyLines.size(); ++i) {
            MarkDifferences(change.org[i].text, copyLines[i]->text, change.org[i].differs,
                copyLines[i]->differs);
        }
        return;
    }
    for (ShownLine& line : change.copy) {
        line.differs.clear();
    }
    std::vector<std::size_t> orgStarts;
    std::vector<std::size_t> copyStarts;
    std::vector<TextRange> inOrg;
    std::vector<TextRange> inCopy;
    MarkDifferences(Joined(change.org, orgStarts), Joined(change.copy, copyStarts), inOrg, inCopy);
    SplitRanges(inOrg, orgStarts, change.org);
    SplitRanges(inCopy, copyStarts, change.copy);
}

} // namespace

FileChanges::FileChanges(const ChangedFile& file, const FileEdits& edits)
    : m_encoding(file.encoding)
    , m_markLine(Decode(ModificationMark(file.encoding) + "\r\n", file.encoding, false).text)
    , m_list(m_org, m_copy, edits.edits)
{
    try {
        if (!m_org.Open(file.path, edits.orgStamp) || !m_copy.Open(edits.copy, edits.copyStamp)
            || !diff::EditsFit(edits.edits, m_org.size, m_copy.size)) {
            m_state = State::ChangedSinceRun;
        }
    } catch (const diff::ReadFailure&) {
        m_state = State::CannotRead; // the edits' spilled pieces
    }
}

bool FileChanges::StillAsRunLeft()
{
    if (m_state == State::Ready
        && (m_org.file.ChangedSinceOpen() || m_copy.file.ChangedSinceOpen())) {
        m_state = State::ChangedSinceRun;
    }
    return m_state == State::Ready;
}

void FileChanges::FindMore(std::size_t count)
{
    if (AllFound() || !StillAsRunLeft()) {
        return;
    }
    try {
        diff::Change change;
        for (std::size_t i = 0; i < count; ++i) {
            if (!m_list.Next(change)) {
                m_allFound = true;
                break;
            }
            m_changes.push_back(change);
        }
    } catch (const diff::ReadFailure&) {
        m_state = State::CannotRead;
    }
    StillAsRunLeft();
}

ShownChange FileChanges::Numbers(std::size_t i) const
{
    const diff::Change& c = m_changes.at(i);
    ShownChange shown;
    shown.orgLine = c.orgLine + 1;
    shown.orgLines = c.orgLines;
    shown.copyLine = c.copyLine + 1;
    shown.copyLines = c.copyLines;
    return shown;
}

ShownChange FileChanges::Read(std::size_t i, std::size_t lines, std::size_t bytes)
{
    ShownChange shown = Numbers(i);
    if (!StillAsRunLeft()) {
        return shown;
    }
    const diff::Change& c = m_changes[i];
    try {
        shown.org = ReadLines(m_org, c.orgBegin, c.orgEnd, m_encoding, lines, bytes);
        shown.copy = ReadLines(m_copy, c.copyBegin, c.copyEnd, m_encoding, lines, bytes);
    } catch (const diff::ReadFailure&) {
        m_state = State::CannotRead;
    }
    if (!StillAsRunLeft()) {
        shown.org.clear();
        shown.copy.clear();
        return shown;
    }
    MarkChange(shown, m_markLine);
    return shown;
}

void MarkDifferences(const std::u16string& a, const std::u16string& b, std::vector<TextRange>& inA,
    std::vector<TextRange>& inB)
{
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head
        && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
        ++tail;
    }
    const std::size_t n = a.size() - head - tail;
    const std::size_t m = b.size() - head - tail;
    if (n == 0 || m == 0 || n * m > kMostCompared / 4 || n > kMostCompared || m > kMostCompared) {
        if (n != 0) {
            inA.push_back({ head, head + n });
        }
        if (m != 0) {
            inB.push_back({ head, head + m });
        }
        return;
    }
    // lcs[i * (m + 1) + j]: the longest common subsequence of the middles from i and from j on.
    std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            lcs[i * (m + 1) + j] = a[head + i] == b[head + j]
                ? lcs[(i + 1) * (m + 1) + j + 1] + 1
                : std::max(lcs[(i + 1) * (m + 1) + j], lcs[i * (m + 1) + j + 1]);
        }
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[head + i] == b[head + j]) {
            ++i;
            ++j;
        } else if (j == m || (i < n && lcs[(i + 1) * (m + 1) + j] >= lcs[i * (m + 1) + j + 1])) {
            AddRange(inA, head + i++);
        } else {
            AddRange(inB, head + j++);
        }
    }
    JoinNear(a, inA);
    JoinNear(b, inB);
}

} // namespace engine
