#pragma once

#include "bench/Workload.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Tells whether any search text of a definition occurs in a line, letter case aside. Written
// apart from the engine (a plain trie over decoded, lower-cased units), so the counts it gives
// check the engine instead of repeating it.
class Matcher {
public:
    explicit Matcher(const std::vector<Pair>& pairs);
    bool Matches(std::string_view line);

private:
    struct Node {
        std::vector<std::pair<char16_t, int>> next;
        bool end = false;
    };
    int Child(int node, char16_t unit) const;

    std::vector<Node> m_nodes;
    std::vector<int> m_first; // node for each first unit, -1 for none
    std::u16string m_lower;
};

// Calls back with each line of a file, without its terminator (CR LF or a lone CR).
void ForEachLine(const std::string& path, const std::function<void(std::string_view)>& line);

struct ScanFacts {
    int files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::uint64_t matchingLines = 0;
    std::vector<std::string> matchingFiles; // relative paths, sorted
};
ScanFacts ScanTree(const std::string& root, Matcher& matcher);

// Relative paths of the plain files under root, sorted.
std::vector<std::string> ListFiles(const std::string& root);
// One number for the names and bytes of every file under root.
std::uint64_t TreeDigest(const std::string& root);
bool SameContents(const std::string& a, const std::string& b);

} // namespace bench
