#include "tests/support/TempTree.h"

#include "platform/Cp932.h"
#include "platform/FileName.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempTree::TempTree()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vandor-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    m_root = pattern;
}

TempTree::~TempTree()
{
    std::error_code ignored;
    // Folders a test made unreadable must be opened again before they can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             m_root, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(m_root, ignored);
}

std::filesystem::path TempTree::Write(std::string_view relative, std::string_view bytes) const
{
    const std::filesystem::path path = m_root / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

void TempTree::MakeFolder(std::string_view relative) const
{
    std::filesystem::create_directories(m_root / relative);
}

std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::map<std::string, std::string> Snapshot(const std::filesystem::path& root)
{
    std::map<std::string, std::string> files;
    std::error_code ignored;
    if (!std::filesystem::exists(root, ignored)) {
        return files;
    }
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_symlink(ignored)) {
            files[std::filesystem::relative(it->path(), root).string() + " -> link"] = "";
            if (it->is_directory(ignored)) {
                it.disable_recursion_pending();
            }
        } else if (it->is_regular_file(ignored)) {
            files[std::filesystem::relative(it->path(), root).string()] = ReadBytes(it->path());
        } else if (it->is_directory(ignored)) {
            files[std::filesystem::relative(it->path(), root).string() + "/"] = "";
        }
    }
    return files;
}

std::string Sjis(std::u16string_view text) { return platform::EncodeCp932(text); }

std::u16string U16(const std::filesystem::path& path, bool folder)
{
    std::u16string text = platform::DecodeFileName(path.string());
    if (folder && (text.empty() || text.back() != u'/')) {
        text.push_back(u'/');
    }
    return text;
}

platform::NativePath Native(const std::filesystem::path& path, bool folder)
{
    std::string native = path.native();
    if (folder && (native.empty() || native.back() != '/')) {
        native.push_back('/');
    }
    return platform::NativePath(native);
}

} // namespace testing_support
