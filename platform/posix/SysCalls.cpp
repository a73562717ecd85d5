#include "platform/SysCalls.h"

#include "platform/Memory.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace platform {
namespace {

int OpenFile(int folder, const char* name, int flags, mode_t mode)
{
    return ::openat(folder, name, flags, mode);
}

constexpr SysCalls kReal { OpenFile, ::read, ::pread, ::write, ::writev, ::close, ::renameat,
    AvailableMemory, AllocateBlock, ReleaseBlock };

} // namespace

SysCalls& Sys()
{
    static SysCalls calls = kReal;
    return calls;
}

const SysCalls& RealSysCalls() { return kReal; }

} // namespace platform
