#include "process_support.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace k3test {

std::set<pid_t> sqliteLockHolders(const std::string& dbPath) {
    // SQLite's shared lock: a read lock on the 510 bytes after the pending and the reserved byte.
    constexpr long long kSharedFirst = 0x40000000LL + 2;
    constexpr long long kSharedLast = kSharedFirst + 510 - 1;
    std::set<pid_t> holders;
    struct stat st {};
    if (::stat(dbPath.c_str(), &st) != 0) return holders;
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        // "1: POSIX  ADVISORY  READ 1234 fe:00:5678 1073741826 1073742335"; waiters have "->" after the number
        std::istringstream in(line);
        std::string number, kind, advisory, mode, device, start, end;
        pid_t pid = 0;
        in >> number >> kind;
        if (kind == "->") in >> kind;
        in >> advisory >> mode >> pid >> device >> start >> end;
        if (!in || number.find("->") != std::string::npos || kind != "POSIX" || device != id) continue;
        const long long from = std::stoll(start);
        const long long to = end == "EOF" ? kSharedLast : std::stoll(end);
        if (from <= kSharedFirst && to >= kSharedLast) holders.insert(pid);
    }
    return holders;
}

std::vector<std::string> deletedHistoryFiles(pid_t pid) {
    std::vector<std::string> out;
    const fs::path fds = pid ? "/proc/" + std::to_string(pid) + "/fd" : "/proc/self/fd";
    std::error_code ec;
    for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string to = fs::read_symlink(it->path(), ec).string();
        if (!ec && to.find("gapbook") != std::string::npos && to.find("(deleted)") != std::string::npos)
            out.push_back(it->path().filename().string() + " -> " + to);
    }
    return out;
}

std::optional<std::string> onSmallDisk(const std::string& folder, size_t bytes,
                                       const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return std::nullopt;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string out;
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) != 0) {
            ::_exit(3);
        }
        try {
            out = body();
        } catch (const std::exception& e) {
            out = std::string("thrown: ") + e.what();
        }
        if (::write(pipeFds[1], out.data(), out.size()) < 0) ::_exit(4);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 3) return std::nullopt;
    return got;
}

bool runHereUnprivileged() {
    if (geteuid() != 0) return true;
    if (std::system("setpriv --version >/dev/null 2>&1") != 0) {
        [] { GTEST_SKIP() << "setpriv is missing: file modes cannot be tried as root"; }();
        return false;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string cmd = "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp '" + self +
                            "' --gtest_filter='" + test->test_suite_name() + "." + test->name() + "' 2>&1";
    std::string output;
    FILE* run = popen(cmd.c_str(), "r");
    if (!run) {
        ADD_FAILURE() << "cannot run " << cmd;
        return false;
    }
    std::array<char, 4096> buf;
    while (size_t n = fread(buf.data(), 1, buf.size(), run)) output.append(buf.data(), n);
    const int st = pclose(run);
    EXPECT_EQ(st, 0) << "as nobody: " << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << "as nobody: " << output;
    return false;
}

}  // namespace k3test
