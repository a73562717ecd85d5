#include "tests/support/TempTree.h"

#include "platform/Cp932.h"
#include "platform/FileName.h"
#include "platform/LowerCase.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

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
    std::filesystem::path base = std::filesystem::temp_directory_path();
#ifdef _WIN32
    // The program takes Windows paths in lower case; so does every path a test builds on this.
    base = platform::LowerCase(base.u16string());
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path root
            = base / ("vandor-test-" + std::to_string(random() % 1000000000));
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

#ifdef _WIN32
namespace {

// A junction: a folder whose reparse point names the folder it stands for.
bool MakeJunction(const std::filesystem::path& target, const std::filesystem::path& link)
{
    const std::wstring substitute = L"\\??\\" + std::filesystem::absolute(target).wstring();
    const std::wstring print = std::filesystem::absolute(target).wstring();
    const std::size_t names = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
    struct Header {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
    };
    std::vector<char> buffer(sizeof(Header) + names);
    Header header { IO_REPARSE_TAG_MOUNT_POINT, static_cast<WORD>(8 + names), 0, 0,
        static_cast<WORD>(substitute.size() * sizeof(wchar_t)),
        static_cast<WORD>((substitute.size() + 1) * sizeof(wchar_t)),
        static_cast<WORD>(print.size() * sizeof(wchar_t)) };
    std::memcpy(buffer.data(), &header, sizeof header);
    std::memcpy(buffer.data() + sizeof header, substitute.c_str(),
        (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(buffer.data() + sizeof header + (substitute.size() + 1) * sizeof(wchar_t),
        print.c_str(), (print.size() + 1) * sizeof(wchar_t));
    if (!CreateDirectoryW(link.c_str(), nullptr)) {
        return false;
    }
    const HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD ignored = 0;
    const bool made = handle != INVALID_HANDLE_VALUE
        && DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
            static_cast<DWORD>(buffer.size()), nullptr, 0, &ignored, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    if (!made) {
        RemoveDirectoryW(link.c_str());
    }
    return made;
}

} // namespace
#endif

bool TempTree::Link(std::string_view target, std::string_view link) const
{
    const std::filesystem::path from = std::filesystem::path(Path(target)).make_preferred();
    const std::filesystem::path at = std::filesystem::path(Path(link)).make_preferred();
#ifdef _WIN32
    const bool folder = std::filesystem::is_directory(from);
    constexpr DWORD kUnprivileged = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (CreateSymbolicLinkW(
            at.c_str(), from.c_str(), (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | kUnprivileged)
        && std::filesystem::is_symlink(at)) {
        return true;
    }
    return folder && MakeJunction(from, at);
#else
    if (std::filesystem::is_directory(from)) {
        std::filesystem::create_directory_symlink(from, at);
    } else {
        std::filesystem::create_symlink(from, at);
    }
    return true;
#endif
}

void TempTree::Hide([[maybe_unused]] std::string_view relative) const
{
#ifdef _WIN32
    const std::filesystem::path path = std::filesystem::path(Path(relative)).make_preferred();
    SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
#endif
}

void TempTree::Age(std::string_view relative) const
{
    const auto then = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Path(relative))) {
        if (entry.is_regular_file()) {
            std::filesystem::last_write_time(entry.path(), then);
        }
    }
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
    // Written with forward slashes in the tests; on Windows the system's own are backslashes.
    platform::NativeString native = std::filesystem::path(path).make_preferred().native();
    if (folder && (native.empty() || native.back() != platform::NativeSeparator)) {
        native.push_back(platform::NativeSeparator);
    }
    return platform::NativePath(native);
}

} // namespace testing_support
