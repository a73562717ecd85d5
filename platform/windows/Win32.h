#pragma once

#include "platform/FileSystem.h"

#include <windows.h>
// The system's macro would rename our own DeleteFile in this file only.
#undef DeleteFile

#include <string>
#include <string_view>

namespace platform::windows {

// The \\?\ form of a full path, which reaches past MAX_PATH and takes every name as it is:
// C:\a becomes \\?\C:\a, \\server\share\a becomes \\?\UNC\server\share\a.
std::wstring ExtendedLength(std::wstring_view fullPath);

// Any path the program was given, made full against the working folder (separators, "." and
// ".." resolved) and put in the \\?\ form.
std::wstring LongPath(const NativePath& path);

// A handle that closes itself.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE)
        : m_handle(handle)
    {
    }
    ~Handle()
    {
        if (Valid()) {
            ::CloseHandle(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Opens a file or folder only to look at it; links are followed unless asked not to.
HANDLE OpenToInspect(const std::wstring& longPath, bool followLinks = true);

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info);
// Its size and last write time, the time in the system's 100-nanosecond ticks since 1601: they
// need 63 bits already and are never scaled to nanoseconds.
FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info);

// An error that means the name is not there (any more), rather than that it could not be read.
bool IsMissing(DWORD error);

} // namespace platform::windows
