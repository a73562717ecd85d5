#include "platform/FileSystem.h"
#include "platform/OsFile.h"

#include <atomic>
#include <string>

namespace platform {
namespace {

const NativePath& Prefix()
{
    static const NativePath prefix = NativePath::FromText(u".vandor-tmp-");
    return prefix;
}

} // namespace

// The process's id is in the name, so that a later run tells a temporary of a killed run from
// one that a running program is still writing. Digits are the same in every encoding: no
// conversion, as a copy is begun for every file that changes.
NativePath TemporaryName()
{
    static std::atomic<unsigned> sequence { 0 };
    const std::string tail
        = std::to_string(os::ProcessId()) + '-' + std::to_string(sequence.fetch_add(1));
    NativeString name = Prefix().Native();
    name.append(tail.begin(), tail.end());
    return NativePath(std::move(name));
}

bool IsTemporaryName(const NativePath& name)
{
    return name.Native().starts_with(Prefix().Native());
}

bool IsLeftOverTemporary(const NativePath& name)
{
    if (!IsTemporaryName(name)) {
        return false;
    }
    unsigned long id = 0;
    for (std::size_t i = Prefix().Size(); i < name.Size(); ++i) {
        const NativeChar c = name.Native()[i];
        if (c < '0' || c > '9' || id > 0xFFFFFFFFul) {
            break;
        }
        id = id * 10 + static_cast<unsigned long>(c - '0');
    }
    return id > 0 && id != os::ProcessId() && os::ProcessIsGone(id);
}

} // namespace platform
