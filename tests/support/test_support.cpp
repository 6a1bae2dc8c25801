#include "test_support.h"

#include <fcntl.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "store/issue.h"

namespace k3test {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TempDir::TempDir() {
    static std::mt19937_64 rng{std::random_device{}()};
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("k3gap-test-" + std::to_string(rng()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<k3::DerivedDraw> generateDraws(size_t n, int drawsPerDay, int firstIssue, int segBase, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> die(1, 6);
    std::vector<k3::DerivedDraw> out;
    out.reserve(n);
    int64_t issue = firstIssue;
    for (size_t i = 0; i < n; ++i) {
        int a = die(rng), b = die(rng), c = die(rng);
        out.push_back(k3::deriveDraw(static_cast<int32_t>(issue), a, b, c, segBase));
        issue = k3::nextIssue(issue, drawsPerDay, false);
    }
    return out;
}

std::vector<k3::DerivedDraw> draws(std::initializer_list<std::pair<int, const char*>> list, int segBase) {
    std::vector<k3::DerivedDraw> out;
    for (auto& [issue, dice] : list)
        out.push_back(k3::deriveDraw(issue, dice[0] - '0', dice[1] - '0', dice[2] - '0', segBase));
    return out;
}

std::string fileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

HeldWrite::HeldWrite(const std::string& dbPath, const std::string& statements, bool commit) {
    int ready[2], release[2];
    // Not inherited by programs the test starts meanwhile: one of them holding the release end would
    // keep the lock held until it ends.
    if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        close(release[1]);
        try {
            k3::Db db(dbPath, false);
            db.exec(statements);
            char c = 1;
            if (write(ready[1], &c, 1) != 1) _exit(2);
            while (read(release[0], &c, 1) > 0) {
            }
            db.exec(commit ? "COMMIT" : "ROLLBACK");
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char c = 0;
    bool held = read(ready[0], &c, 1) == 1;
    close(ready[0]);
    if (!held) throw std::runtime_error("the writing process did not get its lock");
}

HeldWrite::~HeldWrite() {
    close(release_);
    int status = 0;
    waitpid(pid_, &status, 0);
}

void damageMiddlePage(const std::string& dbPath) {
    const auto size = std::filesystem::file_size(dbPath);
    std::fstream f(dbPath, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(size / 4096 / 2 * 4096));
    for (int i = 0; i < 4096; ++i) f.put(static_cast<char>(0xA5 ^ i));
}

}  // namespace k3test
