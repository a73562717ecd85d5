#include "platform/posix/PathAt.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform::posix {

PathAt::PathAt(const NativePath& path)
{
    const std::string& full = path.Native();
    if (full.size() < PATH_MAX) {
        m_name = full.c_str();
        return;
    }
    // The last name, a trailing separator kept with it.
    std::size_t last = full.find_last_of('/', full.size() >= 2 ? full.size() - 2 : 0);
    if (last == std::string::npos) {
        m_name = full.c_str();
        return;
    }
    m_rest = full.substr(last + 1);
    // The folder part, opened in pieces that each fit the limit, every piece ending at a separator.
    std::size_t at = 0;
    int folder = AT_FDCWD;
    while (at <= last) {
        std::size_t end = last + 1;
        if (end - at >= PATH_MAX) {
            end = full.rfind('/', at + PATH_MAX - 2);
            if (end == std::string::npos || end < at) {
                errno = ENAMETOOLONG; // one name longer than the limit
                m_ok = false;
                break;
            }
            ++end;
        }
        const std::string piece = full.substr(at, end - at);
        const int next = ::openat(folder, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder != AT_FDCWD) {
            const int saved = errno;
            ::close(folder);
            errno = saved;
        }
        if (next < 0) {
            m_ok = false;
            folder = AT_FDCWD;
            break;
        }
        folder = next;
        at = end;
    }
    if (m_ok) {
        m_folder = folder;
        m_owned = folder;
    }
    m_name = m_rest.c_str();
}

PathAt::~PathAt()
{
    if (m_owned >= 0) {
        ::close(m_owned);
    }
}

} // namespace platform::posix
