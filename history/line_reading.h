// How the readers of players' files go through a text line by line and collect what the lines yield: the
// draws (each issue once, in issue order) and the report of skipped lines. Shared by the program's own
// line rules and the recognised shapes of other files.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "history/text_import.h"

namespace k3 {

// A line that yields a draw, with where it stands (for reporting a repeat).
struct ReadLine {
    LineDraw draw;
    uint32_t number;  // 1-based line number
    size_t begin;     // offset of the line in the text, or the row's index
};

// What the lines yielded, as they came.
struct CollectedLines {
    std::vector<ReadLine> lines;
    bool ascending = true;         // each issue above the one before: no repeat possible, no sort needed
    std::vector<SkippedLine> bad;  // the first kSkippedListLimit lines without a draw
    size_t badCount = 0;

    void draw(const LineDraw& d, size_t number, size_t begin) {
        if (!lines.empty() && d.issue <= lines.back().draw.issue) ascending = false;
        lines.push_back({d, static_cast<uint32_t>(number), begin});
    }
    void skipped(size_t number, std::string_view text) {
        if (badCount++ < kSkippedListLimit) bad.push_back({number, reportedLine(text)});
    }
};

// The lines with a draw, each issue once, in issue order; `reordered` when that is not the file's order.
struct ReadLines {
    std::vector<ReadLine> lines;
    bool reordered = false;
    std::vector<SkippedLine> skipped;
    size_t skippedCount = 0;
};

// Sorts by issue (a repeat after the line it repeats) and skips each repeat; both kinds of skipped line
// are reported in line order. `textAt` gives the text of a line from its `begin`.
ReadLines finishLines(CollectedLines&& collected, const std::function<std::string_view(size_t begin)>& textAt);

// The text of the line that begins at `begin`, without its line end.
std::string_view lineAt(std::string_view text, size_t begin);

// Calls visit(line, number, begin) for each line of a text: CR LF, a lone CR and a lone LF each end one
// line. The progress is told every 64 KiB; when it returns false, ImportCancelled is thrown.
template <class Visit>
void forEachLine(std::string_view text, const ImportProgress& progress, Visit&& visit) {
    size_t pos = 0, lineNo = 0, nextReport = 0;
    const size_t n = text.size();
    while (pos < n) {
        size_t end = pos;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        const std::string_view line = text.substr(pos, end - pos);
        const size_t begin = pos;
        ++lineNo;
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;
        visit(line, lineNo, begin);
        if (progress && pos >= nextReport) {
            if (!progress(std::min(pos, n), n)) throw ImportCancelled();
            nextReport = pos + (1u << 16);
        }
    }
}

}  // namespace k3
