#include "platform/TextFile.h"

namespace platform {

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
