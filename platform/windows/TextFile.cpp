#include "platform/TextFile.h"

#include "platform/OsFile.h"
#include "platform/SysCalls.h"
#include "platform/windows/Win32.h"

#include <fcntl.h>
#include <io.h>

namespace platform {

using windows::LongPath;

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// File times move by the system's clock tick: a file changed within this long before it was
// opened could change again without its time showing it.
bool SettledAt(const BY_HANDLE_FILE_INFORMATION& info)
{
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks
        = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return windows::StampOf(info).modified + 500'000 < static_cast<std::int64_t>(ticks); // 50 ms
}

} // namespace

bool InputFile::Open(const NativePath& path)
{
    Close();
    const int fd = Sys().open(LongPath(path).c_str(), OpenFor::Reading);
    if (fd < 0) {
        return false;
    }
    // Only a file on a disk is read: a device or a pipe under a file's name is not.
    BY_HANDLE_FILE_INFORMATION info {};
    if (::GetFileType(HandleOf(fd)) != FILE_TYPE_DISK
        || ::GetFileInformationByHandle(HandleOf(fd), &info) == 0
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Sys().close(fd);
        return false;
    }
    m_fd = fd;
    m_id = windows::IdOf(info);
    const FileStamp stamp = windows::StampOf(info);
    m_sizeAtOpen = stamp.size;
    m_modifiedAtOpen = stamp.modified;
    m_modeAtOpen = info.dwFileAttributes;
    m_settledAtOpen = SettledAt(info);
    m_path = path;
    return true;
}

bool InputFile::ChangedSinceOpen() const
{
    BY_HANDLE_FILE_INFORMATION now {};
    if (m_fd < 0 || ::GetFileInformationByHandle(HandleOf(m_fd), &now) == 0
        || windows::StampOf(now) != StampAtOpen()) {
        return true;
    }
    const std::optional<FileId> named = IdentityOf(m_path);
    return !named || !(*named == m_id);
}

bool InputFile::UntouchedSinceOpen() const
{
    // Opened again as the walk would open it: a file locked by another program since is not read.
    if (!m_settledAtOpen) {
        return false;
    }
    const int fd = Sys().open(LongPath(m_path).c_str(), OpenFor::Reading);
    if (fd < 0) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION now {};
    const bool same = ::GetFileInformationByHandle(HandleOf(fd), &now) != 0
        && windows::IdOf(now) == m_id && windows::StampOf(now) == StampAtOpen()
        && now.dwFileAttributes == m_modeAtOpen;
    Sys().close(fd);
    return same;
}

long InputFile::Read(char* buffer, std::size_t size)
{
    return static_cast<long>(Sys().read(m_fd, buffer, size));
}

long InputFile::ReadAt(char* buffer, std::size_t size, std::uint64_t offset)
{
    return static_cast<long>(Sys().pread(m_fd, buffer, size, static_cast<std::int64_t>(offset)));
}

// Every piece lies in the buffer: the system writes from one place per call.
void OutputFile::WritePieces() { WriteAll(m_buffer); }

void OutputFile::WriteAll(std::string_view bytes)
{
    std::size_t done = 0;
    while (!m_failed && done < bytes.size()) {
        const ssize_t n = Sys().write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            m_failed = true;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
}

// Windows has only the read-only attribute, and a read-only file is never replaced: a copy is
// always a plain writable file.
void OutputFile::SetPermissions(unsigned) { }

int os::CreateNewFile(const NativePath& path)
{
    return Sys().open(LongPath(path).c_str(), OpenFor::NewCopy);
}

int os::OpenScratchFile()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    wchar_t name[MAX_PATH] = {};
    if (length == 0 || length > MAX_PATH || ::GetTempFileNameW(folder, L"vdr", 0, name) == 0) {
        return -1;
    }
    const HANDLE handle = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ::DeleteFileW(name);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
    }
    return fd;
}

bool os::SyncToDisk(int fd) { return ::FlushFileBuffers(HandleOf(fd)) != 0; }

bool os::RenameOver(const NativePath& from, const NativePath& to)
{
    return Sys().rename(LongPath(from).c_str(), LongPath(to).c_str()) == 0;
}

// No interrupt on Windows leaves the process a moment to remove its temporary: the next run does.
void os::WatchTemporary(const NativePath&) { }

void os::ForgetTemporary() { }

os::Replaceable os::CanReplace(const NativePath& path, unsigned& mode)
{
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return windows::IsMissing(::GetLastError()) ? Replaceable::Missing : Replaceable::No;
    }
    mode = attributes;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0
        ? Replaceable::Yes
        : Replaceable::No;
}

} // namespace platform
