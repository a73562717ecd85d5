#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct hs_database;
struct hs_scratch;

namespace engine {

// Finds, at byte level and before any decoding, where a search text may occur: each search text
// gives needles of CP932 bytes, one of which any real occurrence must contain. Hits may be false, never
// missing; the rewriting checks each one on decoded text.
class Prefilter {
public:
    struct Hit {
        std::size_t end; // offset just after the needle
        int pair;
    };

    Prefilter() = default;
    ~Prefilter();
    Prefilter(const Prefilter&) = delete;
    Prefilter& operator=(const Prefilter&) = delete;

    // needles[k]: the byte strings of which every occurrence of pair k holds one; none means the
    // pair is left out.
    bool Build(const std::vector<std::vector<std::string>>& needles);
    bool Empty() const { return m_database == nullptr; }
    // Appends the hits in data to hits, in order of their end.
    void Scan(const char* data, std::size_t size, std::vector<Hit>& hits) const;

private:
    hs_database* m_database = nullptr;
    hs_scratch* m_scratch = nullptr;
};

} // namespace engine
