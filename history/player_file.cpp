#include "history/player_file.h"

#include <algorithm>
#include <set>

#include "history/line_reading.h"
#include "history/text_encoding.h"
#include "history/workbook_read.h"

namespace k3 {

namespace {

// Lines of the sample the shape is recognised from.
constexpr size_t kSampleLines = 2000;
// Characters of a line a preview shows.
constexpr size_t kPreviewText = 80;

bool isBlankLine(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// The first lines of a text that are not blank, with their numbers.
std::vector<std::pair<size_t, std::string_view>> firstLines(std::string_view text, size_t count) {
    std::vector<std::pair<size_t, std::string_view>> out;
    size_t pos = 0, number = 0;
    while (pos < text.size() && out.size() < count) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        ++number;
        const std::string_view line = text.substr(pos, end - pos);
        if (!isBlankLine(line)) out.emplace_back(number, line);
        pos = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    }
    return out;
}

std::string previewText(std::string_view line) {
    size_t chars = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
        if (chars++ == kPreviewText) return std::string(line.substr(0, i)) + "…";
    }
    return std::string(line);
}

// Part of the progress of a whole read: done/total of one step mapped into [from, to] of the whole.
ImportProgress part(const ImportProgress& whole, double from, double to) {
    if (!whole) return {};
    return [whole, from, to](size_t done, size_t total) {
        constexpr size_t kWhole = 1000000;
        const double share = total ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
        return whole(static_cast<size_t>((from + (to - from) * share) * kWhole), kWhole);
    };
}

struct TextSource {
    std::string text;  // as lines are read from it: UTF-8 once recognised as another encoding
    std::string source;
    bool workbook = false;
};

// The program's own format: its line rules, and the preview and the province check by the same rules.
void readOwn(PlayerFile& out, const TextSource& in, ParsedLines&& parsed, const std::optional<ProvinceRule>& rule) {
    out.ownFormat = true;
    out.source = in.source;
    out.parsed = std::move(parsed);
    std::set<int32_t> seen;
    for (const auto& [number, line] : firstLines(in.text, kPreviewLines)) {
        PreviewLine p{number, previewText(line)};
        if (auto d = parseHistoryLine(line)) {
            p.kind = seen.insert(d->issue).second ? PreviewLine::Kind::kDraw : PreviewLine::Kind::kRepeat;
            p.draw = *d;
        }
        out.preview.push_back(std::move(p));
    }
    if (!rule) return;
    // The draws, in issue order, tell whether any misfits; only then are the lines gone through for the first.
    FitCheck quick(*rule);
    for (const IssueDice& d : out.parsed.draws) quick.draw(ownIssue(d.issue), 0, {});
    if (!quick.result()) return;
    FitCheck exact(*rule);
    forEachLine(in.text, {}, [&exact](std::string_view line, size_t number, size_t) {
        if (auto d = parseHistoryLine(line)) exact.draw(ownIssue(d->issue), number, line);
    });
    out.misfit = exact.result();
}

// Any other text: the shape recognised from the first lines, applied to every line.
void readShaped(PlayerFile& out, const TextSource& in, const ColumnShape& shape,
                const std::optional<ProvinceRule>& rule, const ImportProgress& progress) {
    out.shape = shape;
    out.source = in.source;
    std::optional<FitCheck> fit;
    if (rule) fit.emplace(*rule);
    const std::string_view text = in.text;
    CollectedLines collected;
    collected.lines.reserve(text.size() / 24 + 1);
    FieldRow row;
    std::vector<std::string> scratch;
    const size_t needed = shape.columnsNeeded();
    size_t headers = 0;
    forEachLine(text, progress, [&](std::string_view line, size_t number, size_t begin) {
        if (isBlankLine(line)) return;
        splitLine(line, shape.delimiter, row, scratch, needed);
        if (auto d = drawOfRow(shape, row)) {
            collected.draw({static_cast<int32_t>(d->issue.issue), d->d1, d->d2, d->d3}, number, begin);
            if (fit) fit->draw(d->issue, number, line);
            return;
        }
        splitLine(line, shape.delimiter, row, scratch);
        if (isHeaderRow(row)) {
            ++headers;
            return;
        }
        collected.skipped(number, line);
    });
    ReadLines read = finishLines(std::move(collected), [text](size_t begin) { return lineAt(text, begin); });
    out.parsed.draws.reserve(read.lines.size());
    for (const ReadLine& l : read.lines) out.parsed.draws.push_back(l.draw);
    out.parsed.skipped = std::move(read.skipped);
    out.parsed.skippedCount = read.skippedCount;
    out.headerLines = headers;
    if (fit) out.misfit = fit->result();

    std::set<int64_t> seen;
    for (const auto& [number, line] : firstLines(text, kPreviewLines)) {
        PreviewLine p{number, previewText(line)};
        splitLine(line, shape.delimiter, row, scratch);
        if (auto d = drawOfRow(shape, row)) {
            p.kind = seen.insert(d->issue.issue).second ? PreviewLine::Kind::kDraw : PreviewLine::Kind::kRepeat;
            p.draw = {static_cast<int32_t>(d->issue.issue), d->d1, d->d2, d->d3};
        } else if (isHeaderRow(row)) {
            p.kind = PreviewLine::Kind::kHeader;
        }
        out.preview.push_back(std::move(p));
    }
}

PlayerFile readText(TextSource in, const PlayerFileOptions& options, double from) {
    PlayerFile out;
    std::optional<ProvinceRule> rule;
    if (options.province) rule = provinceRule(*options.province);
    // The program's own format first: a file of which its rules read any line is read by them alone.
    ParsedLines own = parseHistoryLines(in.text, part(options.progress, from, from + (1 - from) * 0.3));
    if (!own.draws.empty() || own.skippedCount == 0) {
        readOwn(out, in, std::move(own), rule);
        return out;
    }
    // Not UTF-8: what a Chinese Windows program writes, GBK (GB18030 holds it).
    if (!in.workbook && invalidUtf8At(in.text) != std::string_view::npos) {
        if (std::optional<std::string> text = convertToUtf8(in.text, "GB18030")) {
            in.text = std::move(*text);
            in.source = "GBK 文本";
        } else {
            in.source = "文本";
        }
    }
    std::vector<std::string_view> sample;
    for (const auto& [number, line] : firstLines(in.text, kSampleLines)) sample.push_back(line);
    std::optional<ColumnShape> shape = recogniseLines(sample);
    if (!shape) {
        // No shape: every line is skipped, and listed as the player can read it.
        out.source = in.source;
        out.parsed = parseHistoryLines(in.text);
        for (const auto& [number, line] : firstLines(in.text, kPreviewLines))
            out.preview.push_back({number, previewText(line)});
        return out;
    }
    // A workbook's columns are its cells.
    if (in.workbook && shape->delimiter == Delimiter::kTab) shape->delimiter = Delimiter::kCells;
    ColumnShape reading = *shape;
    if (reading.delimiter == Delimiter::kCells) reading.delimiter = Delimiter::kTab;
    readShaped(out, in, reading, rule, part(options.progress, from + (1 - from) * 0.3, 1));
    out.shape = shape;
    return out;
}

}  // namespace

std::string PlayerFile::shapeText() const {
    if (ownFormat) return "本程序的历史号码格式（期号 9 位，空格，3 位号码；" + source + "）";
    if (!shape) return "未能识别的格式（" + source + "）";
    std::string details = describeDelimiter(shape->delimiter);
    for (const std::string& d : {source, std::string(headerLines ? "有标题行" : "")})
        if (!d.empty()) details += (details.empty() ? "" : "，") + d;
    return describeShape(*shape) + "（" + details + "）";
}

PlayerFile readPlayerBytes(std::string bytes, const PlayerFileOptions& options, const std::string& name) {
    if (looksLikeXlsx(bytes)) {
        TextSource in{xlsxText(bytes, name, part(options.progress, 0, 0.5)), "xlsx 工作簿", true};
        bytes.clear();
        return readText(std::move(in), options, 0.5);
    }
    const bool utf16 = bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0;
    return readText({decodeText(std::move(bytes)), utf16 ? "UTF-16 文本" : "UTF-8 文本"}, options, 0);
}

PlayerFile readPlayerFile(const std::string& path, const PlayerFileOptions& options) {
    std::string bytes = readWholeFile(path, options.dataDir);
    if (looksLikeXls(bytes)) {
        bytes = std::string();
        return readText({xlsText(path, options.dataDir, part(options.progress, 0, 0.5)), "xls 工作簿", true}, options,
                        0.5);
    }
    return readPlayerBytes(std::move(bytes), options, path);
}

}  // namespace k3
