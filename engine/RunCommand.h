#pragma once

#include "common/Paths.h"
#include "engine/RunReport.h"
#include "engine/RunWindow.h"

namespace engine {

// The Run command: tidies the three boxes, locks the window, loads the definition, walks the ORG
// folder into the NEW folder and reports the outcome in the status line. Returns what the run did.
// With recordEdits, each changed file's edits and stamps go into the report too.
RunReport RunReplace(RunWindow& window, common::PathStyle style = common::NativePathStyle(),
    bool recordEdits = false);

} // namespace engine
