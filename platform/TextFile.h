#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A file opened for reading only. Only plain files open; a folder, a pipe or a device does not.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Open(const std::u16string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    FileId Id() const { return m_id; }
    // The size when opened; the file may since have grown or shrunk.
    std::uint64_t SizeAtOpen() const { return m_sizeAtOpen; }
    // Bytes read, 0 at the end, -1 on an error.
    long Read(char* buffer, std::size_t size);
    long ReadAt(char* buffer, std::size_t size, std::uint64_t offset);

private:
    int m_fd = -1;
    FileId m_id;
    std::uint64_t m_sizeAtOpen = 0;
};

// True when a CR is not followed by LF. The bytes never end between the two of a CR LF.
bool HasLoneCr(std::string_view bytes);

// Where the whole lines in bytes read so far end, when more may follow: just after the last
// terminator that is complete (CR LF, or a lone CR that is not the last byte); npos when none.
std::size_t WholeLinesEnd(std::string_view bytes);

// Hands out the input in blocks of whole lines: a block ends just after a line terminator (CR LF or
// a lone CR), or at the end of the file. CR and LF never occur as the second byte of a double-byte
// character, so lines can be split before decoding. Memory grows with the longest line only.
class LineBlockReader {
public:
    // The buffer is the caller's, so one allocation serves every file of a walk.
    LineBlockReader(InputFile& file, std::string& buffer, std::size_t blockSize = 1 << 20);
    // False at the end of the input or on a read error (see Failed).
    bool Next(std::string_view& block);
    bool Failed() const { return m_failed; }
    // The block last handed out ends the file.
    bool LastBlock() const { return m_eof && m_begin == m_end; }
    // Offset in the file of the block last handed out.
    std::uint64_t BlockOffset() const { return m_blockOffset; }

private:
    InputFile& m_file;
    std::string& m_buffer;
    std::size_t m_begin = 0; // start of the bytes not handed out yet
    std::size_t m_end = 0;   // end of the bytes read
    std::uint64_t m_bufferOffset = 0;
    std::uint64_t m_blockOffset = 0;
    bool m_eof = false;
    bool m_failed = false;
};

// Splits a block into lines: a line ends at CR LF or a lone CR, a lone LF stays inside; a final
// piece without terminator is a line, and no empty line follows a final terminator.
struct LineCursor {
    std::string_view block;
    std::size_t position = 0;
    // On true, line holds the line without its terminator and lineStart its offset in the block.
    bool Next(std::string_view& line, std::size_t& lineStart);
};

// Reads a source file line by line; the convenience form of LineBlockReader.
class LineReader {
public:
    explicit LineReader(InputFile& file);
    bool ReadLine(std::string& line);
    bool Failed() const { return m_blocks.Failed(); }

private:
    std::string m_buffer;
    LineBlockReader m_blocks;
    LineCursor m_cursor;
};

// A copy being written. Output never follows a link at its own name. Every failure sticks: Close
// reports whether every byte reached the file.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file, or empties an existing plain file of that name.
    bool Create(const std::u16string& path);
    void Write(std::string_view bytes);
    // Writes the record followed by CR LF.
    void WriteRecord(std::string_view record);
    bool Close();
    bool IsOpen() const { return m_fd >= 0; }
    bool Failed() const { return m_failed; }

private:
    void Flush();
    void WriteAll(std::string_view bytes);

    int m_fd = -1;
    bool m_failed = false;
    std::string m_buffer;
};

} // namespace platform
