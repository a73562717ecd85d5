#include "bench/Scan.h"

#include "platform/Cp932.h"
#include "platform/LowerCase.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace bench {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path)
{
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    }
    return file;
}

// FNV-1a over 8-byte words: fast enough for a 1 GB tree, and any changed byte changes it.
class Digest {
public:
    void Add(const char* data, std::size_t size)
    {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            Mix(word);
        }
        std::uint64_t tail = size;
        for (; i < size; ++i) {
            tail = (tail << 8) | static_cast<unsigned char>(data[i]);
        }
        Mix(tail);
    }
    std::uint64_t Value() const { return m_value; }

private:
    void Mix(std::uint64_t word)
    {
        m_value ^= word;
        m_value *= 0x100000001B3ull;
        m_value ^= m_value >> 29;
    }
    std::uint64_t m_value = 0xCBF29CE484222325ull;
};

} // namespace

Matcher::Matcher(const std::vector<Pair>& pairs)
    : m_first(0x10000, -1)
{
    for (const Pair& pair : pairs) {
        const std::u16string search = platform::DecodeCp932(pair.search);
        if (search.empty()) {
            continue;
        }
        const char16_t first = platform::LowerCaseUnit(search[0]);
        if (m_first[first] < 0) {
            m_first[first] = static_cast<int>(m_nodes.size());
            m_nodes.emplace_back();
        }
        int node = m_first[first];
        for (std::size_t i = 1; i < search.size(); ++i) {
            const char16_t unit = platform::LowerCaseUnit(search[i]);
            int next = Child(node, unit);
            if (next < 0) {
                next = static_cast<int>(m_nodes.size());
                m_nodes[static_cast<std::size_t>(node)].next.emplace_back(unit, next);
                m_nodes.emplace_back();
            }
            node = next;
        }
        m_nodes[static_cast<std::size_t>(node)].end = true;
    }
}

int Matcher::Child(int node, char16_t unit) const
{
    for (const auto& [u, next] : m_nodes[static_cast<std::size_t>(node)].next) {
        if (u == unit) {
            return next;
        }
    }
    return -1;
}

bool Matcher::Matches(std::string_view line)
{
    m_lower.clear();
    const auto* data = reinterpret_cast<const unsigned char*>(line.data());
    for (std::size_t i = 0; i < line.size();) {
        const platform::DecodedUnit d = platform::DecodeCp932At(data + i, line.size() - i);
        m_lower.push_back(platform::LowerCaseUnit(d.unit));
        i += d.length;
    }
    for (std::size_t start = 0; start < m_lower.size(); ++start) {
        int node = m_first[m_lower[start]];
        std::size_t at = start + 1;
        while (node >= 0) {
            if (m_nodes[static_cast<std::size_t>(node)].end) {
                return true;
            }
            if (at == m_lower.size()) {
                break;
            }
            node = Child(node, m_lower[at++]);
        }
    }
    return false;
}

void ForEachLine(const std::string& path, const std::function<void(std::string_view)>& line)
{
    const FilePtr file = OpenForReading(path);
    std::string buffer;
    std::vector<char> chunk(1 << 20);
    std::size_t n;
    bool afterCr = false; // an LF right after a CR belongs to that CR
    while ((n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
        std::size_t from = 0;
        if (afterCr && chunk[0] == '\n') {
            from = 1;
        }
        afterCr = false;
        for (std::size_t i = from; i < n; ++i) {
            if (chunk[i] != '\r') {
                continue;
            }
            if (buffer.empty()) {
                line(std::string_view(chunk.data() + from, i - from));
            } else {
                buffer.append(chunk.data() + from, i - from);
                line(buffer);
                buffer.clear();
            }
            if (i + 1 < n && chunk[i + 1] == '\n') {
                ++i;
            } else if (i + 1 == n) {
                afterCr = true;
            }
            from = i + 1;
        }
        buffer.append(chunk.data() + from, n - from);
    }
    if (std::ferror(file.get())) {
        throw std::runtime_error("cannot read " + path);
    }
    if (!buffer.empty()) {
        line(buffer);
    }
}

ScanFacts ScanTree(const std::string& root, Matcher& matcher)
{
    ScanFacts facts;
    for (const std::string& name : ListFiles(root)) {
        const std::string path = root + "/" + name;
        bool matching = false;
        ForEachLine(path, [&](std::string_view line) {
            ++facts.lines;
            if (matcher.Matches(line)) {
                ++facts.matchingLines;
                matching = true;
            }
        });
        ++facts.files;
        facts.bytes += std::filesystem::file_size(path);
        if (matching) {
            facts.matchingFiles.push_back(name);
        }
    }
    return facts;
}

std::vector<std::string> ListFiles(const std::string& root)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            names.push_back(std::filesystem::relative(entry.path(), root).generic_string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::uint64_t TreeDigest(const std::string& root)
{
    Digest digest;
    std::vector<char> chunk(1 << 20);
    for (const std::string& name : ListFiles(root)) {
        digest.Add(name.data(), name.size() + 1);
        const FilePtr file = OpenForReading(root + "/" + name);
        std::size_t n;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
            digest.Add(chunk.data(), n);
        }
    }
    return digest.Value();
}

bool SameContents(const std::string& a, const std::string& b)
{
    const FilePtr fa = OpenForReading(a);
    const FilePtr fb = OpenForReading(b);
    std::vector<char> ca(1 << 16);
    std::vector<char> cb(1 << 16);
    while (true) {
        const std::size_t na = std::fread(ca.data(), 1, ca.size(), fa.get());
        const std::size_t nb = std::fread(cb.data(), 1, cb.size(), fb.get());
        if (na != nb || std::memcmp(ca.data(), cb.data(), na) != 0) {
            return false;
        }
        if (na == 0) {
            return true;
        }
    }
}

} // namespace bench
