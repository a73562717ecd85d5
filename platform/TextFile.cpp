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
    if (m_failed || m_fd < 0) {
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

void OutputFile::Flush()
{
    WriteAll(m_buffer);
    m_buffer.clear();
}

} // namespace platform
