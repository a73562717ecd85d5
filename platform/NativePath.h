#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace platform {

#ifdef _WIN32
using NativeChar = wchar_t;
inline constexpr NativeChar NativeSeparator = L'\\';
#else
using NativeChar = char;
inline constexpr NativeChar NativeSeparator = '/';
#endif
using NativeString = std::basic_string<NativeChar>;
using NativeStringView = std::basic_string_view<NativeChar>;

// A path or an entry name in the operating system's own form: on Linux the bytes that readdir
// gives, on Windows UTF-16. The walk extends a folder path by one entry name at a time, joined
// directly as its folder paths end in a separator; a path becomes text only where a person sees
// it (the boxes, the status line, the report).
class NativePath {
public:
    NativePath() = default;
    explicit NativePath(NativeString native)
        : m_native(std::move(native))
    {
    }

    // A path as the user gave it.
    static NativePath FromText(std::u16string_view text);
    // The path as text; on Linux, bytes that are not UTF-8 come back as escape units.
    std::u16string Text() const;

    const NativeString& Native() const { return m_native; }
    const NativeChar* CStr() const { return m_native.c_str(); }
    bool Empty() const { return m_native.empty(); }
    std::size_t Size() const { return m_native.size(); }

    NativePath operator+(const NativePath& name) const
    {
        return NativePath(m_native + name.m_native);
    }
    NativePath operator+(NativeChar c) const { return NativePath(m_native + c); }
    friend bool operator==(const NativePath&, const NativePath&) = default;

private:
    NativeString m_native;
};

} // namespace platform
