#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ui {

// The program's arguments, its name first. Linux names are bytes and keep them (see FileName.h).
std::vector<std::u16string> ProgramArguments(int argc, char* argv[]);

// Whether the arguments ask for the command line rather than the window: the first one is --run,
// --help, -h or --version. Any other arguments are Qt's, and the window starts.
bool IsCommandLine(const std::vector<std::u16string>& arguments);

// vandor --run ORG NEW DEFINITION [--no-subfolders] [--mark] [--report FILE], --help, --version:
// runs the Run command without a window and returns the exit status (0: リプレース完了。,
// 1: an error message or a report that could not be written, 2: arguments not understood).
// Writes UTF-8 to out and err.
int RunCommandLine(
    const std::vector<std::u16string>& arguments, std::ostream& out, std::ostream& err);

} // namespace ui
