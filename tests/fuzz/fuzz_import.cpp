// The history text reader on arbitrary bytes. Every draw it returns must come from a line that obeys the
// line rules (nine-digit issue, then columns 10-14 with blanks trimmed being three dice 1..6) with an issue
// not read before; for plain ASCII text the draws and skipped lines must be exactly those the rules give.
// Importing the same bytes from a file replaces the history by those draws, or leaves it as it was.
#include <algorithm>
#include <optional>
#include <set>
#include <string_view>

#include "fuzz_support.h"
#include "history/text_import.h"

using namespace k3fuzz;

namespace {

struct Expected {
    Rows draws;                   // in line order
    std::vector<size_t> skipped;  // line numbers
};

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The line rules, read from their description.
Expected byTheRules(std::string_view text) {
    Expected out;
    std::set<int32_t> seen;
    size_t lineNo = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = text.substr(end, 2) == "\r\n" ? end + 2 : end + 1;
        ++lineNo;
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        bool ok = line.size() > 10 && line.substr(0, 9).find_first_not_of("0123456789") == std::string_view::npos;
        int32_t issue = ok ? std::stoi(std::string(line.substr(0, 9))) : 0;
        std::string dice(ok ? line.substr(9, 5) : std::string_view());
        dice.erase(0, dice.find_first_not_of(' '));
        dice.erase(dice.find_last_not_of(' ') + 1);
        ok = ok && issue > 0 && dice.size() == 3 && dice.find_first_not_of("123456") == std::string::npos;
        if (ok && seen.insert(issue).second)
            out.draws.emplace_back(issue, dice);
        else
            out.skipped.push_back(lineNo);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FixedHistory history;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const k3::ParsedHistory parsed = k3::parseHistoryText(text, 1);
    std::set<int32_t> issues;
    for (const auto& d : parsed.draws) {
        requireDerived(d, 1);
        require(d.sqqh <= 999999999, "issue " + std::to_string(d.sqqh) + " has more than nine digits");
        require(issues.insert(d.sqqh).second, "issue " + std::to_string(d.sqqh) + " read twice");
    }
    if (isAscii(text)) {
        const Expected want = byTheRules(text);
        require(rowsOf(parsed.draws) == want.draws, "draws are not those of the lines that obey the rules");
        // The report of skipped lines may be capped; what it lists must be the first skipped lines.
        require(parsed.skipped.size() <= want.skipped.size(), "more lines skipped than the rules skip");
        require(parsed.skipped.size() == want.skipped.size() || parsed.skipped.size() >= 1000,
                "skipped lines missing from the report");
        for (size_t i = 0; i < parsed.skipped.size(); ++i)
            require(parsed.skipped[i].number == want.skipped[i], "wrong skipped line number");
    }

    // The same bytes as a file: the history becomes the file's draws, or stays as it was.
    const std::string path = writeInput("import.txt", data, size);
    std::optional<size_t> stored;
    try {
        const k3::ImportResult r = k3::importHistoryFile(history.store(), path, 1);
        if (!r.refused && !r.cancelled) stored = r.stored;
    } catch (const k3::ImportError&) {
    }
    if (stored) {
        // A file may be decoded (a byte-order mark, UTF-16) before its lines are read; ASCII is read as it is.
        Rows want = rowsOf(parsed.draws);
        std::sort(want.begin(), want.end());
        const Rows got = history.rows();
        require(got.size() == *stored, "the import reports another number of draws than it stored");
        require(!isAscii(text) || got == want, "the history is not the file's draws");
    } else {
        require(history.unchanged(), "a refused file changed the history");
    }
    history.restore();
    return 0;
}
