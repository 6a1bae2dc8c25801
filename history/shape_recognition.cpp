#include "history/shape_recognition.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "store/issue.h"

namespace k3 {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isDie(char c) { return c >= '1' && c <= '6'; }

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool endsWith(std::string_view s, std::string_view p) {
    return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// Blanks as players' files and pages write them: ASCII blanks, the no-break space and the ideographic space.
size_t blankAt(std::string_view s, size_t i) {
    const char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return 1;
    if (startsWith(s.substr(i), "\xC2\xA0")) return 2;
    if (startsWith(s.substr(i), "\xE3\x80\x80")) return 3;
    return 0;
}

std::string_view trimBlanks(std::string_view s) {
    size_t b = 0;
    while (b < s.size()) {
        const size_t n = blankAt(s, b);
        if (n == 0) break;
        b += n;
    }
    s.remove_prefix(b);
    for (;;) {
        if (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
            s.remove_suffix(1);
        else if (endsWith(s, "\xC2\xA0"))
            s.remove_suffix(2);
        else if (endsWith(s, "\xE3\x80\x80"))
            s.remove_suffix(3);
        else
            break;
    }
    return s;
}

std::string_view unquoted(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        s = s.substr(1, s.size() - 2);
    return s;
}

// The value of a column: blanks and quotes around it dropped, and a label before a colon ("期号：") when the
// label has no digit (a time such as 08:40 keeps its colon).
std::string_view valueOf(std::string_view field) {
    std::string_view s = trimBlanks(unquoted(trimBlanks(field)));
    size_t colon = s.find(':'), width = 1;
    const size_t wide = s.find("\xEF\xBC\x9A");  // the full-width colon
    if (wide != std::string_view::npos && (colon == std::string_view::npos || wide < colon)) colon = wide, width = 3;
    if (colon != std::string_view::npos &&
        std::none_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(colon), isDigit))
        s = trimBlanks(s.substr(colon + width));
    return s;
}

bool allDigits(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), isDigit); }

int64_t number(std::string_view digits) {
    int64_t v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    return v;
}

// A date issue YYMMDDNNN: a real date and a draw number 1..999.
bool datedIssue(int64_t v) { return v % 1000 >= 1 && issueDate(v).has_value(); }

// An eight-digit date YYYYMMDD (a date column, never an issue).
bool eightDigitDate(std::string_view s) {
    const int64_t v = number(s);
    const int64_t y = v / 10000;
    return y >= 1990 && y <= 2099 && issueDate((y % 100) * 10000000 + (v % 10000) * 1000 + 1).has_value();
}

// The nine-digit issue of "20YYMMDD" + draw digits, or nothing.
std::optional<int64_t> fromFullYear(std::string_view date8, std::string_view draw3) {
    if (!startsWith(date8, "20")) return std::nullopt;
    const int64_t v = number(date8.substr(2)) * 1000 + number(draw3);
    return datedIssue(v) ? std::optional<int64_t>(v) : std::nullopt;
}

bool isSeparator(char c) { return c == ',' || c == '-' || c == '|'; }

// "1 3 5", "1,3,5", "1, 3, 5", "1-3-5", "1|3|5", "1，3，5": three dice; between two of them blanks and at
// most one other separator, at least one character.
std::optional<ReadDice> separatedDice(std::string_view s) {
    ReadDice out;
    out.form = DiceForm::kSeparated;
    size_t i = 0;
    auto blanks = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    };
    for (int k = 0; k < 3; ++k) {
        if (i >= s.size() || !isDie(s[i])) return std::nullopt;
        out.d[k] = s[i++] - '0';
        if (k == 2) break;
        const size_t from = i;
        char sep = ' ';
        blanks();
        if (i < s.size() && isSeparator(s[i])) {
            sep = s[i++];
        } else if (startsWith(s.substr(i), "\xEF\xBC\x8C")) {  // the full-width comma
            sep = ',';
            i += 3;
        }
        blanks();
        if (i == from) return std::nullopt;
        if (!out.separator) out.separator = sep;
    }
    if (i != s.size()) return std::nullopt;
    return out;
}

const std::array<std::string_view, 20> kHeaderWords{"期号",  "期数",  "期次", "开奖", "号码",   "奖号",  "日期",
                                                    "时间",  "和值",  "形态", "大小", "单双",   "跨度",  "奇偶",
                                                    "issue", "Issue", "date", "Date", "number", "Number"};

}  // namespace

std::optional<ReadIssue> readIssue(std::string_view field) {
    std::string_view s = valueOf(field);
    if (startsWith(s, "第")) s.remove_prefix(3);
    if (endsWith(s, "期")) s.remove_suffix(3);
    s = trimBlanks(s);
    const size_t dash = s.find('-');
    if (dash != std::string_view::npos) {
        const std::string_view date = s.substr(0, dash), draw = s.substr(dash + 1);
        if (!allDigits(date) || !allDigits(draw) || draw.size() != 3) return std::nullopt;
        if (date.size() == 8) {
            if (auto v = fromFullYear(date, draw)) return ReadIssue{*v, IssueForm::kDashedEleven};
        } else if (date.size() == 6) {
            const int64_t v = number(date) * 1000 + number(draw);
            if (datedIssue(v)) return ReadIssue{v, IssueForm::kDashedNine};
        }
        return std::nullopt;
    }
    if (!allDigits(s)) return std::nullopt;
    if (s.size() == 11) {
        if (auto v = fromFullYear(s.substr(0, 8), s.substr(8))) return ReadIssue{*v, IssueForm::kEleven};
        return std::nullopt;
    }
    if (s.size() == 9 && datedIssue(number(s))) return ReadIssue{number(s), IssueForm::kNine};
    if (s.size() >= 5 && s.size() <= 9 && s[0] != '0' && !(s.size() == 8 && eightDigitDate(s)))
        return ReadIssue{number(s), IssueForm::kRunning};
    return std::nullopt;
}

std::optional<ReadDice> readDice(const FieldView& field) {
    if (field.parts && field.parts->size() >= 3) {
        ReadDice out;
        out.form = DiceForm::kElements;
        int k = 0;
        for (const std::string& part : *field.parts) {
            const std::string_view p = trimBlanks(part);
            if (p.empty()) continue;
            if (p.size() != 1 || !isDie(p[0])) break;
            out.d[k++] = p[0] - '0';
            if (k == 3) return out;
        }
    }
    const std::string_view s = valueOf(field.text);
    if (s.size() == 3 && isDie(s[0]) && isDie(s[1]) && isDie(s[2]))
        return ReadDice{{s[0] - '0', s[1] - '0', s[2] - '0'}, DiceForm::kTogether, 0};
    return separatedDice(s);
}

std::optional<int> readSingleDie(std::string_view field) {
    const std::string_view s = valueOf(field);
    if (s.size() == 1 && isDie(s[0])) return s[0] - '0';
    return std::nullopt;
}

bool isHeaderRow(const FieldRow& row) {
    bool word = false;
    for (const FieldView& f : row) {
        if (std::any_of(f.text.begin(), f.text.end(), isDigit)) return false;
        for (std::string_view w : kHeaderWords)
            if (f.text.find(w) != std::string_view::npos) word = true;
    }
    return word;
}

void splitLine(std::string_view line, Delimiter d, FieldRow& out, std::vector<std::string>& scratch, size_t limit) {
    out.clear();
    scratch.clear();
    if (d == Delimiter::kCells) {
        out.push_back({line});
        return;
    }
    const size_t n = line.size();
    if (d == Delimiter::kBlanks) {
        size_t i = 0;
        while (i < n && out.size() < limit) {
            while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
            if (i >= n) break;
            size_t e = i;
            while (e < n && line[e] != ' ' && line[e] != '\t') ++e;
            out.push_back({line.substr(i, e - i)});
            i = e;
        }
        return;
    }
    const char sep = d == Delimiter::kTab ? '\t' : d == Delimiter::kComma ? ',' : ';';
    // Unquoted texts are kept apart until the line is cut: growing the scratch list must not move them.
    scratch.reserve(std::count(line.begin(), line.end(), '"') / 2 + 1);
    size_t i = 0;
    for (;;) {
        if (out.size() >= limit) return;
        size_t b = i;
        while (b < n && line[b] == ' ') ++b;
        if (b < n && line[b] == '"') {
            // A quoted column: to the quote that is not doubled.
            std::string text;
            size_t e = b + 1;
            bool escaped = false;
            for (; e < n; ++e) {
                if (line[e] != '"') continue;
                if (e + 1 < n && line[e + 1] == '"') {
                    escaped = true;
                    ++e;
                    continue;
                }
                break;
            }
            std::string_view inner = line.substr(b + 1, std::min(e, n) - b - 1);
            if (escaped) {
                for (size_t k = 0; k < inner.size(); ++k) {
                    text += inner[k];
                    if (inner[k] == '"' && k + 1 < inner.size() && inner[k + 1] == '"') ++k;
                }
                scratch.push_back(std::move(text));
                inner = scratch.back();
            }
            out.push_back({inner});
            size_t next = line.find(sep, std::min(e + 1, n));
            if (next == std::string_view::npos) return;
            i = next + 1;
            continue;
        }
        const size_t next = line.find(sep, i);
        out.push_back({line.substr(i, (next == std::string_view::npos ? n : next) - i)});
        if (next == std::string_view::npos) return;
        i = next + 1;
    }
}

size_t ColumnShape::columnsNeeded() const { return std::max(issueColumn, diceColumn + (threeColumns ? 2 : 0)) + 1; }

std::optional<RowDraw> drawOfRow(const ColumnShape& shape, const FieldRow& row) {
    if (row.size() < shape.columnsNeeded()) return std::nullopt;
    auto issue = readIssue(row[shape.issueColumn].text);
    if (!issue) return std::nullopt;
    RowDraw out{*issue};
    if (shape.threeColumns) {
        auto a = readSingleDie(row[shape.diceColumn].text), b = readSingleDie(row[shape.diceColumn + 1].text),
             c = readSingleDie(row[shape.diceColumn + 2].text);
        if (!a || !b || !c) return std::nullopt;
        out.d1 = *a, out.d2 = *b, out.d3 = *c;
        return out;
    }
    auto dice = readDice(row[shape.diceColumn]);
    if (!dice) return std::nullopt;
    out.d1 = dice->d[0], out.d2 = dice->d[1], out.d3 = dice->d[2];
    return out;
}

namespace {

constexpr size_t kColumnsLooked = 32;  // columns of a line that may hold the issue or the dice

// What each column of a sample row could be.
struct ColumnReading {
    std::optional<ReadIssue> issue;
    std::optional<ReadDice> dice;
    bool single = false;
};

struct Candidate {
    std::vector<int64_t> issues;
    size_t dated = 0;
    std::map<std::pair<IssueForm, std::pair<DiceForm, char>>, size_t> forms;
};

using Layout = std::tuple<size_t, size_t, bool>;  // issue column, dice column, three columns

// Orders layouts of equal count: more dated issues, then the issue further left, then the dice right after it,
// then the dice in one column.
bool better(const Layout& a, size_t countA, size_t datedA, const Layout& b, size_t countB, size_t datedB) {
    if (countA != countB) return countA > countB;
    if (datedA != datedB) return datedA > datedB;
    const auto [ia, da, ta] = a;
    const auto [ib, db, tb] = b;
    if (ia != ib) return ia < ib;
    const bool afterA = da > ia, afterB = db > ib;
    if (afterA != afterB) return afterA;
    if (da != db) return afterA ? da < db : da > db;
    return !ta && tb;
}

}  // namespace

std::optional<ColumnShape> recogniseRows(const std::vector<FieldRow>& sample) {
    std::map<Layout, Candidate> candidates;
    std::vector<ColumnReading> cols;
    for (const FieldRow& row : sample) {
        const size_t n = std::min(row.size(), kColumnsLooked);
        cols.assign(n, {});
        for (size_t c = 0; c < n; ++c) {
            cols[c].issue = readIssue(row[c].text);
            cols[c].dice = readDice(row[c]);
            cols[c].single = readSingleDie(row[c].text).has_value();
        }
        for (size_t i = 0; i < n; ++i) {
            if (!cols[i].issue) continue;
            auto note = [&](const Layout& l, DiceForm form, char sep) {
                Candidate& c = candidates[l];
                c.issues.push_back(cols[i].issue->issue);
                if (cols[i].issue->dated()) ++c.dated;
                ++c.forms[{cols[i].issue->form, {form, sep}}];
            };
            for (size_t j = 0; j < n; ++j) {
                if (j == i) continue;
                if (cols[j].dice) note({i, j, false}, cols[j].dice->form, cols[j].dice->separator);
                if (j + 2 < n && (i < j || i > j + 2) && cols[j].single && cols[j + 1].single && cols[j + 2].single)
                    note({i, j, true}, DiceForm::kThreeFields, 0);
            }
        }
    }
    std::optional<ColumnShape> best;
    Layout bestLayout{};
    size_t bestCount = 0, bestDated = 0;
    for (auto& [layout, c] : candidates) {
        std::sort(c.issues.begin(), c.issues.end());
        const size_t count = static_cast<size_t>(std::unique(c.issues.begin(), c.issues.end()) - c.issues.begin());
        if (best && !better(layout, count, c.dated, bestLayout, bestCount, bestDated)) continue;
        ColumnShape s;
        std::tie(s.issueColumn, s.diceColumn, s.threeColumns) = layout;
        const auto common = std::max_element(c.forms.begin(), c.forms.end(),
                                             [](const auto& a, const auto& b) { return a.second < b.second; });
        s.issueForm = common->first.first;
        s.diceForm = common->first.second.first;
        s.separator = common->first.second.second;
        s.sampleDraws = count;
        best = s;
        bestLayout = layout;
        bestCount = count;
        bestDated = c.dated;
    }
    return best;
}

std::optional<ColumnShape> recogniseLines(const std::vector<std::string_view>& sample) {
    std::optional<ColumnShape> best;
    FieldRow row;
    std::vector<std::string> scratch;
    for (const Delimiter d : {Delimiter::kTab, Delimiter::kComma, Delimiter::kSemicolon, Delimiter::kBlanks}) {
        const char mark = d == Delimiter::kTab         ? '\t'
                          : d == Delimiter::kComma     ? ','
                          : d == Delimiter::kSemicolon ? ';'
                                                       : ' ';
        if (d != Delimiter::kBlanks && std::none_of(sample.begin(), sample.end(), [mark](std::string_view l) {
                return l.find(mark) != std::string_view::npos;
            }))
            continue;
        // The texts behind the rows stay until the rows are read.
        std::vector<std::vector<std::string>> kept(sample.size());
        std::vector<FieldRow> rows(sample.size());
        for (size_t i = 0; i < sample.size(); ++i) splitLine(sample[i], d, rows[i], kept[i], kColumnsLooked);
        std::optional<ColumnShape> s = recogniseRows(rows);
        if (s && (!best || s->sampleDraws > best->sampleDraws)) {
            s->delimiter = d;
            best = s;
        }
    }
    return best;
}

std::string describeDelimiter(Delimiter d) {
    switch (d) {
        case Delimiter::kTab: return "制表符分列";
        case Delimiter::kComma: return "逗号分列";
        case Delimiter::kSemicolon: return "分号分列";
        case Delimiter::kBlanks: return "空格分列";
        case Delimiter::kCells: return "";
    }
    return "";
}

std::string describeIssueForm(IssueForm form) {
    switch (form) {
        case IssueForm::kNine: return "期号 9 位";
        case IssueForm::kEleven: return "期号 11 位";
        case IssueForm::kDashedEleven: return "期号 8 位日期加短横和 3 位期数";
        case IssueForm::kDashedNine: return "期号 6 位日期加短横和 3 位期数";
        case IssueForm::kRunning: return "期号为连续编号";
    }
    return "";
}

std::string describeDiceForm(DiceForm form, char separator) {
    switch (form) {
        case DiceForm::kTogether: return "号码 3 位相连";
        case DiceForm::kElements: return "号码各为一个元素";
        case DiceForm::kThreeFields: return "号码各占一列";
        case DiceForm::kSeparated:
            return separator == ','   ? "号码以逗号分隔"
                   : separator == '-' ? "号码以短横分隔"
                   : separator == '|' ? "号码以竖线分隔"
                                      : "号码以空格分隔";
    }
    return "";
}

std::string describeShape(const ColumnShape& s) {
    std::string out = describeIssueForm(s.issueForm) + "，" +
                      describeDiceForm(s.threeColumns ? DiceForm::kThreeFields : s.diceForm, s.separator);
    out += "，第 " + std::to_string(s.issueColumn + 1) + "、" + std::to_string(s.diceColumn + 1);
    if (s.threeColumns) out += "、" + std::to_string(s.diceColumn + 2) + "、" + std::to_string(s.diceColumn + 3);
    return out + " 列";
}

}  // namespace k3
