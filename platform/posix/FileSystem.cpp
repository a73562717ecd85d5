#include "platform/FileSystem.h"
#include "platform/OsFile.h"

#include "platform/posix/PathAt.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

using posix::PathAt;

namespace {

FileId IdOf(const struct stat& st)
{
    return { static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
}

bool StatAt(const NativePath& path, struct stat& st, int flags)
{
    const PathAt at(path);
    return at.Ok() && ::fstatat(at.Folder(), at.Name(), &st, flags) == 0;
}

// A folder opened for reading its entries, a path of any length.
DIR* OpenFolder(const NativePath& path)
{
    const PathAt at(path);
    if (!at.Ok()) {
        return nullptr;
    }
    const int fd = ::openat(at.Folder(), at.Name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
    }
    return dir;
}

// An entry that is gone, or a link that leads nowhere, is no entry at all.
bool Vanished(int error) { return error == ENOENT || error == ELOOP || error == ENOTDIR; }

class RealFileSystemObject final : public FileSystemObject {
public:
    std::optional<Folder> GetFolder(const NativePath& path) override
    {
        DIR* dir = OpenFolder(path);
        struct stat st { };
        if (dir == nullptr || ::fstat(::dirfd(dir), &st) != 0) {
            if (dir != nullptr) {
                ::closedir(dir);
            }
            return std::nullopt;
        }
        Folder result;
        result.id = IdOf(st);
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (entry == nullptr) {
                result.incomplete = errno != 0;
                break;
            }
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
                continue;
            }
            struct stat sub { };
            if (::fstatat(::dirfd(dir), entry->d_name, &sub, 0) != 0) {
                result.incomplete = result.incomplete || !Vanished(errno);
                continue;
            }
            if (S_ISDIR(sub.st_mode)) {
                result.subFolders.push_back({ NativePath(std::string(name)), IdOf(sub) });
            }
        }
        ::closedir(dir);
        return result;
    }
};

} // namespace

std::optional<FileId> IdentityOf(const NativePath& path)
{
    struct stat st { };
    if (!StatAt(path, st, 0)) {
        return std::nullopt;
    }
    return IdOf(st);
}

std::optional<FileStamp> StampOf(const NativePath& path)
{
    struct stat st { };
    if (!StatAt(path, st, 0)) {
        return std::nullopt;
    }
    return FileStamp { static_cast<std::uint64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec };
}

NativePath RealPath(const NativePath& path)
{
    // The kernel resolves a path in one walk and names what it found; realpath would look at
    // every prefix in turn, which in a tree a thousand levels deep costs a million lookups a level.
    const PathAt at(path);
    if (!at.Ok()) {
        return {};
    }
    const int fd = ::openat(at.Folder(), at.Name(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string link(1 << 16, '\0');
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), link.data(), link.size());
    ::close(fd);
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size() || link[0] != '/') {
        return {};
    }
    link.resize(static_cast<std::size_t>(n));
    return NativePath(std::move(link));
}

bool IsFolder(const NativePath& path)
{
    struct stat st { };
    return StatAt(path, st, 0) && S_ISDIR(st.st_mode);
}

bool IsInside(const NativePath& path, const NativePath& root)
{
    const std::string& p = path.Native();
    const std::string& r = root.Native();
    if (r.empty() || p.size() < r.size() || p.compare(0, r.size(), r) != 0) {
        return false;
    }
    return p.size() == r.size() || p[r.size()] == '/' || r.back() == '/';
}

bool MakeFolder(const NativePath& path)
{
    const PathAt at(path);
    return at.Ok() && ::mkdirat(at.Folder(), at.Name(), 0777) == 0;
}

bool RemoveFolder(const NativePath& path)
{
    const PathAt at(path);
    return at.Ok() && ::unlinkat(at.Folder(), at.Name(), AT_REMOVEDIR) == 0;
}

CopySlot InspectCopySlot(const NativePath& path, std::optional<FileId>* id)
{
    struct stat st { };
    if (!StatAt(path, st, AT_SYMLINK_NOFOLLOW)) {
        return errno == ENOENT ? CopySlot::Missing : CopySlot::InTheWay;
    }
    if (id != nullptr) {
        *id = IdOf(st);
    }
    // Without any write bit the file counts as read-only, even for root. A file with another name
    // (a hard link) is someone else's file too: writing the copy would write there.
    if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0
        || st.st_nlink > 1) {
        return CopySlot::InTheWay;
    }
    return CopySlot::Writable;
}

bool DeleteFile(const NativePath& path)
{
    const PathAt at(path);
    return at.Ok() && ::unlinkat(at.Folder(), at.Name(), 0) == 0;
}

struct FileLister::Impl {
    const NamePattern& pattern;
    DIR* dir = nullptr;
    bool failed = false;
};

FileLister::FileLister(const NativePath& folder, const NamePattern& pattern)
    : m_impl(std::make_unique<Impl>(Impl { pattern }))
{
    m_impl->dir = OpenFolder(folder);
    // A folder that is gone has no files to miss; one that is there but locked has.
    m_impl->failed = m_impl->dir == nullptr && !Vanished(errno);
}

FileLister::~FileLister()
{
    if (m_impl->dir != nullptr) {
        ::closedir(m_impl->dir);
    }
}

bool FileLister::Next(NativePath& name)
{
    if (m_impl->dir == nullptr) {
        return false;
    }
    for (;;) {
        errno = 0; // readdir tells its end from an error only by errno
        const dirent* entry = ::readdir(m_impl->dir);
        if (entry == nullptr) {
            break;
        }
        const std::string_view bytes = entry->d_name;
        // Names beginning with a dot are hidden, our temporaries among them.
        if (bytes.empty() || bytes.front() == '.' || entry->d_type == DT_DIR) {
            continue;
        }
        NativePath candidate { std::string(bytes) };
        if (!m_impl->pattern.Matches(candidate)) {
            continue;
        }
        // Only links and file systems that give no type need a look at the file itself.
        if (entry->d_type != DT_REG) {
            struct stat st { };
            if (::fstatat(::dirfd(m_impl->dir), entry->d_name, &st, 0) != 0) {
                m_impl->failed = m_impl->failed || !Vanished(errno);
                continue;
            }
            if (!S_ISREG(st.st_mode)) {
                continue;
            }
        }
        name = std::move(candidate);
        return true;
    }
    m_impl->failed = m_impl->failed || errno != 0;
    ::closedir(m_impl->dir);
    m_impl->dir = nullptr;
    return false;
}

bool FileLister::Failed() const { return m_impl->failed; }

std::unique_ptr<FileSystemObject> CreateFileSystemObject()
{
    return std::make_unique<RealFileSystemObject>();
}

unsigned long os::ProcessId() { return static_cast<unsigned long>(::getpid()); }

bool os::ProcessIsGone(unsigned long id)
{
    return ::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

bool RemoveLeftOverTemporaries(const NativePath& folder)
{
    DIR* dir = OpenFolder(folder);
    if (dir == nullptr) {
        return Vanished(errno);
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            ok = errno == 0;
            break;
        }
        if (IsLeftOverTemporary(NativePath(std::string(entry->d_name)))) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
    return ok;
}

} // namespace platform
