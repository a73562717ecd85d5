// Any settings file, then one entry written: the entry reads back as written, trimmed and cut at
// the read limit, and every other entry of the file reads as it did before.

#include "common/Profile.h"
#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// One folder for every input, removed when the run ends.
struct IniFolder {
    IniFolder()
    {
        path = access("/dev/shm", W_OK) == 0 ? "/dev/shm/vandor-fuzz-XXXXXX"
                                             : "/tmp/vandor-fuzz-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) {
            std::abort();
        }
    }
    ~IniFolder()
    {
        unlink((path + "/vandor.ini").c_str());
        rmdir(path.c_str());
    }
    std::string path;
};

const std::string& IniPath()
{
    static const IniFolder folder;
    return folder.path;
}

std::u16string Trim(std::u16string_view text, bool tabs)
{
    const auto blank = [tabs](char16_t c) { return c == u' ' || (tabs && c == u'\t'); };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::u16string(text);
}

// Text that either encoding of the file holds: characters of CP932, no line break, no NUL.
std::u16string Text(const std::string& bytes)
{
    std::u16string text;
    for (const char16_t unit : platform::DecodeCp932(bytes)) {
        if (!platform::IsEscapeUnit(unit) && unit != 0 && unit != u'\r' && unit != u'\n') {
            text.push_back(unit);
        }
    }
    return text;
}

// A section or key name as the file can hold it: no blanks around it, nothing that would make
// its line a comment, a section header or end the name early.
std::u16string Name(const std::string& bytes, std::u16string_view fallback)
{
    std::u16string name;
    for (const char16_t unit : Trim(Text(bytes), true)) {
        if (unit != u'[' && unit != u']' && unit != u'=' && unit != u';') {
            name.push_back(unit);
        }
    }
    name = Trim(name, true);
    return name.empty() ? std::u16string(fallback) : name;
}

// Section and key names that the file may hold, under either of its possible encodings.
void CollectNames(
    const std::string& bytes, std::set<std::u16string>& sections, std::set<std::u16string>& keys)
{
    for (const std::u16string& text :
        { platform::DecodeFileName(bytes), platform::DecodeCp932(bytes) }) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find_first_of(u"\r\n", start);
            if (end == std::u16string::npos) {
                end = text.size();
            }
            const std::u16string line
                = Trim(std::u16string_view(text).substr(start, end - start), true);
            if (!line.empty() && line.front() == u'[') {
                sections.insert(
                    Trim(std::u16string_view(line).substr(1, line.find(u']') - 1), true));
            } else if (const auto equals = line.find(u'=');
                       equals != std::u16string::npos && !line.empty() && line.front() != u';') {
                keys.insert(Trim(std::u16string_view(line).substr(0, equals), true));
            }
            start = end + 1;
        }
    }
}

bool SameName(const std::u16string& a, const std::u16string& b)
{
    return platform::LowerCase(a) == platform::LowerCase(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::u16string section = Name(input.ConsumeRandomLengthString(32), u"file");
    const std::u16string key = Name(input.ConsumeRandomLengthString(32), u"org");
    const std::u16string value = Text(input.ConsumeRandomLengthString(400));
    const std::string before = input.ConsumeRemainingBytesAsString();

    const std::string path = IniPath() + "/vandor.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(before.data(), static_cast<std::streamsize>(before.size()));
    }
    const std::u16string ini = platform::DecodeFileName(path);

    std::set<std::u16string> sections { section };
    std::set<std::u16string> keys { key };
    CollectNames(before, sections, keys);
    std::vector<std::pair<std::pair<std::u16string, std::u16string>, std::u16string>> others;
    std::size_t queries = 0;
    for (const std::u16string& s : sections) {
        for (const std::u16string& k : keys) {
            if (++queries > 256) {
                break;
            }
            if (!(SameName(s, section) && SameName(k, key))) {
                others.push_back({ { s, k }, common::ReadProfileString(ini, s, k, false) });
            }
        }
    }

    if (!common::WriteProfileString(ini, section, key, value)) {
        std::abort();
    }

    // Blanks around the value go, then one pair of matching quotes; the value is read whole.
    std::u16string expected = Trim(value, true);
    if (expected.size() >= 2 && expected.front() == expected.back()
        && (expected.front() == u'"' || expected.front() == u'\'')) {
        expected = expected.substr(1, expected.size() - 2);
    }
    expected = Trim(expected, false);
    if (common::ReadProfileString(ini, section, key, false) != expected) {
        std::abort();
    }
    for (const auto& [entry, read] : others) {
        if (common::ReadProfileString(ini, entry.first, entry.second, false) != read) {
            std::abort();
        }
    }
    return 0;
}
