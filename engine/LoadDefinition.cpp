#include "engine/LoadDefinition.h"

#include "platform/FieldReader.h"

namespace engine {

DefinitionOutcome LoadDefinition(const std::u16string& path, PairTable& table)
{
    table = PairTable {};
    std::string bytes;
    const platform::ReadResult read = platform::ReadWholeFile(path, bytes);
    if (read == platform::ReadResult::CannotOpen) {
        return DefinitionOutcome::CannotOpen;
    }
    bool failed = read == platform::ReadResult::ReadFailed;
    platform::FieldReader reader(bytes);
    // The end test comes before each pair, never between its two fields, so an odd number of
    // fields always ends in a failed read.
    while (!failed && !reader.AtEnd()) {
        std::string search;
        std::string replace;
        const bool gotSearch = reader.ReadField(search);
        const bool gotReplace = gotSearch && reader.ReadField(replace);
        AppendPair(table, search, replace);
        failed = !gotReplace;
    }
    if (table.LastPairIndex < 0) {
        return failed ? DefinitionOutcome::NotPaired : DefinitionOutcome::Empty;
    }
    if (failed) {
        return DefinitionOutcome::NotPaired;
    }
    CompilePairs(table);
    return DefinitionOutcome::Loaded;
}

} // namespace engine
