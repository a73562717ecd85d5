#include "platform/Memory.h"

#include <cstdlib>
#include <malloc.h>
#include <windows.h>

namespace platform {

void GiveBackFreeMemory() { ::_heapmin(); }

std::uint64_t AvailableMemory()
{
    MEMORYSTATUSEX status {};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
}

// Large pages need a privilege that users lack: a block is plain committed memory.
void* AllocateBlock(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void ReleaseBlock(void* block, std::size_t) { std::free(block); }

} // namespace platform
