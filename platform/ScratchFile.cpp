#include "platform/ScratchFile.h"

#include "platform/OsFile.h"
#include "platform/SysCalls.h"

namespace platform {

ScratchFile::~ScratchFile()
{
    if (m_fd >= 0) {
        Sys().close(m_fd);
    }
}

bool ScratchFile::Append(std::string_view bytes, std::uint64_t& at)
{
    if (m_fd < 0 && !m_failed) {
        m_fd = os::OpenScratchFile();
        m_failed = m_fd < 0;
    }
    for (std::size_t done = 0; !m_failed && done < bytes.size();) {
        const auto n = Sys().write(m_fd, bytes.data() + done, bytes.size() - done);
        m_failed = n <= 0;
        done += m_failed ? 0 : static_cast<std::size_t>(n);
    }
    // A piece written in part leaves the end unknown: nothing more is appended after it.
    if (m_failed) {
        return false;
    }
    at = m_size;
    m_size += bytes.size();
    return true;
}

bool ScratchFile::ReadAt(char* buffer, std::size_t size, std::uint64_t at)
{
    if (m_fd < 0 || at > m_size || m_size - at < size) {
        return false;
    }
    for (std::size_t got = 0; got < size;) {
        const auto n
            = Sys().pread(m_fd, buffer + got, size - got, static_cast<std::int64_t>(at + got));
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace platform
