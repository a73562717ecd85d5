#include "platform/windows/Win32.h"

namespace platform::windows {

std::wstring ExtendedLength(std::wstring_view fullPath)
{
    if (fullPath.starts_with(L"\\\\?\\") || fullPath.starts_with(L"\\\\.\\")) {
        return std::wstring(fullPath);
    }
    if (fullPath.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + std::wstring(fullPath.substr(2));
    }
    return L"\\\\?\\" + std::wstring(fullPath);
}

std::wstring LongPath(const NativePath& path)
{
    const std::wstring& given = path.Native();
    if (given.starts_with(L"\\\\?\\") || given.starts_with(L"\\\\.\\")) {
        return given;
    }
    std::wstring full(given.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(
            given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) {
            return ExtendedLength(given);
        }
        if (n < full.size()) {
            full.resize(n);
            return ExtendedLength(full);
        }
        full.resize(n + 1);
    }
}

HANDLE OpenToInspect(const std::wstring& longPath, bool followLinks)
{
    // Backup semantics open folders too; no access beyond the attributes is asked for.
    const DWORD flags
        = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    return ::CreateFileW(longPath.c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
        nullptr);
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return { info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow };
}

FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    const std::uint64_t ticks
        = (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32)
        | info.ftLastWriteTime.dwLowDateTime;
    return { (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
        static_cast<std::int64_t>(ticks) };
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
        || error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME
        || error == ERROR_CANT_RESOLVE_FILENAME;
}

} // namespace platform::windows
