// The shape of a history that is not written in the program's own format: which column holds the issue,
// which the dice, how each is written, and how a line is cut into columns. Decided once per file (or page)
// from a sample of its lines, then applied to every line; described in words for the player.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k3 {

// How an issue is written.
enum class IssueForm : uint8_t {
    kNine,          // 191027001
    kEleven,        // 20191027001
    kDashedEleven,  // 20191027-001
    kDashedNine,    // 191027-001
    kRunning,       // a running number (北京快3): no date in it
};

// How the three dice are written.
enum class DiceForm : uint8_t {
    kTogether,     // 135
    kSeparated,    // 1 3 5, 1,3,5, 1-3-5, 1|3|5 (one separator between two dice)
    kElements,     // one element each inside one cell of a page: <span>1</span><span>3</span>…
    kThreeFields,  // three columns of their own
};

// How a line is cut into columns.
enum class Delimiter : uint8_t { kTab, kComma, kSemicolon, kBlanks, kCells };

// One column of a line: its text, and for a cell of a page the texts of the elements directly inside it.
struct FieldView {
    std::string_view text;
    const std::vector<std::string>* parts = nullptr;
};
using FieldRow = std::vector<FieldView>;

struct ReadIssue {
    int64_t issue = 0;  // YYMMDDNNN for the date forms, the number itself for running numbers
    IssueForm form = IssueForm::kNine;
    bool dated() const { return form != IssueForm::kRunning; }
};

// The issue a column holds: one of the forms above, possibly quoted, with a label before a colon
// ("期号:191027001"), or as 第…期. Date forms need a real date (years 2000-2099) and a draw number from
// 1 to 999; running numbers have five to nine digits, no leading zero, and are no date.
std::optional<ReadIssue> readIssue(std::string_view field);

struct ReadDice {
    int d[3] = {0, 0, 0};
    DiceForm form = DiceForm::kTogether;
    char separator = 0;  // kSeparated: ' ', ',', '-', '|' (the first one between the dice)
};

// The three dice 1..6 one column holds, written together or with one separator between two, or as the
// first three elements of a page's cell. A label before a colon is passed over.
std::optional<ReadDice> readDice(const FieldView& field);
// One die 1..6 alone in a column (one of three columns of their own).
std::optional<int> readSingleDie(std::string_view field);

// Whether a line without a draw is a header: no digit in it, and a word such as 期号, 开奖号码 or 日期.
bool isHeaderRow(const FieldRow& row);

// Cuts a line into columns. Tabs, commas and semicolons: a column may be quoted ("…", "" for a quote
// inside), blanks around a column are dropped. Blanks: runs of blanks and tabs separate, quotes around a
// column are dropped. At most `limit` columns are cut; `scratch` holds unquoted texts until the next call.
void splitLine(std::string_view line, Delimiter d, FieldRow& out, std::vector<std::string>& scratch, size_t limit = 64);

struct ColumnShape {
    Delimiter delimiter = Delimiter::kCells;
    size_t issueColumn = 0;  // 0-based
    size_t diceColumn = 0;   // the first of three when the dice are in three columns
    bool threeColumns = false;
    // The forms most lines of the sample had, for the description; every line may use any of them.
    IssueForm issueForm = IssueForm::kNine;
    DiceForm diceForm = DiceForm::kTogether;
    char separator = 0;
    size_t sampleDraws = 0;  // draws the shape read from the sample

    // The columns a line must have for the shape to read it.
    size_t columnsNeeded() const;
};

struct RowDraw {
    ReadIssue issue;
    int d1 = 0, d2 = 0, d3 = 0;
};

// The draw a row holds in this shape, or nothing.
std::optional<RowDraw> drawOfRow(const ColumnShape& shape, const FieldRow& row);

// The shape under which the most rows of the sample yield a draw (counting each issue once); nothing when
// no row yields one. Rows already cut into cells (a workbook, a page's table).
std::optional<ColumnShape> recogniseRows(const std::vector<FieldRow>& sample);
// The same for lines of text: each delimiter is tried, and the one that reads the most draws is taken.
std::optional<ColumnShape> recogniseLines(const std::vector<std::string_view>& sample);

// The shape in words: "期号 11 位，号码以逗号分隔，第 2、3 列".
std::string describeShape(const ColumnShape& shape);
// The parts of it: "期号 11 位", "号码以逗号分隔".
std::string describeIssueForm(IssueForm form);
std::string describeDiceForm(DiceForm form, char separator);
// How the lines are cut, in words ("逗号分列"); empty for cells.
std::string describeDelimiter(Delimiter d);

}  // namespace k3
