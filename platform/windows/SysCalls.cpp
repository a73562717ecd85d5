#include "platform/SysCalls.h"

#include "platform/Memory.h"
#include "platform/windows/Win32.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <mutex>

namespace platform {
namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

int OpenFile(const wchar_t* path, OpenFor purpose)
{
    // Others may read, write or rename a file we read, as they could while nobody reads it; a
    // copy being written is ours alone.
    const HANDLE handle = purpose == OpenFor::Reading
        ? ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
        : ::CreateFileW(
            path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle),
        (purpose == OpenFor::Reading ? _O_RDONLY : _O_WRONLY) | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
    }
    return fd;
}

// One call moves at most what a DWORD counts.
DWORD Piece(std::size_t size) { return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)); }

// A read at an offset moves the file position on Windows, and puts it back after: a read from the
// position on another thread (the read-ahead) must not come in between.
std::mutex positionLock;

ssize_t ReadFile(int fd, void* buffer, std::size_t size)
{
    const std::lock_guard lock(positionLock);
    DWORD got = 0;
    if (::ReadFile(HandleOf(fd), buffer, Piece(size), &got, nullptr) == 0) {
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<ssize_t>(got);
}

// Reads at an offset and leaves the file position where it was, as pread does.
ssize_t ReadFileAt(int fd, void* buffer, std::size_t size, std::int64_t offset)
{
    const std::lock_guard lock(positionLock);
    const HANDLE handle = HandleOf(fd);
    LARGE_INTEGER zero {};
    LARGE_INTEGER position {};
    if (::SetFilePointerEx(handle, zero, &position, FILE_CURRENT) == 0) {
        return -1;
    }
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    const bool ok = ::ReadFile(handle, buffer, Piece(size), &got, &at) != 0
        || ::GetLastError() == ERROR_HANDLE_EOF;
    ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    return ok ? static_cast<ssize_t>(got) : -1;
}

ssize_t WriteFile(int fd, const void* data, std::size_t size)
{
    DWORD put = 0;
    if (::WriteFile(HandleOf(fd), data, Piece(size), &put, nullptr) == 0) {
        return -1;
    }
    return static_cast<ssize_t>(put);
}

int CloseFile(int fd) { return ::_close(fd); }

int RenameFile(const wchar_t* from, const wchar_t* to)
{
    return ::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) != 0 ? 0 : -1;
}

constexpr SysCalls kReal { OpenFile, ReadFile, ReadFileAt, WriteFile, CloseFile, RenameFile,
    AvailableMemory, AllocateBlock, ReleaseBlock };

} // namespace

SysCalls& Sys()
{
    static SysCalls calls = kReal;
    return calls;
}

const SysCalls& RealSysCalls() { return kReal; }

} // namespace platform
