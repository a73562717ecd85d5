#pragma once

#include "platform/SysCalls.h"

namespace testing_support {

// Swapped system calls for one scope: the real ones are back however the scope ends, a failed
// assertion included.
class SysCallsGuard {
public:
    SysCallsGuard() = default;
    ~SysCallsGuard() { platform::Sys() = platform::RealSysCalls(); }
    SysCallsGuard(const SysCallsGuard&) = delete;
    SysCallsGuard& operator=(const SysCallsGuard&) = delete;
    platform::SysCalls* operator->() { return &platform::Sys(); }
};

} // namespace testing_support
