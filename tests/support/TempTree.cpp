#include "tests/support/TempTree.h"

#include "platform/Cp932.h"
#include "platform/FileName.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

// A path relative to a snapshot's root, with forward slashes and names in UTF-8 on every system.
std::string Key(const std::filesystem::path& path)
{
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

} // namespace

TempTree::TempTree()
{
    // A new name until one is free: create_directory tells whether it made the folder.
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path root = base / ("vandor-test-" + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(root, error)) {
            m_root = root;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
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
            files[Key(std::filesystem::relative(it->path(), root)) + " -> link"] = "";
            if (it->is_directory(ignored)) {
                it.disable_recursion_pending();
            }
        } else if (it->is_regular_file(ignored)) {
            files[Key(std::filesystem::relative(it->path(), root))] = ReadBytes(it->path());
        } else if (it->is_directory(ignored)) {
            files[Key(std::filesystem::relative(it->path(), root)) + "/"] = "";
        }
    }
    return files;
}

std::string Sjis(std::u16string_view text) { return platform::EncodeCp932(text); }

std::string Utf8(std::u16string_view text) { return platform::EncodeFileName(text); }

std::u16string U16(const std::filesystem::path& path, bool folder)
{
    return Native(path, folder).Text();
}

platform::NativePath Native(const std::filesystem::path& path, bool folder)
{
    platform::NativeString native = path.native();
    if (folder && (native.empty() || native.back() != platform::NativeSeparator)) {
        native.push_back(platform::NativeSeparator);
    }
    return platform::NativePath(native);
}

} // namespace testing_support
