#pragma once

#include "engine/PairTable.h"

#include <string>

namespace engine {

enum class DefinitionOutcome { Loaded, Empty, CannotOpen, NotPaired };

// Fills the table from the definition file: fields taken two at a time, search text first.
DefinitionOutcome LoadDefinition(const std::u16string& path, PairTable& table);

} // namespace engine
