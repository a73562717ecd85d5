#include "platform/Memory.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {
namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;

std::size_t RoundUp(std::size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

} // namespace

void GiveBackFreeMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

std::uint64_t AvailableMemory()
{
    // The kernel's own estimate counts the page cache it would drop; the free pages alone would
    // refuse a definition on any machine that has read a few files.
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit) {
        if (key == "MemAvailable:") {
            return kib * 1024;
        }
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0
        ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
        : 0;
}

void* AllocateBlock(std::size_t size)
{
    if (size < kLargePage) {
        return std::malloc(size == 0 ? 1 : size);
    }
    // Mapped one large page more than asked, so that the block can start on a large page's
    // boundary; the slack on either side goes back at once.
    const std::size_t rounded = RoundUp(size);
    void* mapped = mmap(
        nullptr, rounded + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePage - 1) & ~(kLargePage - 1);
    if (aligned > start) {
        munmap(mapped, aligned - start);
    }
    if (const std::size_t tail = start + kLargePage - aligned; tail > 0) {
        munmap(static_cast<char*>(mapped) + (aligned - start) + rounded, tail);
    }
    void* block = static_cast<char*>(mapped) + (aligned - start);
#ifdef MADV_HUGEPAGE
    madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return block;
}

void ReleaseBlock(void* block, std::size_t size)
{
    if (block == nullptr) {
        return;
    }
    if (size < kLargePage) {
        std::free(block);
    } else {
        munmap(block, RoundUp(size));
    }
}

} // namespace platform
