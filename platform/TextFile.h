#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A file opened for reading only. Only plain files open; a folder, a pipe or a device does not.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const NativePath& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    FileId Id() const { return m_id; }
    // The size when opened; the file may since have grown or shrunk.
    std::uint64_t SizeAtOpen() const { return m_sizeAtOpen; }
    FileStamp StampAtOpen() const { return { m_sizeAtOpen, m_modifiedAtOpen }; }
    // Bytes read, 0 at the end, -1 on an error. ReadAt reads at an offset and leaves the position
    // that Read goes on from as it was, so one thread may read the file in order while another
    // reads it at offsets (POSIX's pread; on Windows, a read at an offset that puts the position
    // back, which no read of the process comes between).
    long Read(char* buffer, std::size_t size);
    long ReadAt(char* buffer, std::size_t size, std::uint64_t offset);
    // Its size or modification time differ from those at open, or its name now names another
    // file: what was read may be torn.
    bool ChangedSinceOpen() const;
    // Its name still names this file and nothing was done to it since it was opened: the same
    // size, times, permissions and owner. Asked after Close too. False also for a file written
    // so shortly before it was opened that a change since could have left its times as they were.
    bool UntouchedSinceOpen() const;

private:
    int m_fd = -1;
    NativePath m_path;
    FileId m_id;
    std::uint64_t m_sizeAtOpen = 0;
    std::int64_t m_modifiedAtOpen = 0; // as FileStamp::modified
    std::int64_t m_statusChangedAtOpen = 0; // nanoseconds; permissions and owner move it too
    std::uint64_t m_modeAtOpen = 0; // permissions and owner, or attributes
    bool m_settledAtOpen = false; // last written well before it was opened
};

// True when a CR is not followed by LF. The bytes never end between the two of a CR LF.
bool HasLoneCr(std::string_view bytes);

// Where the whole lines in bytes read so far end, when more may follow: just after the last
// terminator that is complete (CR LF, or a lone CR that is not the last byte); npos when none.
std::size_t WholeLinesEnd(std::string_view bytes);

// A copy being written. It is written under a temporary name in its own folder and takes its
// name only when whole, so a killed run never leaves a shorter file under a copy's name and an
// older copy stays as it was until then. Every failure sticks.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts the copy that is to be called name in folder.
    bool Create(const NativePath& folder, const NativePath& name);
    void Write(std::string_view bytes);
    // Bytes that stay where they are, unchanged, until the next Flush: where the system writes
    // from several places in one call, they are not copied.
    void WriteInPlace(std::string_view bytes);
    // Hands everything written so far to the system.
    void Flush();
    // Gives the copy the permissions of a file it replaces (the mode bits as stat gives them).
    void SetPermissions(unsigned mode);
    // Gives the copy its name, replacing what is there; durable, it is on the disk first. False
    // when a byte was lost or the name could not be taken; nothing of the copy is left then.
    bool Commit(bool durable = false);
    // Removes what was written.
    void Abandon();
    bool IsOpen() const { return m_fd >= 0; }
    bool Failed() const { return m_failed; }

private:
    static constexpr std::size_t kOutputBuffer = 1 << 18;
#ifdef _WIN32
    static constexpr bool kGathers = false;
#else
    static constexpr bool kGathers = true;
#endif
    // Pieces shorter than this are copied: one more place to write from costs about as much.
    static constexpr std::size_t kSmallestInPlace = 512;
    static constexpr std::size_t kMostPieces = 256;

    // What is to be written, in order: borrowed bytes, or (at nullptr) the next bytes of m_buffer.
    struct Piece {
        const char* at;
        std::size_t size;
    };

    void WritePieces();
    void WriteAll(std::string_view bytes);
    void CloseTemporary();
    // The copy's temporary name and buffers let go, written or removed.
    void Forget();

    int m_fd = -1;
    bool m_failed = false;
    NativePath m_temporary;
    NativePath m_final;
    std::string m_buffer;
    std::vector<Piece> m_pieces;
};

// Replaces the whole file at path (a link is followed) the same way, durably, keeping the
// permissions of the file it replaces. False, with the old file as it was, when the file is not a
// writable plain file or the new one could not be written whole. Temporaries that killed writers
// left in its folder are removed.
bool ReplaceWholeFile(const NativePath& path, std::string_view bytes);

} // namespace platform
