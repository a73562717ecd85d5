#include "platform/FileSystem.h"

#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace platform {
namespace {

    FileId IdOf(const struct stat& st)
    {
        return { static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
    }

    std::string WithSlash(const std::u16string& folder)
    {
        std::string bytes = EncodeFileName(folder);
        if (bytes.empty() || bytes.back() != '/') {
            bytes.push_back('/');
        }
        return bytes;
    }

    bool MatchFrom(std::u16string_view pattern, std::u16string_view name)
    {
        // Iterative with one backtrack point: linear in practice, never exponential.
        std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
        while (n < name.size()) {
            if (p < pattern.size() && pattern[p] == u'*') {
                starP = p++;
                starN = n;
            } else if (p < pattern.size()
                && (pattern[p] == u'?' || LowerCaseUnit(pattern[p]) == LowerCaseUnit(name[n]))) {
                ++p;
                ++n;
            } else if (starP != std::u16string_view::npos) {
                p = starP + 1;
                n = ++starN;
            } else {
                return false;
            }
        }
        while (p < pattern.size() && pattern[p] == u'*') {
            ++p;
        }
        return p == pattern.size();
    }

    class RealFileSystemObject final : public FileSystemObject {
    public:
        std::optional<Folder> GetFolder(const std::u16string& path) override
        {
            const std::string folder = WithSlash(path);
            struct stat st {};
            if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                return std::nullopt;
            }
            DIR* dir = opendir(folder.c_str());
            if (dir == nullptr) {
                return std::nullopt;
            }
            Folder result;
            result.id = IdOf(st);
            while (const dirent* entry = readdir(dir)) {
                const std::string_view name = entry->d_name;
                if (name == "." || name == "..") {
                    continue;
                }
                if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
                    continue;
                }
                struct stat sub {};
                if (stat((folder + entry->d_name).c_str(), &sub) != 0 || !S_ISDIR(sub.st_mode)) {
                    continue;
                }
                result.subFolders.push_back({ DecodeFileName(name), IdOf(sub) });
            }
            closedir(dir);
            return result;
        }
    };

} // namespace

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    struct stat st {};
    if (stat(EncodeFileName(path).c_str(), &st) != 0) {
        return std::nullopt;
    }
    return IdOf(st);
}

std::u16string RealPath(const std::u16string& path)
{
    // The kernel resolves a path in one walk; realpath looks at every prefix in turn, which in a
    // tree a thousand levels deep costs a million lookups for each level.
    const int fd = open(EncodeFileName(path).c_str(), O_PATH | O_CLOEXEC);
    if (fd >= 0) {
        char link[PATH_MAX];
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = readlink(self.c_str(), link, sizeof link);
        close(fd);
        if (n > 0 && static_cast<std::size_t>(n) < sizeof link && link[0] == '/') {
            return DecodeFileName(std::string_view(link, static_cast<std::size_t>(n)));
        }
    }
    char* resolved = realpath(EncodeFileName(path).c_str(), nullptr);
    if (resolved == nullptr) {
        return {};
    }
    std::u16string result = DecodeFileName(resolved);
    std::free(resolved);
    return result;
}

bool IsFolder(const std::u16string& path)
{
    struct stat st {};
    return stat(EncodeFileName(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::u16string& path) { return mkdir(EncodeFileName(path).c_str(), 0777) == 0; }

bool RemoveFolder(const std::u16string& path) { return rmdir(EncodeFileName(path).c_str()) == 0; }

CopySlot InspectCopySlot(const std::u16string& path, std::optional<FileId>* id)
{
    struct stat st {};
    if (lstat(EncodeFileName(path).c_str(), &st) != 0) {
        return errno == ENOENT ? CopySlot::Missing : CopySlot::InTheWay;
    }
    if (id != nullptr) {
        *id = IdOf(st);
    }
    // Without any write bit the file counts as read-only, even for root. A file with another name
    // (a hard link) is someone else's file too: writing the copy would write there.
    if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || st.st_nlink > 1) {
        return CopySlot::InTheWay;
    }
    return CopySlot::Writable;
}

bool DeleteFile(const std::u16string& path) { return unlink(EncodeFileName(path).c_str()) == 0; }

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name)
{
    if (pattern.empty() || pattern == u"*.*") {
        return true;
    }
    return MatchFrom(pattern, name);
}

struct FileLister::Impl {
    std::string folder;
    std::u16string pattern;
    DIR* dir = nullptr;
    bool failed = false;
};

FileLister::FileLister(const std::u16string& folder, std::u16string pattern)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->folder = WithSlash(folder);
    m_impl->pattern = std::move(pattern);
    m_impl->dir = opendir(m_impl->folder.c_str());
    // A folder that is gone has no files to miss; one that is there but locked has.
    m_impl->failed = m_impl->dir == nullptr && errno != ENOENT && errno != ENOTDIR;
}

FileLister::~FileLister()
{
    if (m_impl->dir != nullptr) {
        closedir(m_impl->dir);
    }
}

bool FileLister::Next(std::u16string& name)
{
    if (m_impl->dir == nullptr) {
        return false;
    }
    for (;;) {
        errno = 0; // readdir tells its end from an error only by errno
        const dirent* entry = readdir(m_impl->dir);
        if (entry == nullptr) {
            break;
        }
        const std::string_view bytes = entry->d_name;
        if (bytes.empty() || bytes.front() == '.') {
            continue;
        }
        if (entry->d_type == DT_DIR) {
            continue;
        }
        std::u16string candidate = DecodeFileName(bytes);
        if (!WildcardMatch(m_impl->pattern, candidate)) {
            continue;
        }
        // Only links and file systems that give no type need a look at the file itself.
        if (entry->d_type != DT_REG) {
            struct stat st {};
            if (stat((m_impl->folder + entry->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
                continue;
            }
        }
        name = std::move(candidate);
        return true;
    }
    m_impl->failed = errno != 0;
    closedir(m_impl->dir);
    m_impl->dir = nullptr;
    return false;
}

bool FileLister::Failed() const { return m_impl->failed; }

std::unique_ptr<FileSystemObject> CreateFileSystemObject() { return std::make_unique<RealFileSystemObject>(); }

} // namespace platform
