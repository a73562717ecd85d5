#include "tests/hostile/Hostile.h"

#include "engine/LoadDefinition.h"
#include "engine/RunCommand.h"
#include "tests/engine/Reference.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace hostile {
namespace {

struct Fnv {
    std::uint64_t value = 14695981039346656037ull;
    void Add(std::string_view bytes)
    {
        for (const char c : bytes) {
            value = (value ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
    }
    // Length first, so that no two sequences of fields hash alike by shifting bytes between them.
    void Field(std::string_view bytes)
    {
        Add(std::to_string(bytes.size()) + ":");
        Add(bytes);
    }
};

struct Digest {
    const fs::path& root;
    const std::set<std::string>& skip;
    Fnv hash;
    std::size_t count = 0;
    std::vector<char> buffer = std::vector<char>(1 << 16); // one for every level: trees run deep
};

void DigestFolder(Digest& digest, const std::string& relative)
{
    const fs::path& root = digest.root;
    Fnv& hash = digest.hash;
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / relative, error)) {
        names.push_back(entry.path().filename().native());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = relative.empty() ? name : relative + "/" + name;
        if (digest.skip.count(path)) {
            continue;
        }
        const std::string full = (root / path).native();
        struct stat st { };
        if (lstat(full.c_str(), &st) != 0) {
            continue;
        }
        ++digest.count;
        hash.Field(path);
        hash.Field(std::to_string(st.st_mode & 07777));
        if (S_ISLNK(st.st_mode)) {
            hash.Field("link");
            hash.Field(fs::read_symlink(full, error).native());
        } else if (S_ISDIR(st.st_mode)) {
            hash.Field("folder");
            DigestFolder(digest, path);
        } else if (S_ISREG(st.st_mode)) {
            hash.Field("file");
            hash.Field(std::to_string(st.st_size));
            const int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
            ssize_t n = 0;
            while (fd >= 0 && (n = read(fd, digest.buffer.data(), digest.buffer.size())) > 0) {
                hash.Add(std::string_view(digest.buffer.data(), static_cast<std::size_t>(n)));
            }
            if (fd >= 0) {
                close(fd);
            }
        } else {
            hash.Field("other");
        }
    }
}

} // namespace

std::string TreeDigest(const fs::path& root, const std::set<std::string>& skip)
{
    Digest digest { root, skip, Fnv {}, 0, std::vector<char>(1 << 16) };
    DigestFolder(digest, "");
    char text[64];
    std::snprintf(text, sizeof text, "%zu entries, %016llx", digest.count,
        static_cast<unsigned long long>(digest.hash.value));
    return text;
}

void HookWindow::ProcessPendingEvents()
{
    FakeWindow::ProcessPendingEvents();
    const std::u16string_view prefix = engine::messages::Replacing;
    const std::u16string caption = LastCaption();
    if (beforeNext && caption.starts_with(prefix)) {
        beforeNext(caption.substr(prefix.size()));
    }
}

Scene::Scene(std::string_view definition)
{
    tree.Write("rules.txt", definition);
    tree.MakeFolder("org/proj");
    tree.MakeFolder("new");
    window.boxes[0] = testing_support::U16(tree.Path("org/proj"), true);
    window.boxes[1] = testing_support::U16(tree.Path("new"), true);
    window.boxes[2] = testing_support::U16(tree.Path("rules.txt"));
}

void Scene::Run() { engine::RunReplace(window, common::PathStyle::Posix); }

std::u16string Scene::Unhandled(const fs::path& input) const
{
    return engine::messages::FilesNotHandled + (u"\n" + testing_support::U16(input));
}

engine::PairTable Scene::Table() const
{
    engine::PairTable table;
    engine::LoadDefinition(testing_support::U16(tree.Path("rules.txt")), table);
    return table;
}

std::string ExpectedCopy(const std::string& bytes, const engine::PairTable& table, bool& changed)
{
    return reference::RewriteFile(bytes, table, false, changed);
}

std::string InChild(const std::function<std::string()>& body, bool unprivileged, int& status)
{
    int fds[2];
    if (pipe(fds) != 0) {
        status = -1;
        return {};
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        status = -1;
        return {};
    }
    if (pid == 0) {
        close(fds[0]);
        if (unprivileged && geteuid() == 0
            && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        std::string result;
        try {
            result = body();
        } catch (...) {
            _exit(4);
        }
        for (std::size_t done = 0; done < result.size();) {
            const ssize_t n = write(fds[1], result.data() + done, result.size() - done);
            if (n <= 0) {
                _exit(5);
            }
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int raw = 0;
    waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    return result;
}

void WriteFast(const std::string& path, std::string_view bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

} // namespace hostile
