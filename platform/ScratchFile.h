#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

// A file in the system's temporary folder that no name leads to and that goes when it is closed
// or the process ends: room on disk for what a run would otherwise keep in memory. It is made
// when first written to. Appends come from one thread at a time, and reads after them.
class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // The bytes added at the end, at says where; false when the file could not be made or
    // written, and then it is not written again.
    bool Append(std::string_view bytes, std::uint64_t& at);
    // size bytes from at, all of them, or false.
    bool ReadAt(char* buffer, std::size_t size, std::uint64_t at);

private:
    int m_fd = -1;
    bool m_failed = false;
    std::uint64_t m_size = 0;
};

} // namespace platform
