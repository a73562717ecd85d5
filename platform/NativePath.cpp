#include "platform/NativePath.h"

#include "platform/FileName.h"

namespace platform {

NativePath NativePath::FromText(std::u16string_view text)
{
#ifdef _WIN32
    return NativePath(NativeString(text.begin(), text.end()));
#else
    return NativePath(EncodeFileName(text));
#endif
}

std::u16string NativePath::Text() const
{
#ifdef _WIN32
    return std::u16string(m_native.begin(), m_native.end());
#else
    return DecodeFileName(m_native);
#endif
}

} // namespace platform
