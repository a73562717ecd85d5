#pragma once

#include <sys/types.h>
#ifndef _WIN32
#include <sys/uio.h>
#endif

#include <cstddef>
#include <cstdint>

namespace platform {

// The system calls that move file contents and give copies their names, and those that say how
// much memory there is and give the blocks of large tables. Tests swap entries to inject failures
// (a full disk, a failing close, a file changed between two reads, a machine without memory)
// without needing a broken disk or a small machine.
#ifdef _WIN32
// Files are the C runtime's descriptors over the system's handles; paths are in the \\?\ form.
enum class OpenFor { Reading, NewCopy };
struct SysCalls {
    int (*open)(const wchar_t* path, OpenFor purpose);
    ssize_t (*read)(int fd, void* buffer, std::size_t size);
    ssize_t (*pread)(int fd, void* buffer, std::size_t size, std::int64_t offset);
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    int (*close)(int fd);
    int (*rename)(const wchar_t* from, const wchar_t* to);
    std::uint64_t (*availableMemory)();
    void* (*allocate)(std::size_t size);
    void (*release)(void* block, std::size_t size);
};
#else
// Names are opened relative to a folder, as the *at calls do.
struct SysCalls {
    int (*open)(int folder, const char* name, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, std::size_t size);
    ssize_t (*pread)(int fd, void* buffer, std::size_t size, off_t offset);
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    ssize_t (*writev)(int fd, const struct iovec* pieces, int count);
    int (*close)(int fd);
    int (*rename)(int fromFolder, const char* from, int toFolder, const char* to);
    std::uint64_t (*availableMemory)();
    void* (*allocate)(std::size_t size);
    void (*release)(void* block, std::size_t size);
};
#endif

SysCalls& Sys();
const SysCalls& RealSysCalls();

} // namespace platform
