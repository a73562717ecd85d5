#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

struct CompiledPairs;

// The search texts and their replacements, in definition order, ready for rewriting: entries 0 to
// LastPairIndex hold the pairs; the table has no fixed capacity. It is made whole and then only
// read.
class PairTable {
public:
    // No pairs.
    PairTable();
    // From the bytes of each pair's two fields, as the definition file holds them.
    explicit PairTable(const std::vector<std::pair<std::string, std::string>>& fields);

    const std::vector<std::u16string>& SearchTexts() const { return m_searchTexts; }
    const std::vector<std::u16string>& ReplaceTexts() const { return m_replaceTexts; }
    // As the definition file holds them.
    const std::vector<std::string>& ReplaceBytes() const { return m_replaceBytes; }
    int LastPairIndex() const { return static_cast<int>(m_searchTexts.size()) - 1; }
    // Lower-cased texts, the replacements in every encoding and the prefilters.
    const CompiledPairs& Compiled() const { return *m_compiled; }

private:
    std::vector<std::u16string> m_searchTexts; // decoded, exactly as read
    std::vector<std::u16string> m_replaceTexts; // decoded, exactly as read
    std::vector<std::string> m_replaceBytes;
    std::shared_ptr<const CompiledPairs> m_compiled;
};

} // namespace engine
