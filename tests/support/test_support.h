// Helpers shared by the tests: a temporary folder and generated histories.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "store/derive.h"
#include "store/history_store.h"

namespace k3test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// n draws with pseudo-random dice (fixed seed) under consecutive issues of a province with
// `drawsPerDay` draws a day, starting at `firstIssue` (YYMMDDNNN).
std::vector<k3::DerivedDraw> generateDraws(size_t n, int drawsPerDay = 78, int firstIssue = 130101001, int segBase = 1,
                                           unsigned seed = 12345);

// Draws from "ISSUE DDD" pairs, e.g. {{130325001, "253"}}.
std::vector<k3::DerivedDraw> draws(std::initializer_list<std::pair<int, const char*>> list, int segBase = 1);

}  // namespace k3test
