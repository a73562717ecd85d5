#include "platform/FileSystem.h"
#include "platform/OsFile.h"

#include "platform/windows/Win32.h"

#include <atomic>
#include <cwchar>
#include <string>

namespace platform {

using windows::Handle;
using windows::IdOf;
using windows::IsMissing;
using windows::LongPath;

namespace {

bool InfoOf(const std::wstring& longPath, BY_HANDLE_FILE_INFORMATION& info, bool followLinks = true)
{
    const Handle handle(windows::OpenToInspect(longPath, followLinks));
    return handle.Valid() && ::GetFileInformationByHandle(handle.Get(), &info) != 0;
}

bool IsDotName(const wchar_t* name)
{
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// The entries of one folder, fetched in large batches with the short names left out.
class FolderEntries {
public:
    explicit FolderEntries(const NativePath& folder)
        : m_folder(LongPath(folder))
    {
        if (!m_folder.empty() && m_folder.back() != L'\\') {
            m_folder += L'\\';
        }
        m_find = ::FindFirstFileExW((m_folder + L'*').c_str(), FindExInfoBasic, &m_data,
            FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (m_find == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            // A drive root holds no "." entry, so an empty one finds nothing at all.
            m_failed = error != ERROR_FILE_NOT_FOUND && !IsMissing(error);
            m_opened = error == ERROR_FILE_NOT_FOUND;
        } else {
            m_opened = true;
            m_pending = true;
        }
    }
    ~FolderEntries()
    {
        if (m_find != INVALID_HANDLE_VALUE) {
            ::FindClose(m_find);
        }
    }
    FolderEntries(const FolderEntries&) = delete;
    FolderEntries& operator=(const FolderEntries&) = delete;

    // The folder was found (it may be empty).
    bool Opened() const { return m_opened; }
    // It could not be read, or not to its end.
    bool Failed() const { return m_failed; }
    const std::wstring& LongFolder() const { return m_folder; }

    // The next entry other than "." and "..", or null at the end.
    const WIN32_FIND_DATAW* Next()
    {
        while (m_find != INVALID_HANDLE_VALUE) {
            if (!m_pending) {
                if (::FindNextFileW(m_find, &m_data) == 0) {
                    m_failed = m_failed || ::GetLastError() != ERROR_NO_MORE_FILES;
                    ::FindClose(m_find);
                    m_find = INVALID_HANDLE_VALUE;
                    return nullptr;
                }
            }
            m_pending = false;
            if (!IsDotName(m_data.cFileName)) {
                return &m_data;
            }
        }
        return nullptr;
    }

private:
    std::wstring m_folder;
    HANDLE m_find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW m_data {};
    bool m_pending = false;
    bool m_opened = false;
    bool m_failed = false;
};

class RealFileSystemObject final : public FileSystemObject {
public:
    std::optional<Folder> GetFolder(const NativePath& path) override
    {
        BY_HANDLE_FILE_INFORMATION self {};
        if (!InfoOf(LongPath(path), self)
            || (self.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return std::nullopt;
        }
        FolderEntries entries(path);
        if (!entries.Opened()) {
            return std::nullopt;
        }
        Folder result;
        result.id = IdOf(self);
        while (const WIN32_FIND_DATAW* entry = entries.Next()) {
            // Every subfolder counts, hidden and system ones too; a junction or a link to a
            // folder is walked as the folder it leads to.
            if ((entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                continue;
            }
            BY_HANDLE_FILE_INFORMATION sub {};
            if (!InfoOf(entries.LongFolder() + entry->cFileName, sub)) {
                result.incomplete = result.incomplete || !IsMissing(::GetLastError());
                continue;
            }
            if ((sub.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                result.subFolders.push_back({ NativePath(entry->cFileName), IdOf(sub) });
            }
        }
        result.incomplete = result.incomplete || entries.Failed();
        return result;
    }
};

} // namespace

std::optional<FileId> IdentityOf(const NativePath& path)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!InfoOf(LongPath(path), info)) {
        return std::nullopt;
    }
    return IdOf(info);
}

std::optional<FileStamp> StampOf(const NativePath& path)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!InfoOf(LongPath(path), info)) {
        return std::nullopt;
    }
    return windows::StampOf(info);
}

NativePath RealPath(const NativePath& path)
{
    const Handle handle(windows::OpenToInspect(LongPath(path)));
    if (!handle.Valid()) {
        return {};
    }
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFinalPathNameByHandleW(handle.Get(), final.data(),
            static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) {
            return {};
        }
        if (n < final.size()) {
            final.resize(n);
            break;
        }
        final.resize(n + 1);
    }
    // Back to the form a person writes: \\?\C:\a is C:\a, \\?\UNC\server\share is \\server\share.
    if (final.starts_with(L"\\\\?\\UNC\\")) {
        final = L"\\\\" + final.substr(8);
    } else if (final.starts_with(L"\\\\?\\")) {
        final.erase(0, 4);
    }
    return NativePath(std::move(final));
}

bool IsFolder(const NativePath& path)
{
    BY_HANDLE_FILE_INFORMATION info {};
    return InfoOf(LongPath(path), info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsInside(const NativePath& path, const NativePath& root)
{
    const std::wstring& p = path.Native();
    const std::wstring& r = root.Native();
    if (r.empty() || p.size() < r.size()
        || ::CompareStringOrdinal(
               p.data(), static_cast<int>(r.size()), r.data(), static_cast<int>(r.size()), TRUE)
            != CSTR_EQUAL) {
        return false;
    }
    return p.size() == r.size() || p[r.size()] == L'\\' || r.back() == L'\\';
}

bool MakeFolder(const NativePath& path)
{
    return ::CreateDirectoryW(LongPath(path).c_str(), nullptr) != 0;
}

bool RemoveFolder(const NativePath& path)
{
    return ::RemoveDirectoryW(LongPath(path).c_str()) != 0;
}

CopySlot InspectCopySlot(const NativePath& path, std::optional<FileId>* id)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!InfoOf(LongPath(path), info, false)) {
        return IsMissing(::GetLastError()) ? CopySlot::Missing : CopySlot::InTheWay;
    }
    if (id != nullptr) {
        *id = IdOf(info);
    }
    // A read-only file, a folder, a junction or a link is left alone; so is a file with another
    // name (a hard link): writing the copy would write there.
    constexpr DWORD kInTheWay
        = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
    if ((info.dwFileAttributes & kInTheWay) != 0 || info.nNumberOfLinks > 1) {
        return CopySlot::InTheWay;
    }
    return CopySlot::Writable;
}

bool DeleteFile(const NativePath& path) { return ::DeleteFileW(LongPath(path).c_str()) != 0; }

struct FileLister::Impl {
    const NamePattern& pattern;
    FolderEntries entries;
    bool failed = false;
};

FileLister::FileLister(const NativePath& folder, const NamePattern& pattern)
    : m_impl(new Impl { pattern, FolderEntries(folder) })
{
    m_impl->failed = m_impl->entries.Failed();
}

FileLister::~FileLister() = default;

bool FileLister::Next(NativePath& name)
{
    constexpr DWORD kLeftOut
        = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    while (const WIN32_FIND_DATAW* entry = m_impl->entries.Next()) {
        if ((entry->dwFileAttributes & kLeftOut) != 0) {
            continue;
        }
        NativePath candidate { NativeString(entry->cFileName) };
        if (IsTemporaryName(candidate) || !m_impl->pattern.Matches(candidate)) {
            continue;
        }
        // A link is listed when it leads to a plain file.
        if ((entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            BY_HANDLE_FILE_INFORMATION info {};
            if (!InfoOf(m_impl->entries.LongFolder() + entry->cFileName, info)) {
                m_impl->failed = m_impl->failed || !IsMissing(::GetLastError());
                continue;
            }
            if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                continue;
            }
        }
        name = std::move(candidate);
        return true;
    }
    m_impl->failed = m_impl->failed || m_impl->entries.Failed();
    return false;
}

bool FileLister::Failed() const { return m_impl->failed; }

std::unique_ptr<FileSystemObject> CreateFileSystemObject()
{
    return std::make_unique<RealFileSystemObject>();
}

unsigned long os::ProcessId() { return ::GetCurrentProcessId(); }

bool os::ProcessIsGone(unsigned long pid)
{
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    DWORD code = 0;
    const bool ended = ::GetExitCodeProcess(process, &code) != 0 && code != STILL_ACTIVE;
    ::CloseHandle(process);
    return ended;
}

bool RemoveLeftOverTemporaries(const NativePath& folder)
{
    FolderEntries entries(folder);
    while (const WIN32_FIND_DATAW* entry = entries.Next()) {
        if (IsLeftOverTemporary(NativePath(entry->cFileName))) {
            ::DeleteFileW((entries.LongFolder() + entry->cFileName).c_str());
        }
    }
    return !entries.Failed();
}

} // namespace platform
