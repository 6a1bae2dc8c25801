// The backup-file reader on arbitrary bytes. A file is read whole or refused (TrimError): read (after its
// byte-order mark, if any, is decoded), it yields one draw per line that is not blank, each naming its
// issue before the line's first blank and taking the first three characters after it that are not
// blanks as its dice; written back and read again it gives the
// same draws. Rebuilding a history from the file replaces the history by those draws, or leaves it as it was.
#include <algorithm>
#include <optional>
#include <string_view>

#include "fuzz_support.h"
#include "history/text_import.h"
#include "history/trimming.h"

using namespace k3fuzz;

namespace {

std::vector<std::string_view> nonBlankLines(std::string_view text) {
    std::vector<std::string_view> out;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = text.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string_view::npos) continue;
        out.push_back(line.substr(first, line.find_last_not_of(' ') + 1 - first));
    }
    return out;
}

void requireFromLine(const k3::DerivedDraw& d, std::string_view line) {
    const size_t blank = line.find(' ');
    require(blank != std::string_view::npos, "a line without a blank was read");
    require(line.substr(0, blank).find(std::to_string(d.sqqh)) != std::string_view::npos,
            "issue " + std::to_string(d.sqqh) + " is not written before the first blank of its line");
    std::string dice;
    for (char c : line.substr(blank))
        if (c != ' ' && dice.size() < 3) dice += c;
    require(dice == d.txtHisLst, "the dice of issue " + std::to_string(d.sqqh) + " are not those of its line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FixedHistory history;
    const std::string path = writeInput(k3::kBackupFileName, data, size);

    std::optional<std::vector<k3::DerivedDraw>> draws;
    try {
        draws = k3::readBackup(path, 1);
    } catch (const k3::TrimError&) {
    }
    if (draws) {
        // The reader decodes a byte-order mark (UTF-8 or UTF-16) before it reads lines.
        const std::string text = k3::decodeText(std::string(reinterpret_cast<const char*>(data), size));
        const auto lines = nonBlankLines(text);
        require(draws->size() == lines.size(), "not one draw per line");
        std::vector<k3::LineDraw> again;
        for (size_t i = 0; i < draws->size(); ++i) {
            const k3::DerivedDraw& d = (*draws)[i];
            requireDerived(d, 1);
            requireFromLine(d, lines[i]);
            again.push_back({d.sqqh, d.values[k3::kNumber][0], d.values[k3::kNumber][1], d.values[k3::kNumber][2]});
        }
        const std::string copy = (folder() / "copy.txt").string();
        k3::writeBackup(copy, again);
        require(rowsOf(k3::readBackup(copy, 1)) == rowsOf(*draws), "written back, the draws read differently");
    }

    bool rebuilt = false;
    try {
        k3::rebuildFromBackup(history.store(), path, 1);
        rebuilt = true;
    } catch (const k3::TrimError&) {
    }
    if (rebuilt) {
        require(draws.has_value(), "rebuilt from a file that cannot be read");
        Rows want = rowsOf(*draws);
        std::sort(want.begin(), want.end());
        require(std::adjacent_find(want.begin(), want.end(),
                                   [](const auto& a, const auto& b) { return a.first == b.first; }) == want.end(),
                "rebuilt from a file that repeats an issue");
        require(history.rows() == want, "the history is not the file's draws");
    } else {
        require(history.unchanged(), "a refused backup changed the history");
    }
    history.restore();
    return 0;
}
