#pragma once

#include "engine/Messages.h"
#include "engine/PairTable.h"
#include "tests/engine/FakeWindow.h"
#include "tests/support/TempTree.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace hostile {

namespace fs = std::filesystem;

// A digest of everything under root: each entry's relative path, kind and permission bits, a
// file's bytes, a link's target. Links are never followed. Entries named in skip (relative paths)
// are left out together with everything below them.
std::string TreeDigest(const fs::path& root, const std::set<std::string>& skip = {});

// A fake window that lets a test change the tree right before the walk opens a file or enters a
// folder: the walk names each in the status line, then lets the window handle its events.
struct HookWindow : FakeWindow {
    // Called with the name that the status line shows.
    std::function<void(const std::u16string& name)> beforeNext;
    void ProcessPendingEvents() override;
};

// A run as the window starts it: ORG tree org/proj, NEW folder new, definition rules.txt.
struct Scene {
    testing_support::TempTree tree;
    HookWindow window;

    explicit Scene(std::string_view definition = "old,new\r\n");
    void Run();
    fs::path Org(std::string_view relative = "") const { return tree.Path("org/proj") / relative; }
    fs::path New(std::string_view relative = "") const { return tree.Path("new/proj") / relative; }
    // The status line at the end of a run that could not handle this input whole.
    std::u16string Unhandled(const fs::path& input) const;
    engine::PairTable Table() const;
};

// What the walk writes for a file: its copy, or nothing when no pair matched.
std::string ExpectedCopy(const std::string& bytes, const engine::PairTable& table, bool& changed);

// Runs the body in a child process (as the user nobody when we are root, so that permission bits
// bite) and hands back what it wrote to the pipe; exit status in status.
std::string InChild(const std::function<std::string()>& body, bool unprivileged, int& status);

// Whether this build carries a sanitizer (address or thread), whose memory use is not the
// program's own.
constexpr bool Sanitized()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Writes a file with one system call, for trees of many files.
void WriteFast(const std::string& path, std::string_view bytes);

} // namespace hostile
