#include "platform/TextFile.h"

#include "platform/FileName.h"
#include "platform/SysCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform {

namespace {
    constexpr std::size_t kOutputBuffer = 1 << 18;
}

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::u16string& path)
{
    Close();
    // Non-blocking, so a name that turned into a pipe since it was listed cannot stall the walk.
    const int fd = Sys().open(EncodeFileName(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Sys().close(fd);
        return false;
    }
    m_fd = fd;
    m_id = { static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino) };
    m_sizeAtOpen = static_cast<std::uint64_t>(st.st_size);
    return true;
}

void InputFile::Close()
{
    if (m_fd >= 0) {
        Sys().close(m_fd);
        m_fd = -1;
    }
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

bool HasLoneCr(std::string_view bytes)
{
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        const int crs = _mm_movemask_epi8(_mm_cmpeq_epi8(here, cr));
        const int lfs = _mm_movemask_epi8(_mm_cmpeq_epi8(next, lf));
        if ((crs & ~lfs) != 0) {
            return true;
        }
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\r' && (i + 1 == n || p[i + 1] != '\n')) {
            return true;
        }
    }
    return false;
}

std::size_t WholeLinesEnd(std::string_view bytes)
{
    // A CR as the last byte read may yet be followed by its LF: only the CRs before it count.
    if (bytes.size() < 2) {
        return std::string_view::npos;
    }
    const void* cr = memrchr(bytes.data(), '\r', bytes.size() - 1);
    if (cr == nullptr) {
        return std::string_view::npos;
    }
    std::size_t cut = static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data()) + 1;
    if (bytes[cut] == '\n') {
        ++cut;
    }
    return cut;
}

LineBlockReader::LineBlockReader(InputFile& file, std::string& buffer, std::size_t blockSize)
    : m_file(file)
    , m_buffer(buffer)
{
    if (m_buffer.size() < blockSize) {
        m_buffer.resize(blockSize < 16 ? 16 : blockSize);
    }
}

bool LineBlockReader::Next(std::string_view& block)
{
    for (;;) {
        if (m_begin < m_end) {
            const char* data = m_buffer.data();
            std::size_t cut = m_end;
            if (!m_eof) {
                const std::size_t whole
                    = WholeLinesEnd(std::string_view(data + m_begin, m_end - m_begin));
                cut = whole == std::string_view::npos ? std::string::npos : m_begin + whole;
            }
            if (cut != std::string::npos) {
                block = std::string_view(data + m_begin, cut - m_begin);
                m_blockOffset = m_bufferOffset + m_begin;
                m_begin = cut;
                return true;
            }
        } else if (m_eof) {
            return false;
        }
        if (m_failed) {
            return false;
        }
        // Keep the unfinished line, grow only when it fills the whole buffer.
        if (m_begin > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
            m_bufferOffset += m_begin;
            m_end -= m_begin;
            m_begin = 0;
        }
        if (m_end == m_buffer.size()) {
            m_buffer.resize(m_buffer.size() * 2);
        }
        const long n = m_file.Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (n < 0) {
            m_failed = true;
            return false;
        }
        if (n == 0) {
            m_eof = true;
        }
        m_end += static_cast<std::size_t>(n);
    }
}

bool LineCursor::Next(std::string_view& line, std::size_t& lineStart)
{
    if (position >= block.size()) {
        return false;
    }
    lineStart = position;
    const void* cr = std::memchr(block.data() + position, '\r', block.size() - position);
    if (cr == nullptr) {
        line = block.substr(position);
        position = block.size();
        return true;
    }
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(cr) - block.data());
    line = block.substr(position, end - position);
    position = end + 1;
    if (position < block.size() && block[position] == '\n') {
        ++position;
    }
    return true;
}

LineReader::LineReader(InputFile& file)
    : m_blocks(file, m_buffer, 1 << 16)
{
}

bool LineReader::ReadLine(std::string& line)
{
    std::string_view view;
    std::size_t start = 0;
    while (!m_cursor.Next(view, start)) {
        std::string_view block;
        if (!m_blocks.Next(block)) {
            return false;
        }
        m_cursor = LineCursor { block, 0 };
    }
    line.assign(view);
    return true;
}

OutputFile::~OutputFile()
{
    if (m_fd >= 0) {
        Sys().close(m_fd);
    }
}

bool OutputFile::Create(const std::u16string& path)
{
    m_failed = false;
    m_buffer.clear();
    // Emptied only once it is known to be a plain file of one name: a hard link planted at the
    // copy's name must not empty the file it shares.
    m_fd = Sys().open(EncodeFileName(path).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (m_fd < 0) {
        return false;
    }
    // An empty file is not truncated: ext4 takes a truncation to zero for a file being replaced
    // and writes the whole new copy to disk when it is closed, which would cost the walk the
    // disk's time for every copy.
    struct stat st {};
    if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1
        || (st.st_size != 0 && ftruncate(m_fd, 0) != 0)) {
        Sys().close(m_fd);
        m_fd = -1;
        return false;
    }
    m_buffer.reserve(kOutputBuffer);
    return true;
}

void OutputFile::Write(std::string_view bytes)
{
    if (m_failed) {
        return;
    }
    if (m_buffer.size() + bytes.size() > kOutputBuffer) {
        Flush();
        if (bytes.size() >= kOutputBuffer / 4) {
            WriteAll(bytes); // large pieces go out without a copy
            return;
        }
    }
    m_buffer.append(bytes);
}

void OutputFile::WriteRecord(std::string_view record)
{
    Write(record);
    Write("\r\n");
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

void OutputFile::Flush()
{
    WriteAll(m_buffer);
    m_buffer.clear();
}

bool OutputFile::Close()
{
    if (m_fd < 0) {
        return false;
    }
    Flush();
    if (Sys().close(m_fd) != 0) {
        m_failed = true;
    }
    m_fd = -1;
    return !m_failed;
}

} // namespace platform
