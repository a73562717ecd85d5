#include "platform/TextFile.h"

#include "platform/OsFile.h"
#include "platform/SysCalls.h"
#include "platform/posix/PathAt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform {

namespace {

std::int64_t ModifiedNs(const struct stat& st)
{
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::int64_t StatusChangedNs(const struct stat& st)
{
    return static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
}

std::uint64_t ModeAndOwner(const struct stat& st)
{
    return (static_cast<std::uint64_t>(st.st_uid) << 32) | st.st_mode;
}

// File times move by the system's clock tick, a few milliseconds: a file written within this long
// before it was opened could be written again without its time showing it. (A change of its
// permissions or owner shows in themselves.)
constexpr std::int64_t kSettleNs = 50'000'000;

FileId IdOf(const struct stat& st)
{
    return { static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
}

bool StatNamed(const NativePath& path, struct stat& st)
{
    const posix::PathAt at(path);
    return at.Ok() && ::fstatat(at.Folder(), at.Name(), &st, 0) == 0;
}

// The file at a name is the one opened, with the bytes it had then, as far as its size and
// modification time tell.
bool SameFileAndBytes(const struct stat& now, FileId id, std::uint64_t size, std::int64_t modified)
{
    return IdOf(now) == id && static_cast<std::uint64_t>(now.st_size) == size
        && ModifiedNs(now) == modified;
}

bool SettledAt(const struct stat& st)
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t nowNs = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return ModifiedNs(st) + kSettleNs < nowNs;
}

// The temporary being written, for the interrupt handlers: a fixed buffer, as a handler may
// not allocate. A path too long for it is left to the next run, which removes it.
char pendingTemporary[PATH_MAX];
std::atomic<bool> hasPending { false };
constexpr int kInterrupts[] = { SIGINT, SIGTERM, SIGHUP };
struct sigaction previousAction[std::size(kInterrupts)];

void OnInterrupt(int signal)
{
    if (hasPending.load()) {
        ::unlink(pendingTemporary);
    }
    for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
        if (kInterrupts[i] == signal) {
            ::sigaction(signal, &previousAction[i], nullptr);
        }
    }
    ::raise(signal);
}

} // namespace

void os::WatchTemporary(const NativePath& path)
{
    static const bool installed = [] {
        for (std::size_t i = 0; i < std::size(kInterrupts); ++i) {
            struct sigaction action { };
            action.sa_handler = OnInterrupt;
            sigemptyset(&action.sa_mask);
            ::sigaction(kInterrupts[i], nullptr, &previousAction[i]);
            // A signal the process was told to ignore (nohup) stays ignored.
            if (previousAction[i].sa_handler != SIG_IGN) {
                ::sigaction(kInterrupts[i], &action, nullptr);
            }
        }
        return true;
    }();
    (void)installed;
    hasPending.store(false);
    if (path.Size() < sizeof pendingTemporary) {
        std::memcpy(pendingTemporary, path.CStr(), path.Size() + 1);
        hasPending.store(true);
    }
}

void os::ForgetTemporary() { hasPending.store(false); }

int os::CreateNewFile(const NativePath& path)
{
    const posix::PathAt at(path);
    return at.Ok() ? Sys().open(at.Folder(), at.Name(),
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666)
                   : -1;
}

int os::OpenScratchFile()
{
    const char* folder = std::getenv("TMPDIR");
    const std::string temporary = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    const int fd = ::open(temporary.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    // Where the file system has no unnamed files, a named one that is removed at once.
    std::string name = temporary + "/vandor-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) {
        ::unlink(name.c_str());
    }
    return named;
}

bool os::SyncToDisk(int fd) { return ::fsync(fd) == 0; }

bool os::RenameOver(const NativePath& from, const NativePath& to)
{
    const posix::PathAt source(from);
    const posix::PathAt target(to);
    return source.Ok() && target.Ok()
        && Sys().rename(source.Folder(), source.Name(), target.Folder(), target.Name()) == 0;
}

os::Replaceable os::CanReplace(const NativePath& path, unsigned& mode)
{
    struct stat st { };
    const posix::PathAt at(path);
    if (!at.Ok() || ::fstatat(at.Folder(), at.Name(), &st, 0) != 0) {
        return at.Ok() && errno == ENOENT ? Replaceable::Missing : Replaceable::No;
    }
    mode = static_cast<unsigned>(st.st_mode);
    return S_ISREG(st.st_mode) && ::faccessat(at.Folder(), at.Name(), W_OK, 0) == 0
        ? Replaceable::Yes
        : Replaceable::No;
}

bool InputFile::Open(const NativePath& path)
{
    Close();
    // Non-blocking, so a name that turned into a pipe since it was listed cannot stall the walk.
    const posix::PathAt at(path);
    const int fd = at.Ok()
        ? Sys().open(at.Folder(), at.Name(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0)
        : -1;
    if (fd < 0) {
        return false;
    }
    struct stat st { };
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Sys().close(fd);
        return false;
    }
    m_fd = fd;
    m_id = IdOf(st);
    m_sizeAtOpen = static_cast<std::uint64_t>(st.st_size);
    m_modifiedAtOpen = ModifiedNs(st);
    m_statusChangedAtOpen = StatusChangedNs(st);
    m_modeAtOpen = ModeAndOwner(st);
    m_settledAtOpen = SettledAt(st);
    m_path = path;
    return true;
}

bool InputFile::ChangedSinceOpen() const
{
    // The name looked up once: while it still names the file that is open, its status is that
    // file's, so one call tells both whether the file was replaced and whether it was written.
    struct stat now { };
    return m_fd < 0 || !StatNamed(m_path, now)
        || !SameFileAndBytes(now, m_id, m_sizeAtOpen, m_modifiedAtOpen);
}

bool InputFile::UntouchedSinceOpen() const
{
    struct stat now { };
    return m_settledAtOpen && StatNamed(m_path, now)
        && SameFileAndBytes(now, m_id, m_sizeAtOpen, m_modifiedAtOpen)
        && StatusChangedNs(now) == m_statusChangedAtOpen && ModeAndOwner(now) == m_modeAtOpen;
}

long InputFile::Read(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = Sys().read(m_fd, buffer, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(n);
    }
}

long InputFile::ReadAt(char* buffer, std::size_t size, std::uint64_t offset)
{
    for (;;) {
        const ssize_t n = Sys().pread(m_fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(n);
    }
}

void OutputFile::WriteAll(std::string_view bytes)
{
    std::size_t done = 0;
    while (!m_failed && done < bytes.size()) {
        const ssize_t n = Sys().write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_failed = true;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
}

// Pieces of the copy that lie in different places go out in one call; a short write goes on
// from the byte it stopped at.
void OutputFile::WritePieces()
{
    std::vector<iovec> pieces;
    pieces.reserve(m_pieces.size());
    std::size_t owned = 0;
    for (const Piece& piece : m_pieces) {
        const char* at = piece.at != nullptr ? piece.at : m_buffer.data() + owned;
        if (piece.at == nullptr) {
            owned += piece.size;
        }
        // writev of nothing gives 0, which would read as a failed write.
        if (piece.size != 0) {
            pieces.push_back({ const_cast<char*>(at), piece.size });
        }
    }
    std::size_t first = 0;
    while (!m_failed && first < pieces.size()) {
        const ssize_t n = Sys().writev(m_fd, pieces.data() + first,
            static_cast<int>(std::min<std::size_t>(pieces.size() - first, IOV_MAX)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_failed = true;
            break;
        }
        auto done = static_cast<std::size_t>(n);
        while (first < pieces.size() && done >= pieces[first].iov_len) {
            done -= pieces[first++].iov_len;
        }
        if (done != 0) {
            pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + done;
            pieces[first].iov_len -= done;
        }
    }
}

void OutputFile::SetPermissions(unsigned mode)
{
    if (m_fd >= 0 && ::fchmod(m_fd, static_cast<mode_t>(mode & 07777)) != 0) {
        m_failed = true;
    }
}

} // namespace platform
