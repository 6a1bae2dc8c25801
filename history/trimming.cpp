#include "history/trimming.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>

#include "history/text_import.h"
#include "store/issue.h"

namespace k3 {

std::optional<int64_t> parsePositiveAnswer(std::string_view text) { return parseWhole(text, 1, INT32_MAX); }

std::string backupLine(const LineDraw& d) {
    std::string s = std::to_string(d.issue);
    for (int die : {d.d1, d.d2, d.d3}) {
        s += ' ';
        s += static_cast<char>('0' + die);
    }
    s += " \r\n";
    return s;
}

void writeBackup(const std::string& path, std::span<const LineDraw> draws) {
    std::string text;
    text.reserve(draws.size() * 20);
    for (const LineDraw& d : draws) text += backupLine(d);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) throw TrimError("无法写入备份文件 " + path + "，历史号码未作改动");
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
    f.close();
    if (!f) throw TrimError("无法写入备份文件 " + path + "，历史号码未作改动");
}

std::vector<DerivedDraw> readBackup(const std::string& path, int segBase) {
    std::string text;
    try {
        text = readWholeFile(path);
    } catch (const ImportError& e) {
        throw TrimError(std::string("无法读取备份文件: ") + e.what() + "，历史号码未作改动");
    }
    std::vector<LineDraw> lines;
    lines.reserve(text.size() / 18 + 1);
    size_t pos = 0, lineNo = 0;
    const size_t n = text.size();
    auto bad = [&](size_t no) {
        return TrimError("备份文件 " + path + " 第 " + std::to_string(no) + " 行无法读取，历史号码未作改动");
    };
    while (pos < n) {
        size_t end = pos;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        std::string_view line(text.data() + pos, end - pos);
        ++lineNo;
        pos = (end + 1 < n && text[end] == '\r' && text[end + 1] == '\n') ? end + 2 : end + 1;

        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        if (line.empty()) continue;
        // The issue is the run of digits before the first blank; the dice are the next three digits.
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) throw bad(lineNo);
        auto issue = parseWhole(line.substr(0, blank), 1, INT32_MAX);
        if (!issue) throw bad(lineNo);
        int dice[3], got = 0;
        for (size_t i = blank; i < line.size() && got < 3; ++i) {
            char c = line[i];
            if (c == ' ') continue;
            if (c < '1' || c > '6') throw bad(lineNo);
            dice[got++] = c - '0';
        }
        if (got < 3) throw bad(lineNo);
        lines.push_back({static_cast<int32_t>(*issue), dice[0], dice[1], dice[2]});
    }
    return deriveAll(lines, segBase);
}

size_t rebuildFromBackup(HistoryStore& store, const std::string& backupPath, int segBase,
                         std::optional<std::span<const LineDraw>> expected) {
    std::vector<DerivedDraw> draws = readBackup(backupPath, segBase);
    if (expected) {
        bool same = draws.size() == expected->size();
        for (size_t i = 0; same && i < draws.size(); ++i) {
            const LineDraw& r = (*expected)[i];
            const DerivedDraw& d = draws[i];
            same = d.sqqh == r.issue && d.values[kNumber][0] == r.d1 && d.values[kNumber][1] == r.d2 &&
                   d.values[kNumber][2] == r.d3;
        }
        if (!same) throw TrimError("备份文件 " + backupPath + " 与要保留的历史号码不符，历史号码未作改动");
    }
    try {
        store.replaceAll(draws);
    } catch (const StoreError& e) {
        throw TrimError(std::string("重建历史号码失败: ") + e.what() + "，历史号码未作改动");
    }
    return draws.size();
}

std::optional<std::string> compactDatabase(HistoryStore& store) {
    try {
        store.compact();
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

namespace {

void describe(TrimResult& r, const std::optional<std::string>& compactError) {
    r.note.text = "已删除 " + std::to_string(r.removed) + " 期，保留 " + std::to_string(r.kept) + " 期";
    if (compactError) r.note = {r.note.text + "；数据库压缩失败，文件保持原样：" + *compactError, true};
}

// Keeps the `keep` oldest draws of the history, through the backup file, then compacts.
TrimResult keepOldest(HistoryStore& store, const std::vector<LineDraw>& all, size_t keep, const std::string& backupPath,
                      int segBase) {
    std::span<const LineDraw> kept(all.data(), std::min(keep, all.size()));
    writeBackup(backupPath, kept);
    TrimResult res;
    res.kept = rebuildFromBackup(store, backupPath, segBase, kept);
    res.removed = all.size() - res.kept;
    describe(res, compactDatabase(store));
    return res;
}

}  // namespace

TrimResult deleteNewestDraw(HistoryStore& store) {
    TrimResult res;
    int64_t before = store.count();
    store.deleteNewest(1);
    res.kept = static_cast<size_t>(store.count());
    res.removed = static_cast<size_t>(before) - res.kept;
    describe(res, compactDatabase(store));
    return res;
}

TrimResult deleteAfterIssue(HistoryStore& store, int64_t k, const std::string& backupPath, int segBase) {
    if (k <= 0) throw TrimError("期数必须是大于0的整数，历史号码未作改动");
    auto all = store.issuesAndDice();
    auto it = std::upper_bound(all.begin(), all.end(), k, [](int64_t v, const LineDraw& r) { return v < r.issue; });
    return keepOldest(store, all, static_cast<size_t>(it - all.begin()), backupPath, segBase);
}

TrimResult deleteLastDraws(HistoryStore& store, int64_t n, const std::string& backupPath, int segBase) {
    if (n <= 0) throw TrimError("期数必须是大于0的整数，历史号码未作改动");
    auto all = store.issuesAndDice();
    size_t keep = static_cast<uint64_t>(n) >= all.size() ? 0 : all.size() - static_cast<size_t>(n);
    return keepOldest(store, all, keep, backupPath, segBase);
}

size_t clearHistory(HistoryStore& store) {
    auto n = static_cast<size_t>(store.count());
    store.clear();
    return n;
}

}  // namespace k3
