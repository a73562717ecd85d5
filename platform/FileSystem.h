#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Identity of a file or folder, to tell the same object under two names.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};

// Identity of what a path names, links followed.
std::optional<FileId> IdentityOf(const std::u16string& path);
// The path with every link and "." or ".." resolved; empty when it cannot be resolved.
std::u16string RealPath(const std::u16string& path);
bool IsFolder(const std::u16string& path);

// Creates one folder level; fails when it exists already or its parent is missing.
bool MakeFolder(const std::u16string& path);
bool RemoveFolder(const std::u16string& path); // only an empty folder

enum class CopySlot {
    Missing,   // nothing there
    Writable,  // a plain file we may overwrite or delete
    InTheWay,  // a link, a folder, a read-only file or something else we must leave alone
};
// What is at the path where a copy goes (links not followed).
CopySlot InspectCopySlot(const std::u16string& path, std::optional<FileId>* id = nullptr);
bool DeleteFile(const std::u16string& path);

// Case-insensitive wildcard match: '*' any run, '?' one character; "" and "*.*" match everything.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

// Streams the names of the plain files of a folder that a pattern selects, in the file system's
// order. Hidden files (names beginning with a dot) and anything that is not a plain file are left
// out; a link to a plain file is listed.
class FileLister {
public:
    FileLister(const std::u16string& folder, std::u16string pattern);
    ~FileLister();
    FileLister(const FileLister&) = delete;
    FileLister& operator=(const FileLister&) = delete;
    bool Next(std::u16string& name);
    // The folder is there but could not be read, or not to its end: files may have been missed.
    bool Failed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

struct SubFolder {
    std::u16string Name;
    FileId id;
};

struct Folder {
    FileId id;
    std::vector<SubFolder> subFolders; // every subfolder, hidden ones too; never "." or ".."
};

// Our stand-in for the scripting file-system object.
class FileSystemObject {
public:
    virtual ~FileSystemObject() = default;
    // Empty when the folder cannot be found.
    virtual std::optional<Folder> GetFolder(const std::u16string& path) = 0;
};

std::unique_ptr<FileSystemObject> CreateFileSystemObject();

} // namespace platform
