#include "test_support.h"

#include <random>

#include "store/issue.h"

namespace k3test {

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

}  // namespace k3test
