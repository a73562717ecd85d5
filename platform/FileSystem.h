#pragma once

#include "platform/NativePath.h"

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
std::optional<FileId> IdentityOf(const NativePath& path);

// A file's size and last write time, to tell whether it was written since: the time is in the
// system's own unit (nanoseconds on POSIX, 100-nanosecond ticks on Windows) and only compared.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// The stamp of what a path names, links followed.
std::optional<FileStamp> StampOf(const NativePath& path);
// The path with every link and "." or ".." resolved; empty when it cannot be resolved.
NativePath RealPath(const NativePath& path);
bool IsFolder(const NativePath& path);
// Whether one path lies inside the other (or is it); both resolved. Case is ignored where the
// file system ignores it.
bool IsInside(const NativePath& path, const NativePath& root);

// Creates one folder level; fails when it exists already or its parent is missing.
bool MakeFolder(const NativePath& path);
bool RemoveFolder(const NativePath& path); // only an empty folder

enum class CopySlot {
    Missing, // nothing there
    Writable, // a plain file we may overwrite or delete
    InTheWay, // a link, a folder, a read-only file or something else we must leave alone
};
// What is at the path where a copy goes (links not followed).
CopySlot InspectCopySlot(const NativePath& path, std::optional<FileId>* id = nullptr);
bool DeleteFile(const NativePath& path);

// A file-name pattern: '*' any run, '?' one character, letters compared without regard to case;
// "" and "*.*" select everything.
class NamePattern {
public:
    explicit NamePattern(std::u16string_view pattern);
    bool Matches(const NativePath& name) const;

private:
    std::u16string m_text;
    NativeString m_native; // compared as it is when both it and the name allow
    bool m_everything = false;
    bool m_nativeCompare = false;
};

// Case-insensitive wildcard match on text: '*' any run, '?' one character.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

// Streams the names of the plain files of a folder that a pattern selects, in the file system's
// order. Hidden files (names beginning with a dot; on Windows the hidden or system attribute),
// our own temporaries and anything that is not a plain file are left out; a link to a plain
// file is listed.
class FileLister {
public:
    FileLister(const NativePath& folder, const NamePattern& pattern);
    ~FileLister();
    FileLister(const FileLister&) = delete;
    FileLister& operator=(const FileLister&) = delete;
    bool Next(NativePath& name);
    // The folder is there but could not be read, or not to its end, or an entry in it could not
    // be looked at: files may have been missed.
    bool Failed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

struct SubFolder {
    NativePath Name;
    FileId id;
};

struct Folder {
    FileId id;
    std::vector<SubFolder> subFolders; // every subfolder, hidden ones too; never "." or ".."
    bool incomplete = false; // an entry could not be looked at: a subfolder may be missing
};

// Our stand-in for the scripting file-system object.
class FileSystemObject {
public:
    virtual ~FileSystemObject() = default;
    // Empty when the folder cannot be found.
    virtual std::optional<Folder> GetFolder(const NativePath& path) = 0;
};

std::unique_ptr<FileSystemObject> CreateFileSystemObject();

// Copies are written under a temporary name in their own folder and renamed when whole. A
// temporary's name tells the process that wrote it; one whose writer is gone was left by a
// killed run.
NativePath TemporaryName();
bool IsTemporaryName(const NativePath& name);
bool IsLeftOverTemporary(const NativePath& name);
// Removes the temporaries that killed runs left in a folder; false when the folder could not be
// read.
bool RemoveLeftOverTemporaries(const NativePath& folder);

} // namespace platform
