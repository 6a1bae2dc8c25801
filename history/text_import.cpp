#include "history/text_import.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unordered_set>

namespace k3 {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlankLine(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

}  // namespace

std::optional<LineDraw> parseHistoryLine(std::string_view line) {
    // Issue test: longer than ten characters, and columns 1-9 are the issue's nine digits.
    if (line.size() <= 10) return std::nullopt;
    int32_t issue = 0;
    for (size_t i = 0; i < 9; ++i) {
        if (!isDigit(line[i])) return std::nullopt;
        issue = issue * 10 + (line[i] - '0');
    }
    if (issue <= 0) return std::nullopt;
    // Number part: columns 10-14, blanks trimmed at both ends, exactly three dice 1..6.
    std::string_view rest = line.substr(9, 5);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    if (rest.size() != 3) return std::nullopt;
    int d[3];
    for (int i = 0; i < 3; ++i) {
        d[i] = rest[i] - '0';
        if (!validDie(d[i])) return std::nullopt;
    }
    return LineDraw{issue, d[0], d[1], d[2]};
}

std::vector<DerivedDraw> deriveAll(const std::vector<LineDraw>& lines, int segBase) {
    std::vector<DerivedDraw> out;
    out.reserve(lines.size());
    for (const LineDraw& l : lines) out.push_back(deriveDraw(l.issue, l.d1, l.d2, l.d3, segBase));
    return out;
}

ParsedHistory parseHistoryText(std::string_view text, int segBase, const ImportProgress& progress) {
    ParsedHistory out;
    std::vector<LineDraw> lines;
    lines.reserve(text.size() / 15 + 1);
    // Issues read so far. Files are usually in ascending order, where a larger issue is new by itself;
    // the set is built only once a line comes out of order.
    std::unordered_set<int32_t> seen;
    bool ascending = true;
    int32_t maxIssue = 0;
    size_t pos = 0, lineNo = 0, nextReport = 0;
    const size_t n = text.size();
    while (pos < n) {
        size_t end = pos;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        std::string_view line = text.substr(pos, end - pos);
        ++lineNo;
        // CR LF, a lone CR and a lone LF each end one line.
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;

        if (auto d = parseHistoryLine(line)) {
            bool fresh;
            if (ascending && d->issue > maxIssue) {
                fresh = true;
            } else {
                if (ascending) {
                    ascending = false;
                    seen.reserve(lines.size() * 2 + 16);
                    for (const LineDraw& l : lines) seen.insert(l.issue);
                }
                fresh = seen.insert(d->issue).second;
            }
            if (fresh) {
                lines.push_back(*d);
                maxIssue = std::max(maxIssue, d->issue);
            } else {
                out.skipped.push_back({lineNo, std::string(line)});
            }
        } else if (!isBlankLine(line)) {
            out.skipped.push_back({lineNo, std::string(line)});
        }
        if (progress && pos >= nextReport) {
            if (!progress(std::min(pos, n), n)) throw ImportCancelled();
            nextReport = pos + (1u << 16);
        }
    }

    out.draws = deriveAll(lines, segBase);
    return out;
}

std::string readWholeFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ImportError(path + " 是文件夹，不是文本文件");
    std::ifstream f(path, std::ios::binary);
    if (!f) throw ImportError("无法打开文件 " + path);
    std::string data;
    f.seekg(0, std::ios::end);
    auto size = f.tellg();
    if (size < 0) throw ImportError("无法读取文件 " + path);
    f.seekg(0, std::ios::beg);
    data.resize(static_cast<size_t>(size));
    if (size > 0 && !f.read(data.data(), size)) throw ImportError("无法读取文件 " + path);
    return data;
}

ImportResult importHistoryFile(HistoryStore& store, const std::string& path, int segBase,
                               const ImportProgress& progress, const ImportConfirm& confirm) {
    ImportResult res;
    const std::string text = readWholeFile(path);
    ParsedHistory parsed;
    try {
        parsed = parseHistoryText(text, segBase, progress);
    } catch (const ImportCancelled&) {
        res.cancelled = true;
        return res;
    }
    res.skipped = std::move(parsed.skipped);
    if (parsed.draws.empty() && !res.skipped.empty()) {
        res.refused = true;
        return res;
    }
    if (confirm && !confirm(parsed.draws)) {
        res.cancelled = true;
        return res;
    }
    store.replaceAll(parsed.draws);
    res.stored = parsed.draws.size();
    return res;
}

}  // namespace k3
