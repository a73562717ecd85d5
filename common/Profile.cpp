#include "common/Profile.h"

#include "platform/Cp932.h"
#include "platform/FieldReader.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"
#include "platform/SystemProfile.h"
#include "platform/TextFile.h"

#include <optional>
#include <vector>

namespace common {

#ifndef _WIN32
namespace {

enum class Encoding { Utf8, Cp932 };

struct IniLine {
    std::string raw; // the bytes as read, without the line end
    std::u16string text;
};

struct IniFile {
    Encoding encoding = Encoding::Utf8;
    bool byteOrderMark = false;
    std::vector<IniLine> lines;
};

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimBlanks(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    return platform::LowerCase(TrimBlanks(a)) == platform::LowerCase(TrimBlanks(b));
}

// Only a plain file is read; a folder or a file whose read fails reads as none at all.
std::optional<std::string> ReadBytes(const platform::NativePath& path)
{
    std::string bytes;
    if (platform::ReadWholeFile(path, bytes) != platform::ReadResult::Ok) {
        return std::nullopt;
    }
    return bytes;
}

std::u16string Decode(std::string_view bytes, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? platform::DecodeFileName(bytes)
                                      : platform::DecodeCp932(bytes);
}

std::string Encode(std::u16string_view text, Encoding encoding)
{
    return encoding == Encoding::Utf8 ? platform::EncodeFileName(text)
                                      : platform::EncodeCp932(text);
}

bool IsUtf8(std::string_view bytes)
{
    for (const char16_t unit : platform::DecodeFileName(bytes)) {
        if (platform::IsEscapeUnit(unit)) {
            return false;
        }
    }
    return true;
}

// A file that is not valid UTF-8 was written by the Windows profile functions, in CP932.
Encoding EncodingOf(std::string_view bytes)
{
    return bytes.starts_with(Utf8Mark) || IsUtf8(bytes) ? Encoding::Utf8 : Encoding::Cp932;
}

IniFile Parse(std::string_view bytes)
{
    IniFile file;
    file.encoding = EncodingOf(bytes);
    if (bytes.starts_with(Utf8Mark)) {
        file.byteOrderMark = true;
        bytes.remove_prefix(Utf8Mark.size());
    }

    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        IniLine line;
        line.raw = std::string(bytes.substr(start, end - start));
        line.text = Decode(line.raw, file.encoding);
        file.lines.push_back(std::move(line));
        start = end;
        if (start < bytes.size() && bytes[start] == '\r') {
            ++start;
        }
        if (start < bytes.size() && bytes[start] == '\n') {
            ++start;
        }
    }
    return file;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::u16string_view name; // section or key name, trimmed
    std::u16string_view value; // trimmed, quotes kept
};

ParsedLine ParseLine(std::u16string_view text)
{
    ParsedLine parsed;
    const std::u16string_view body = TrimBlanks(text);
    if (body.empty() || body.front() == u';') {
        return parsed;
    }
    if (body.front() == u'[') {
        parsed.kind = LineKind::Section;
        const std::u16string_view inside = body.substr(1);
        parsed.name = TrimBlanks(inside.substr(0, inside.find(u']')));
        return parsed;
    }
    const auto equals = body.find(u'=');
    if (equals == std::u16string_view::npos) {
        return parsed;
    }
    parsed.kind = LineKind::Key;
    parsed.name = TrimBlanks(body.substr(0, equals));
    parsed.value = TrimBlanks(body.substr(equals + 1));
    return parsed;
}

// Where a section starts and ends in the file's lines, and where its key is if present.
struct Location {
    std::optional<std::size_t> section; // index of the header line
    std::size_t insertAt = 0; // line index after the last key of the section
    std::optional<std::size_t> key;
};

Location Find(const IniFile& file, std::u16string_view section, std::u16string_view key)
{
    Location where;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(file.lines[i].text);
        if (!where.section) {
            if (parsed.kind == LineKind::Section && SameName(parsed.name, section)) {
                where.section = i;
                where.insertAt = i + 1;
            }
            continue;
        }
        if (parsed.kind == LineKind::Section) {
            break;
        }
        if (parsed.kind == LineKind::Key) {
            where.insertAt = i + 1;
            if (!where.key && SameName(parsed.name, key)) {
                where.key = i;
            }
        }
    }
    return where;
}

std::u16string_view StripQuotes(std::u16string_view value)
{
    if (value.size() >= 2 && value.front() == value.back()
        && (value.front() == u'"' || value.front() == u'\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The file's bytes, in the encoding that they will be read in. A file in CP932 whose bytes happen
// to be valid UTF-8 (a value of "ﾐ㎏" is D0 87 73) would be read as UTF-8, and one in UTF-8 that
// holds bytes that are not (a name of an older system's code page) as CP932: either is written
// in UTF-8, with a byte order mark when its bytes are not valid UTF-8.
std::string Serialize(IniFile& file)
{
    std::string bytes;
    for (int attempt = 0;; ++attempt) {
        bytes = file.byteOrderMark ? std::string(Utf8Mark) : std::string();
        for (const IniLine& line : file.lines) {
            bytes += line.raw;
            bytes += "\r\n";
        }
        if (attempt == 2 || EncodingOf(bytes) == file.encoding) {
            return bytes;
        }
        file.encoding = Encoding::Utf8;
        file.byteOrderMark = attempt == 1;
        for (IniLine& line : file.lines) {
            line.raw = Encode(line.text, Encoding::Utf8);
        }
    }
}

} // namespace
#endif

std::u16string GetIniName(std::uintptr_t, const std::u16string& defaultPath, const std::u16string&)
{
    return defaultPath;
}

#ifdef _WIN32
// Windows has profile functions of its own, and the settings file is theirs.
std::u16string ReadProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, bool lowerCase, PathStyle style)
{
    std::u16string result = TrimSpaces(platform::ReadSystemProfile(iniPath, section, key));
    if (lowerCase && style == PathStyle::Windows) {
        result = platform::LowerCase(result);
    }
    return result;
}

bool WriteProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, std::u16string_view value)
{
    return !iniPath.empty() && platform::WriteSystemProfile(iniPath, section, key, value);
}
#else

std::u16string ReadProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, bool lowerCase, PathStyle style)
{
    const auto bytes = ReadBytes(platform::NativePath::FromText(iniPath));
    if (!bytes) {
        return {};
    }
    const IniFile file = Parse(*bytes);
    const Location where = Find(file, section, key);
    if (!where.key) {
        return {};
    }
    std::u16string_view value = StripQuotes(ParseLine(file.lines[*where.key].text).value);
    std::u16string result = TrimSpaces(value);
    if (lowerCase && style == PathStyle::Windows) {
        result = platform::LowerCase(result);
    }
    return result;
}

bool WriteProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, std::u16string_view value)
{
    if (iniPath.empty()) {
        return false;
    }
    const platform::NativePath path = platform::NativePath::FromText(iniPath);
    IniFile file;
    // A file that cannot be read is not replaced: its other lines would be lost.
    if (platform::IdentityOf(path)) {
        const auto bytes = ReadBytes(path);
        if (!bytes) {
            return false;
        }
        file = Parse(*bytes);
    }

    const Location where = Find(file, section, key);
    const auto newLine = [&](std::u16string_view name) {
        std::u16string text(name);
        text += u'=';
        text += value;
        return IniLine { Encode(text, file.encoding), text };
    };
    if (where.key) {
        // The key keeps its own spelling; only the value changes.
        const std::u16string name(ParseLine(file.lines[*where.key].text).name);
        file.lines[*where.key] = newLine(name);
    } else if (where.section) {
        file.lines.insert(
            file.lines.begin() + static_cast<std::ptrdiff_t>(where.insertAt), newLine(key));
    } else {
        std::u16string header = u"[";
        header += section;
        header += u']';
        file.lines.push_back(IniLine { Encode(header, file.encoding), header });
        file.lines.push_back(newLine(key));
    }

    return platform::ReplaceWholeFile(path, Serialize(file));
}

#endif

} // namespace common
