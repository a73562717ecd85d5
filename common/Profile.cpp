#include "common/Profile.h"

#include "platform/Cp932.h"
#include "platform/FieldReader.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"
#include "platform/SysCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

namespace common {

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
std::optional<std::string> ReadBytes(const std::string& path)
{
    std::string bytes;
    if (platform::ReadWholeFile(platform::DecodeFileName(path), bytes) != platform::ReadResult::Ok) {
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
IniFile Parse(std::string_view bytes)
{
    IniFile file;
    if (bytes.starts_with(Utf8Mark)) {
        file.byteOrderMark = true;
        bytes.remove_prefix(Utf8Mark.size());
    }
    file.encoding = file.byteOrderMark || IsUtf8(bytes) ? Encoding::Utf8 : Encoding::Cp932;

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

// The file that the path names, links followed, so that replacing it keeps a link in place.
std::string TargetOf(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = platform::Sys().write(fd, bytes.data(), bytes.size());
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes into a new file beside the target and renames it over the target, so that a failed
// write leaves the old file whole.
bool ReplaceFile(const std::string& target, std::string_view bytes, std::optional<mode_t> mode)
{
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = platform::Sys().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    if (mode) {
        ok = ::fchmod(fd, *mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = platform::Sys().close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

} // namespace

std::u16string GetIniName(std::uintptr_t, const std::u16string& defaultPath, const std::u16string&)
{
    return defaultPath;
}

std::u16string ReadProfileString(const std::u16string& iniPath, std::u16string_view section,
    std::u16string_view key, bool lowerCase, PathStyle style)
{
    const auto bytes = ReadBytes(platform::EncodeFileName(iniPath));
    if (!bytes) {
        return {};
    }
    const IniFile file = Parse(*bytes);
    const Location where = Find(file, section, key);
    if (!where.key) {
        return {};
    }
    std::u16string_view value = StripQuotes(ParseLine(file.lines[*where.key].text).value);
    value = value.substr(0, ProfileValueLimit);
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
    const std::string target = TargetOf(platform::EncodeFileName(iniPath));
    IniFile file;
    std::optional<mode_t> mode;
    struct stat info { };
    if (::stat(target.c_str(), &info) == 0) {
        // A read-only settings file stays as it is, as the platform's profile functions leave it.
        if (!S_ISREG(info.st_mode) || ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        const auto bytes = ReadBytes(target);
        if (!bytes) {
            return false;
        }
        file = Parse(*bytes);
        mode = info.st_mode;
    } else if (errno != ENOENT) {
        return false;
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

    std::string bytes;
    if (file.byteOrderMark) {
        bytes += Utf8Mark;
    }
    for (const IniLine& line : file.lines) {
        bytes += line.raw;
        bytes += "\r\n";
    }
    return ReplaceFile(target, bytes, mode);
}

} // namespace common
