#pragma once

#include "common/Paths.h"
#include "engine/RunWindow.h"

namespace engine {

// The Run command: tidies the three boxes, locks the window, loads the definition, walks the ORG
// folder into the NEW folder and reports the outcome in the status line.
void RunReplace(RunWindow& window, common::PathStyle style = common::NativePathStyle());

} // namespace engine
