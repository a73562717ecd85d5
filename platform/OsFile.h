#pragma once

#include "platform/NativePath.h"

namespace platform::os {

// The few calls in which the systems differ where a copy is written, under an outline that
// platform/TextFile.cpp and platform/TemporaryName.cpp keep once for both.

// Separators that end a path's folder part.
#ifdef _WIN32
inline constexpr NativeChar kSeparators[] = L"\\/";
#else
inline constexpr NativeChar kSeparators[] = "/";
#endif

unsigned long ProcessId();
// No process of that id is running any more.
bool ProcessIsGone(unsigned long id);

// A new file at path, opened for writing; -1 when it exists or cannot be made.
int CreateNewFile(const NativePath& path);
bool SyncToDisk(int fd);
// Gives from the name to, replacing what is there.
bool RenameOver(const NativePath& from, const NativePath& to);
// The temporary being written, removed should the process be interrupted; nothing where the
// system gives no such chance.
void WatchTemporary(const NativePath& path);
void ForgetTemporary();

// A file of the system's temporary folder, open for reading and writing, that goes when it is
// closed; -1 when none can be made.
int OpenScratchFile();

enum class Replaceable { Missing, Yes, No };
// Whether a whole file may be put in place of the one at path: a writable plain file, or none.
// mode: what the new file takes over from the old.
Replaceable CanReplace(const NativePath& path, unsigned& mode);

} // namespace platform::os
