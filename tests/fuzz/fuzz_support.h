// Shared by the fuzz targets: a folder for the run, a small history that inputs must leave alone unless they
// are accepted, and the checks every derived draw must pass. A violated property aborts, so libFuzzer keeps
// the input that caused it.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "store/derive.h"
#include "store/history_store.h"

namespace k3fuzz {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "property violated: %s\n", what.c_str());
    std::abort();
}

inline void require(bool ok, const std::string& what) {
    if (!ok) fail(what);
}

// A folder of this process, removed when it ends normally.
inline const std::filesystem::path& folder() {
    struct Folder {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("k3gap-fuzz-" + std::to_string(::getpid()));
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static Folder f;
    return f.path;
}

inline std::string writeInput(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = (folder() / name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

// The issue, the dice and every value derivation gives them.
inline void requireDerived(const k3::DerivedDraw& d, int segBase) {
    require(d.sqqh > 0, "issue " + std::to_string(d.sqqh) + " is not above 0");
    const auto& dice = d.values[k3::kNumber];
    for (int die : dice) require(die >= 1 && die <= 6, "a die outside 1..6 in issue " + std::to_string(d.sqqh));
    const k3::DerivedDraw e = k3::deriveDraw(d.sqqh, dice[0], dice[1], dice[2], segBase);
    require(e.values == d.values && e.txtHisLst == d.txtHisLst && e.pattern == d.pattern,
            "stored values of issue " + std::to_string(d.sqqh) + " are not those of its dice");
}

using Rows = std::vector<std::pair<int32_t, std::string>>;  // (issue, dice) in issue order

inline Rows rowsOf(const std::vector<k3::DerivedDraw>& draws) {
    Rows out;
    for (const auto& d : draws) out.emplace_back(d.sqqh, d.txtHisLst);
    return out;
}

// A history database holding three draws.
class FixedHistory {
public:
    FixedHistory() : store_((folder() / "gapbook.db").string()) { restore(); }
    k3::HistoryStore& store() { return store_; }
    static std::vector<k3::DerivedDraw> base() {
        return {k3::deriveDraw(130101001, 1, 2, 3, 1), k3::deriveDraw(130101002, 4, 5, 6, 1),
                k3::deriveDraw(130325077, 2, 2, 2, 1)};
    }
    Rows rows() {
        Rows out;
        auto snap = store_.snapshot();
        for (const k3::SnapRow& r : snap->rows)
            out.emplace_back(r.sqqh, std::to_string(r.die(1) * 100 + r.die(2) * 10 + r.die(3)));
        return out;
    }
    bool unchanged() { return rows() == rowsOf(base()); }
    void restore() {
        if (!unchanged()) store_.replaceAll(base());
    }

private:
    k3::HistoryStore store_;
};

}  // namespace k3fuzz
