#include "platform/FileSystem.h"

#include "platform/FileName.h"
#include "platform/LowerCase.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

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
    // Without any write bit the file counts as read-only, even for root.
    if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
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
};

FileLister::FileLister(const std::u16string& folder, std::u16string pattern)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->folder = WithSlash(folder);
    m_impl->pattern = std::move(pattern);
    m_impl->dir = opendir(m_impl->folder.c_str());
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
    while (const dirent* entry = readdir(m_impl->dir)) {
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
    closedir(m_impl->dir);
    m_impl->dir = nullptr;
    return false;
}

std::unique_ptr<FileSystemObject> CreateFileSystemObject() { return std::make_unique<RealFileSystemObject>(); }

} // namespace platform
