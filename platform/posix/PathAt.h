#pragma once

#include "platform/NativePath.h"

#include <fcntl.h>

#include <string>

namespace platform::posix {

// Where a path's last name lies, for the *at system calls: a folder and the name in it. A path
// longer than the system's limit is reached one piece at a time, so no length is too long.
class PathAt {
public:
    explicit PathAt(const NativePath& path);
    ~PathAt();
    PathAt(const PathAt&) = delete;
    PathAt& operator=(const PathAt&) = delete;

    // False when the folder on the way could not be opened; errno tells why.
    bool Ok() const { return m_ok; }
    int Folder() const { return m_folder; }
    const char* Name() const { return m_name; }

private:
    int m_folder = AT_FDCWD;
    int m_owned = -1;
    const char* m_name = nullptr;
    std::string m_rest;
    bool m_ok = true;
};

} // namespace platform::posix
