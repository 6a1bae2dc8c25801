#include "history/trimming.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <functional>

#include "history/text_import.h"
#include "store/history_files.h"
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

std::vector<LineDraw> readBackupLines(const std::string& path) {
    std::string text;
    try {
        text = readTextFile(path, folderOf(path));
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
    return lines;
}

std::vector<DerivedDraw> readBackup(const std::string& path, int segBase) {
    return deriveAll(readBackupLines(path), segBase);
}

namespace {

// The backup file must hold exactly `expected` (issue and dice, in that order).
std::vector<LineDraw> readBackupOf(const std::string& backupPath, std::span<const LineDraw> expected) {
    std::vector<LineDraw> lines = readBackupLines(backupPath);
    bool same = lines.size() == expected.size();
    for (size_t i = 0; same && i < lines.size(); ++i) {
        const LineDraw &r = expected[i], &d = lines[i];
        same = d.issue == r.issue && d.d1 == r.d1 && d.d2 == r.d2 && d.d3 == r.d3;
    }
    if (!same) throw TrimError("备份文件 " + backupPath + " 与要保留的历史号码不符，历史号码未作改动");
    return lines;
}

TrimError rebuildFailed(const StoreError& e) {
    return TrimError(std::string("重建历史号码失败: ") + e.what() + "，历史号码未作改动");
}

}  // namespace

size_t rebuildFromBackup(HistoryStore& store, const std::string& backupPath, int segBase,
                         std::optional<std::span<const LineDraw>> expected) {
    std::vector<LineDraw> lines = expected ? readBackupOf(backupPath, *expected) : readBackupLines(backupPath);
    const size_t n = lines.size();
    try {
        store.replaceHistory(std::move(lines), segBase);
    } catch (const StoreError& e) {
        if (e.kind() != StoreFailure::kOther) throw;  // says itself what is wrong with the file
        throw rebuildFailed(e);
    }
    return n;
}

std::optional<std::string> compactDatabase(HistoryStore& store) {
    try {
        store.compact();
    } catch (const StoreError& e) {
        // The draws are deleted by then: only the cause is said, not "unchanged".
        switch (e.kind()) {
            case StoreFailure::kDiskFull: return std::string("磁盘已满");
            case StoreFailure::kLocked: return std::string("数据库正被另一个程序使用");
            case StoreFailure::kReadOnly: return std::string("文件不能写入");
            default: return std::string(e.what());
        }
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

namespace {

void describe(TrimResult& r, const std::optional<std::string>& compactError) {
    r.note.text = "已删除 " + std::to_string(r.removed) + " 期，保留 " + std::to_string(r.kept) + " 期";
    if (compactError) r.note = {r.note.text + "；数据库文件未能压缩，大小不变（" + *compactError + "）", true};
}

// Compacts after a trim when it freed a good part of the file; a few freed pages are used again by
// the next draws, and rewriting the whole file for them would take longer than the trim itself.
std::optional<std::string> compactIfWorthIt(HistoryStore& store) {
    try {
        if (store.freePageShare() < kCompactFreeShare) return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return compactDatabase(store);
}

// Keeps the oldest draws of the history, as many as `keep` says of the stored ones, through the backup
// file, then compacts. The draws are read, the backup written and read back, and the newer draws deleted
// in one write transaction: a draw another program adds meanwhile waits, and is not lost.
TrimResult keepOldest(HistoryStore& store, const std::function<size_t(const std::vector<LineDraw>&)>& keep,
                      const std::string& backupPath, int segBase) {
    TrimResult res;
    try {
        res.kept = store.keepOldest(
            [&](const std::vector<LineDraw>& all) {
                std::span<const LineDraw> kept(all.data(), std::min(keep(all), all.size()));
                writeBackup(backupPath, kept);
                readBackupOf(backupPath, kept);
                res.removed = all.size() - kept.size();
                return kept.size();
            },
            segBase);
    } catch (const StoreError& e) {
        if (e.kind() != StoreFailure::kOther) throw;
        throw rebuildFailed(e);
    }
    describe(res, compactIfWorthIt(store));
    return res;
}

}  // namespace

TrimResult deleteNewestDraw(HistoryStore& store) {
    TrimResult res;
    res.removed = static_cast<size_t>(store.deleteNewest(1));
    res.kept = static_cast<size_t>(store.count());
    describe(res, compactIfWorthIt(store));
    return res;
}

TrimResult deleteAfterIssue(HistoryStore& store, int64_t k, const std::string& backupPath, int segBase) {
    if (k <= 0) throw TrimError("期数必须是大于0的整数，历史号码未作改动");
    auto keep = [k](const std::vector<LineDraw>& all) {
        auto it = std::upper_bound(all.begin(), all.end(), k, [](int64_t v, const LineDraw& r) { return v < r.issue; });
        return static_cast<size_t>(it - all.begin());
    };
    return keepOldest(store, keep, backupPath, segBase);
}

TrimResult deleteLastDraws(HistoryStore& store, int64_t n, const std::string& backupPath, int segBase) {
    if (n <= 0) throw TrimError("期数必须是大于0的整数，历史号码未作改动");
    auto keep = [n](const std::vector<LineDraw>& all) {
        return static_cast<uint64_t>(n) >= all.size() ? size_t{0} : all.size() - static_cast<size_t>(n);
    };
    return keepOldest(store, keep, backupPath, segBase);
}

size_t clearHistory(HistoryStore& store) { return static_cast<size_t>(store.clear()); }

}  // namespace k3
