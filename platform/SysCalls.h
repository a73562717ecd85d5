#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform {

// The system calls that move file contents. Tests swap entries to inject failures (a full disk,
// a failing close) without needing a broken disk.
struct SysCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, std::size_t size);
    ssize_t (*pread)(int fd, void* buffer, std::size_t size, off_t offset);
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    int (*close)(int fd);
};

SysCalls& Sys();
const SysCalls& RealSysCalls();

} // namespace platform
