#include "platform/TextFile.h"

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
