#include "engine/LoadDefinition.h"

#include "platform/FieldReader.h"

namespace engine {

DefinitionOutcome LoadDefinition(const std::u16string& path, PairTable& table)
{
    table = PairTable {};
    std::string bytes;
    const platform::ReadResult read
        = platform::ReadWholeFile(platform::NativePath::FromText(path), bytes);
    if (read == platform::ReadResult::CannotOpen) {
        return DefinitionOutcome::CannotOpen;
    }
    bool failed = read == platform::ReadResult::ReadFailed;
    platform::FieldReader reader(bytes);
    std::vector<std::pair<std::string, std::string>> fields;
    // The end test comes before each pair, never between its two fields, so an odd number of
    // fields always ends in a failed read. The pair being read then stays counted.
    while (!failed && !reader.AtEnd()) {
        std::string search;
        std::string replace;
        const bool gotSearch = reader.ReadField(search);
        const bool gotReplace = gotSearch && reader.ReadField(replace);
        fields.emplace_back(std::move(search), std::move(replace));
        failed = !gotReplace;
    }
    table = PairTable(fields);
    if (fields.empty()) {
        return failed ? DefinitionOutcome::NotPaired : DefinitionOutcome::Empty;
    }
    return failed ? DefinitionOutcome::NotPaired : DefinitionOutcome::Loaded;
}

} // namespace engine
