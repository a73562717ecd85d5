#include "platform/NativePath.h"

#include "platform/FileName.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<long> conversions { 0 };
}

NativePath NativePath::FromText(std::u16string_view text)
{
    conversions.fetch_add(1, std::memory_order_relaxed);
#ifdef _WIN32
    return NativePath(NativeString(text.begin(), text.end()));
#else
    return NativePath(EncodeFileName(text));
#endif
}

std::u16string NativePath::Text() const
{
    conversions.fetch_add(1, std::memory_order_relaxed);
#ifdef _WIN32
    return std::u16string(m_native.begin(), m_native.end());
#else
    return DecodeFileName(m_native);
#endif
}

long PathConversions() { return conversions.load(); }

} // namespace platform
