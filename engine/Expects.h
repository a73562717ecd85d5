#pragma once

#include <cstdio>
#include <cstdlib>

// A precondition of the engine's own, checked in builds with the tests (VANDOR_CHECKED): a call
// that breaks it ends the program there, where the fault is, rather than somewhere later.
#ifdef VANDOR_CHECKED
#define VANDOR_EXPECTS(condition)                                                                  \
    ((condition) ? void(0) : ::engine::BrokenPrecondition(#condition, __FILE__, __LINE__))
#else
#define VANDOR_EXPECTS(condition) void(0)
#endif

namespace engine {

[[noreturn]] inline void BrokenPrecondition(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: precondition broken: %s\n", file, line, condition);
    std::abort();
}

} // namespace engine
