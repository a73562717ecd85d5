#include "platform/FileSystem.h"
#include "platform/LowerCase.h"

namespace platform {

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name)
{
    if (pattern.empty() || pattern == u"*.*") {
        return true;
    }
    // Iterative with one backtrack point: linear in practice, never exponential.
    std::size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size()
            && (pattern[p] == u'?' || LowerCaseUnit(pattern[p]) == LowerCaseUnit(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

namespace {

bool IsAscii(NativeStringView text)
{
    for (const NativeChar c : text) {
        if (static_cast<std::make_unsigned_t<NativeChar>>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

NativeChar FoldAscii(NativeChar c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<NativeChar>(c | 0x20) : c;
}

// The same rules on the name's own units. Only for an ASCII pattern without '?': then a
// unit of the name that is not ASCII can only ever meet a '*'.
bool NativeMatch(NativeStringView pattern, NativeStringView name)
{
    std::size_t p = 0, n = 0, starP = NativeStringView::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && FoldAscii(pattern[p]) == FoldAscii(name[n])) {
            ++p;
            ++n;
        } else if (starP != NativeStringView::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

NamePattern::NamePattern(std::u16string_view pattern)
    : m_text(pattern)
    , m_everything(pattern.empty() || pattern == u"*.*")
{
    const NativePath native = NativePath::FromText(pattern);
    m_nativeCompare = IsAscii(native.Native()) && pattern.find(u'?') == std::u16string_view::npos;
    if (m_nativeCompare) {
        m_native = native.Native();
    }
}

bool NamePattern::Matches(const NativePath& name) const
{
    if (m_everything) {
        return true;
    }
    if (m_nativeCompare) {
        return NativeMatch(m_native, name.Native());
    }
    return WildcardMatch(m_text, name.Text());
}

} // namespace platform
