#include "platform/SysCalls.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

    int OpenFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

    constexpr SysCalls kReal { OpenFile, ::read, ::pread, ::write, ::close };

} // namespace

SysCalls& Sys()
{
    static SysCalls calls = kReal;
    return calls;
}

const SysCalls& RealSysCalls() { return kReal; }

} // namespace platform
