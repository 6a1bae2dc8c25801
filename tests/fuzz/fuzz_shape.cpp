// The reader of players' files on arbitrary bytes (byte 0 chooses the province the draws are checked
// against; the rest is the file). Every line that is not blank is a draw, a skipped line or a header, none
// lost and none counted twice; every draw has a positive issue of at most nine digits, its dice 1..6, each
// issue once, in ascending order; a file the program's own rules read any line of is read by them exactly;
// a date-based province's draws all fit it unless a misfit is named, by a line of the file; reading the same
// bytes again gives the same.
#include <set>
#include <string_view>

#include "fuzz_support.h"
#include "history/player_file.h"
#include "store/issue.h"
#include "store/province.h"

using namespace k3fuzz;

namespace {

// Lines that are not blank (blanks and tabs only), with the line ends of the line rules.
size_t nonBlankLines(std::string_view text, size_t& lines) {
    size_t n = 0;
    lines = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = text.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
        ++lines;
        if (line.find_first_not_of(" \t") != std::string_view::npos) ++n;
    }
    return n;
}

std::string summary(const k3::PlayerFile& f) {
    std::string s = f.shapeText() + "|" + std::to_string(f.parsed.skippedCount);
    for (const auto& d : f.parsed.draws)
        s += " " + std::to_string(d.issue) + ":" + std::to_string(d.d1 * 100 + d.d2 * 10 + d.d3);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int province = data[0] % k3::kProvinceCount;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    k3::PlayerFile f;
    try {
        f = k3::readPlayerBytes(bytes, {province, {}}, "fuzz");
    } catch (const k3::ImportError&) {
        return 0;  // a workbook that cannot be read: said so
    }
    const k3::ParsedLines& p = f.parsed;
    int64_t last = 0;
    for (const k3::IssueDice& d : p.draws) {
        require(d.issue > 0 && d.issue <= 999999999, "issue " + std::to_string(d.issue) + " out of range");
        require(d.issue > last, "issues not ascending or read twice");
        last = d.issue;
        for (int die : {d.d1, d.d2, d.d3}) require(die >= 1 && die <= 6, "a die outside 1..6");
    }
    require(p.skipped.size() <= p.skippedCount && p.skipped.size() <= k3::kSkippedListLimit, "skipped report");
    require(f.preview.size() <= k3::kPreviewLines, "preview too long");
    const bool workbook = bytes.compare(0, 4, "PK\x03\x04") == 0;
    if (!workbook) {
        const std::string text = k3::decodeText(bytes);
        if (f.ownFormat) {
            const k3::ParsedLines own = k3::parseHistoryLines(text);
            require(own.draws.size() == p.draws.size() && own.skippedCount == p.skippedCount,
                    "the program's own format read otherwise than by its rules");
            for (size_t i = 0; i < own.draws.size(); ++i)
                require(own.draws[i].issue == p.draws[i].issue && own.draws[i].d1 == p.draws[i].d1 &&
                            own.draws[i].d2 == p.draws[i].d2 && own.draws[i].d3 == p.draws[i].d3,
                        "the program's own format read otherwise than by its rules");
        } else {
            // A text converted from GBK has the same lines: the conversion keeps ASCII line ends.
            size_t lines = 0;
            const size_t nonBlank = nonBlankLines(text, lines);
            require((f.source != "UTF-8 文本" && f.source != "UTF-16 文本") ||
                        nonBlank == p.draws.size() + p.skippedCount + f.headerLines,
                    "lines lost or counted twice: " + std::to_string(nonBlank) + " lines, " +
                        std::to_string(p.draws.size()) + " draws, " + std::to_string(p.skippedCount) + " skipped, " +
                        std::to_string(f.headerLines) + " headers");
        }
    }
    const k3::ProvinceRule rule = k3::provinceRule(province);
    if (f.misfit) {
        require(f.misfit->line >= 1, "a misfit without its line");
    } else if (!rule.runningNumbers) {
        for (const k3::IssueDice& d : p.draws)
            require(d.issue % 1000 >= 1 && d.issue % 1000 <= rule.drawsPerDay && k3::issueDate(d.issue),
                    "issue " + std::to_string(d.issue) + " does not fit the province, and nothing says so");
    }
    k3::PlayerFile again = k3::readPlayerBytes(bytes, {province, {}}, "fuzz");
    require(summary(again) == summary(f), "the same bytes read otherwise the second time");
    return 0;
}
