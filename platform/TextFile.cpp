#include "platform/TextFile.h"

#include "platform/OsFile.h"
#include "platform/SysCalls.h"

namespace platform {

InputFile::~InputFile() { Close(); }

void InputFile::Close()
{
    if (m_fd >= 0) {
        Sys().close(m_fd);
        m_fd = -1;
    }
}

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Create(const NativePath& folder, const NativePath& name)
{
    Abandon();
    m_failed = false;
    m_buffer.clear();
    m_pieces.clear();
    m_temporary = folder + TemporaryName();
    m_final = folder + name;
    // Watched before it exists, so an interrupt at any moment leaves nothing behind.
    os::WatchTemporary(m_temporary);
    m_fd = os::CreateNewFile(m_temporary);
    if (m_fd < 0) {
        os::ForgetTemporary();
        return false;
    }
    m_buffer.reserve(kOutputBuffer);
    return true;
}

bool OutputFile::Commit(bool durable)
{
    if (m_fd < 0) {
        return false;
    }
    Flush();
    if (durable && !m_failed && !os::SyncToDisk(m_fd)) {
        m_failed = true;
    }
    CloseTemporary();
    // A rename onto a name that does not exist yet does not make ext4 write the data out at once,
    // which a rename over an older copy (like a truncation) does.
    if (!m_failed) {
        m_failed = !os::RenameOver(m_temporary, m_final);
    }
    if (m_failed) {
        DeleteFile(m_temporary);
    }
    Forget();
    return !m_failed;
}

void OutputFile::Abandon()
{
    if (m_fd < 0) {
        return;
    }
    CloseTemporary();
    DeleteFile(m_temporary);
    Forget();
}

void OutputFile::Forget()
{
    os::ForgetTemporary();
    m_temporary = {};
    m_buffer = {};
    m_pieces = {};
}

bool ReplaceWholeFile(const NativePath& path, std::string_view bytes)
{
    NativePath target = RealPath(path);
    if (target.Empty()) {
        target = path; // nothing there yet, or a link that leads nowhere: replaced itself
    }
    unsigned mode = 0;
    // A read-only file stays as it is, as the platform's profile functions leave it.
    const os::Replaceable replaceable = os::CanReplace(target, mode);
    if (replaceable == os::Replaceable::No) {
        return false;
    }
    const std::size_t separator = target.Native().find_last_of(os::kSeparators);
    const NativePath folder(separator == NativeString::npos
            ? NativeString()
            : target.Native().substr(0, separator + 1));
    const NativePath name(
        target.Native().substr(separator == NativeString::npos ? 0 : separator + 1));
    RemoveLeftOverTemporaries(folder.Empty() ? NativePath::FromText(u".") : folder);
    OutputFile file;
    if (!file.Create(folder, name)) {
        return false;
    }
    if (replaceable == os::Replaceable::Yes) {
        file.SetPermissions(mode);
    }
    file.Write(bytes);
    return file.Commit(true);
}

void OutputFile::CloseTemporary()
{
    if (m_fd >= 0) {
        if (Sys().close(m_fd) != 0) {
            m_failed = true;
        }
        m_fd = -1;
    }
}

// A copy's bytes gather in one buffer and go to the system in large writes.
void OutputFile::Write(std::string_view bytes)
{
    if (m_failed || m_fd < 0 || bytes.empty()) {
        return;
    }
    if (m_buffer.size() + bytes.size() > kOutputBuffer) {
        Flush();
        if (bytes.size() >= kOutputBuffer / 4) {
            WriteAll(bytes); // large pieces go out without a copy
            return;
        }
    }
    if (m_pieces.empty() || m_pieces.back().at != nullptr) {
        m_pieces.push_back({ nullptr, 0 });
    }
    m_pieces.back().size += bytes.size();
    m_buffer.append(bytes);
}

void OutputFile::WriteInPlace(std::string_view bytes)
{
    if (!kGathers || bytes.size() < kSmallestInPlace) {
        Write(bytes);
        return;
    }
    if (m_failed || m_fd < 0) {
        return;
    }
    if (m_pieces.size() == kMostPieces) {
        Flush();
    }
    m_pieces.push_back({ bytes.data(), bytes.size() });
}

void OutputFile::Flush()
{
    if (!m_pieces.empty()) {
        WritePieces();
    }
    m_pieces.clear();
    m_buffer.clear();
}

} // namespace platform
