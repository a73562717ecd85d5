#pragma once

#include "platform/SysCalls.h"

namespace testing_support {

// Swapped system calls for one scope: the real ones are back however the scope ends, a failed
// assertion included. Within it a write of several pieces goes through write, piece by piece, so
// that a test swapping write sees every byte of a copy.
class SysCallsGuard {
public:
    SysCallsGuard()
    {
#ifndef _WIN32
        platform::Sys().writev = [](int fd, const struct iovec* pieces, int count) {
            ssize_t total = 0;
            for (int i = 0; i < count; ++i) {
                const ssize_t n = platform::Sys().write(fd, pieces[i].iov_base, pieces[i].iov_len);
                if (n < 0) {
                    return total > 0 ? total : n;
                }
                total += n;
                if (static_cast<std::size_t>(n) < pieces[i].iov_len) {
                    break;
                }
            }
            return total;
        };
#endif
    }
    ~SysCallsGuard() { platform::Sys() = platform::RealSysCalls(); }
    SysCallsGuard(const SysCallsGuard&) = delete;
    SysCallsGuard& operator=(const SysCallsGuard&) = delete;
    platform::SysCalls* operator->() { return &platform::Sys(); }
};

} // namespace testing_support
