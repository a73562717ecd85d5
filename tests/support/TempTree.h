#pragma once

#include "platform/NativePath.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace testing_support {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& Root() const { return m_root; }
    std::filesystem::path Path(std::string_view relative) const { return m_root / relative; }
    // Writes the bytes, making the folders on the way.
    std::filesystem::path Write(std::string_view relative, std::string_view bytes) const;
    void MakeFolder(std::string_view relative) const;
    // A symbolic link at link to target (a junction for a folder where the system has no
    // symbolic links); false when the system can make neither.
    bool Link(std::string_view target, std::string_view link) const;
    // Hides a file the system's way: its name begins with a dot on Linux, which is all it takes;
    // Windows gives it the hidden attribute.
    void Hide(std::string_view relative) const;
    // Sets the files under relative an hour back, as in a tree nobody is editing: such files are
    // read ahead of the walk, while a file written just now is read at its turn.
    void Age(std::string_view relative) const;

private:
    std::filesystem::path m_root;
};

std::string ReadBytes(const std::filesystem::path& path);

// Every plain file under root, by path relative to root, with its bytes.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& root);

// Text to CP932 bytes, for writing test files in the files' own code page.
std::string Sjis(std::u16string_view text);

// Text as UTF-8, for messages and for names compared in tests.
std::string Utf8(std::u16string_view text);

// A path as the program takes it: UTF-16, with a trailing separator for a folder when asked.
std::u16string U16(const std::filesystem::path& path, bool folder = false);

// A path in the system's own form, with a trailing separator for a folder when asked.
platform::NativePath Native(const std::filesystem::path& path, bool folder = false);

} // namespace testing_support
