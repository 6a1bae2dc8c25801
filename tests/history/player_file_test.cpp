// Players' history files in every shape they come in: each a real file written here (text in UTF-8,
// UTF-16 and GBK, workbooks written by libxlsxwriter, an .xls kept in tests/history/data), read with the
// right draws and described; the program's own format read exactly by its line rules; draws that cannot be
// the province's named.
#include <gtest/gtest.h>
#include <iconv.h>
#include <xlsxwriter.h>

#include <fstream>

#include "history/player_file.h"
#include "test_support.h"

using namespace k3;

namespace {

using Draws = std::vector<std::string>;

Draws drawsOf(const PlayerFile& f) {
    Draws out;
    for (const IssueDice& d : f.parsed.draws)
        out.push_back(std::to_string(d.issue) + " " + std::to_string(d.d1 * 100 + d.d2 * 10 + d.d3));
    return out;
}

const Draws kThree{"191027001 135", "191027002 246", "191027003 611"};

std::string gbk(const std::string& utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    std::string out(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* o = out.data();
    size_t inLeft = utf8.size(), outLeft = out.size();
    EXPECT_NE(iconv(cd, &in, &inLeft, &o, &outLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::string utf16(const std::string& ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

struct ShapeCase {
    const char* what;
    std::string bytes;
    Draws draws;
    const char* shape;  // the start of shapeText()
    size_t skipped = 0;
};

class PlayerFileTest : public ::testing::Test {
protected:
    k3test::TempDir dir;
    PlayerFile read(const std::string& bytes, std::optional<int> province = std::nullopt) {
        const std::string path = dir.file("h.txt");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        k3::PlayerFileOptions options;
        options.province = province;
        return readPlayerFile(path, options);
    }
};

}  // namespace

TEST_F(PlayerFileTest, EveryShapeOfText) {
    const std::vector<ShapeCase> cases{
        {"blanks, three dice columns", "191027001 1 3 5\r\n191027002 2 4 6\r\n191027003 6 1 1\r\n", kThree,
         "期号 9 位，号码各占一列，第 1、2、3、4 列（空格分列"},
        {"commas, three dice columns", "191027001,1,3,5\n191027002,2,4,6\n191027003,6,1,1\n", kThree,
         "期号 9 位，号码各占一列，第 1、2、3、4 列（逗号分列"},
        {"eleven digits, dice together", "20191027001 135\n20191027002 246\n20191027003 611\n", kThree,
         "期号 11 位，号码 3 位相连，第 1、2 列"},
        {"eleven digits, a date column, dice with blanks",
         "20191027001,2019-10-27,1 3 5\n20191027002,2019-10-27,2 4 6\n20191027003,2019-10-27,6 1 1\n", kThree,
         "期号 11 位，号码以空格分隔，第 1、3 列（逗号分列"},
        {"dashed eleven, dice with commas", "20191027-001 1,3,5\n20191027-002 2,4,6\n20191027-003 6,1,1\n", kThree,
         "期号 8 位日期加短横和 3 位期数，号码以逗号分隔，第 1、2 列"},
        {"dashed nine", "191027-001 1 3 5\n191027-002 2 4 6\n191027-003 6 1 1\n", kThree,
         "期号 6 位日期加短横和 3 位期数，号码各占一列"},
        {"a date first", "2019-10-27 191027001 135\n2019-10-27 191027002 246\n2019-10-27 191027003 611\n", kThree,
         "期号 9 位，号码 3 位相连，第 2、3 列"},
        {"labels", "期号:191027001 开奖号码:1 3 5\n期号：191027002 开奖号码：2 4 6\n期号:191027003 开奖号码:6 1 1\n",
         kThree, "期号 9 位，号码各占一列，第 1、2、3、4 列"},
        {"tabs, dashes between dice, a time, 和值 and words",
         "08:40\t191027001\t1-3-5\t9\t小单\n08:50\t191027002\t2-4-6\t12\t大双\n09:00\t191027003\t6-1-1\t8\t小双\n",
         kThree, "期号 9 位，号码以短横分隔，第 2、3 列（制表符分列"},
        {"semicolons, quoted, bars", "\"191027001\";\"1|3|5\"\n\"191027002\";\"2|4|6\"\n\"191027003\";\"6|1|1\"\n",
         kThree, "期号 9 位，号码以竖线分隔，第 1、2 列（分号分列"},
        {"quoted with a comma inside, commas and blanks",
         "\"191027001\",\"1, 3, 5\",\"a \"\"b\"\"\"\n191027002,\"2, 4, 6\",x\n191027003,\"6, 1, 1\",y\n", kThree,
         "期号 9 位，号码以逗号分隔，第 1、2 列（逗号分列"},
        {"newest first, a header line",
         "期号,开奖号码,和值,形态\n20191027003,611,8,对子\n20191027002,246,12,三不同\n20191027001,135,9,三不同\n",
         kThree, "期号 11 位，号码 3 位相连，第 1、2 列（逗号分列，UTF-8 文本，有标题行）"},
        {"第…期", "第191027001期 135\n第191027002期 246\n第191027003期 611\n", kThree, "期号 9 位，号码 3 位相连"},
        {"a line without a draw and a repeat are skipped",
         "20191027001,1,3,5\nnothing here 1\n20191027002,2,4,6\n20191027001,6,6,6\n20191027003,6,1,1\n", kThree,
         "期号 11 位，号码各占一列", 2},
        {"years 2000-2009 keep their leading zero",
         "20081231078,2,5,3\n20090101001,6,6,6\n",
         {"81231078 253", "90101001 666"},
         "期号 11 位"},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.what);
        PlayerFile f = read(c.bytes);
        EXPECT_FALSE(f.ownFormat);
        EXPECT_EQ(drawsOf(f), c.draws);
        EXPECT_EQ(f.shapeText().rfind(c.shape, 0), 0u) << f.shapeText();
        EXPECT_EQ(f.parsed.skippedCount, c.skipped);
    }
}

TEST_F(PlayerFileTest, EncodingsAChineseWindowsProgramWrites) {
    const std::string csv =
        "期号,开奖日期,开奖号码\r\n20191027001,2019-10-27,1 3 5\r\n20191027002,2019-10-27,2 4 6\r\n"
        "20191027003,2019-10-27,6 1 1\r\n";
    struct {
        std::string bytes;
        const char* source;
    } const encodings[]{
        {csv, "UTF-8 文本"},
        {"\xEF\xBB\xBF" + csv, "UTF-8 文本"},
        {gbk(csv), "GBK 文本"},
        {gbk("开奖号码 期号 大小\r\n135 191027001 小\r\n246 191027002 大\r\n611 191027003 小\r\n"), "GBK 文本"}};
    for (const auto& e : encodings) {
        PlayerFile f = read(e.bytes);
        EXPECT_EQ(drawsOf(f), kThree) << e.source;
        EXPECT_EQ(f.headerLines, 1u);
        EXPECT_EQ(f.parsed.skippedCount, 0u);
        EXPECT_NE(f.shapeText().find(e.source), std::string::npos) << f.shapeText();
    }
    // UTF-16 with a byte-order mark, either order (ASCII is enough to tell the shape apart).
    for (bool be : {false, true}) {
        PlayerFile f = read(utf16("20191027001;135\r\n20191027002;246\r\n20191027003;611\r\n", be));
        EXPECT_EQ(drawsOf(f), kThree);
        EXPECT_NE(f.shapeText().find("UTF-16 文本"), std::string::npos);
    }
    // The preview lists the header, then each line beside its draw.
    PlayerFile f = read(gbk(csv));
    ASSERT_EQ(f.preview.size(), 4u);
    EXPECT_EQ(f.preview[0].kind, PreviewLine::Kind::kHeader);
    EXPECT_EQ(f.preview[0].text, "期号,开奖日期,开奖号码");
    EXPECT_EQ(f.preview[2].kind, PreviewLine::Kind::kDraw);
    EXPECT_EQ(f.preview[2].number, 3u);
    EXPECT_EQ(f.preview[2].draw.issue, 191027002);
    EXPECT_EQ(f.preview[2].draw.d3, 6);
}

// Whatever another shape could make of them, files the program's own rules read are read by those rules
// alone: the same draws, the same skipped lines, nothing newly skipped.
TEST_F(PlayerFileTest, TheProgramsOwnFormatIsReadByItsRulesAlone) {
    for (const std::string& text :
         {std::string("130325002 666\r\n130325001 253\r\n130325003 2 5 3\r\n"),
          std::string("130325001 253\r\n130325001 666\r\nnot a draw\r\n130325002  253 tail\r\n"),
          std::string("期号 号码\r\n130325001 253\r\n20130325002,2,5,3\r\n"), std::string("\r\n \r\n"),
          std::string("130325001253\n130325999 111\n000000001 111\n")}) {
        SCOPED_TRACE(text);
        PlayerFile f = read(text);
        const ParsedLines own = parseHistoryLines(text);
        EXPECT_TRUE(f.ownFormat);
        ASSERT_EQ(f.parsed.draws.size(), own.draws.size());
        for (size_t i = 0; i < own.draws.size(); ++i) {
            EXPECT_EQ(f.parsed.draws[i].issue, own.draws[i].issue);
            EXPECT_EQ(f.parsed.draws[i].d1 * 100 + f.parsed.draws[i].d2 * 10 + f.parsed.draws[i].d3,
                      own.draws[i].d1 * 100 + own.draws[i].d2 * 10 + own.draws[i].d3);
        }
        ASSERT_EQ(f.parsed.skippedCount, own.skippedCount);
        for (size_t i = 0; i < own.skipped.size(); ++i) EXPECT_EQ(f.parsed.skipped[i].text, own.skipped[i].text);
        EXPECT_EQ(f.shapeText().rfind("本程序的历史号码格式", 0), 0u);
    }
    // The preview: a repeat is named as one.
    PlayerFile f = read("130325001 253\r\n130325001 666\r\nx\r\n");
    ASSERT_EQ(f.preview.size(), 3u);
    EXPECT_EQ(f.preview[0].kind, PreviewLine::Kind::kDraw);
    EXPECT_EQ(f.preview[1].kind, PreviewLine::Kind::kRepeat);
    EXPECT_EQ(f.preview[2].kind, PreviewLine::Kind::kSkipped);
}

TEST_F(PlayerFileTest, NothingReadableAndNotADateAreNoShape) {
    for (const char* text : {"a;b;c\r\n1,2,3\r\n", "20191327001,1,3,5\n20191327002,2,4,6\n",  // month 13
                             "20191027001 1 3 7\n", "20191027000,1,3,5\n", "1910270011 135\n"}) {
        PlayerFile f = read(text);
        EXPECT_TRUE(f.parsed.draws.empty()) << text << " " << f.shapeText();
        EXPECT_GT(f.parsed.skippedCount, 0u) << text;
    }
}

TEST_F(PlayerFileTest, RunningNumbersOfBeijing) {
    PlayerFile f = read("期号,开奖号码\n123456,1 3 5\n123457,2 4 6\n123458,6 1 1\n");
    EXPECT_EQ(drawsOf(f), (Draws{"123456 135", "123457 246", "123458 611"}));
    EXPECT_EQ(f.shapeText().rfind("期号为连续编号，号码以空格分隔，第 1、2 列", 0), 0u) << f.shapeText();
}

// A draw that cannot be the province's is named by its line: a draw number above the draws per day, running
// numbers into a date-based province, and a file numbered by dates into 北京快3.
TEST_F(PlayerFileTest, DrawsThatDoNotFitTheProvinceAreNamed) {
    const int fujian = 0, jiangsu = 3, beijing = 9;  // 78, 82 and 78 draws a day
    const std::string eighty = "20191027078,1,3,5\n20191027079,2,4,6\n20191027080,6,1,1\n";
    EXPECT_FALSE(read(eighty, jiangsu).misfit);
    std::optional<Misfit> m = read(eighty, fujian).misfit;
    ASSERT_TRUE(m);
    EXPECT_EQ(m->line, 2u);
    EXPECT_EQ(m->message(), "第 2 行「20191027079,2,4,6」的期号超过了福建快3每天的 78 期：这些号码可能是另一个省的");
    EXPECT_FALSE(read(eighty).misfit);  // no province given: nothing checked

    // The program's own format is checked by the same rule, at its first such line in file order.
    m = read("130325082 111\r\n130325001 222\r\n130325079 333\r\n", fujian).misfit;
    ASSERT_TRUE(m);
    EXPECT_EQ(m->line, 1u);

    const std::string running = "123456,1 3 5\n123457,2 4 6\n";
    m = read(running, fujian).misfit;
    ASSERT_TRUE(m);
    EXPECT_NE(m->why.find("不是按日期编的期号"), std::string::npos);
    EXPECT_FALSE(read(running, beijing).misfit);
    m = read(eighty, beijing).misfit;
    ASSERT_TRUE(m);
    EXPECT_EQ(m->line, 1u);
    EXPECT_NE(m->why.find("北京快3的期号是连续编号"), std::string::npos);
}

namespace {

// A workbook of three draws; the issue in column B, as a number or as text, the dice in C or in C-E.
void writeXlsx(const std::string& path, bool issueAsText, bool threeCells) {
    lxw_workbook* book = workbook_new(path.c_str());
    lxw_worksheet* sheet = workbook_add_worksheet(book, "开奖");
    worksheet_write_string(sheet, 0, 0, "开奖日期", nullptr);
    worksheet_write_string(sheet, 0, 1, "期号", nullptr);
    worksheet_write_string(sheet, 0, 2, "开奖号码", nullptr);
    const std::pair<double, const char*> rows[]{{20191027001, "135"}, {20191027002, "246"}, {20191027003, "611"}};
    for (int r = 0; r < 3; ++r) {
        const auto row = static_cast<lxw_row_t>(r + 1);
        worksheet_write_string(sheet, row, 0, "2019-10-27", nullptr);
        if (issueAsText)
            worksheet_write_string(sheet, row, 1, std::to_string(static_cast<int64_t>(rows[r].first)).c_str(), nullptr);
        else
            worksheet_write_number(sheet, row, 1, rows[r].first, nullptr);
        if (threeCells) {
            for (int k = 0; k < 3; ++k)
                worksheet_write_number(sheet, row, static_cast<lxw_col_t>(2 + k), rows[r].second[k] - '0', nullptr);
        } else {
            worksheet_write_string(sheet, row, 2, rows[r].second, nullptr);
        }
    }
    // A second sheet is never read.
    worksheet_write_string(workbook_add_worksheet(book, "其他"), 0, 0, "20191027009 666", nullptr);
    ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
}

}  // namespace

TEST_F(PlayerFileTest, WorkbooksOfEitherKind) {
    for (bool asText : {false, true}) {
        for (bool three : {false, true}) {
            const std::string path = dir.file("h.xlsx");
            writeXlsx(path, asText, three);
            PlayerFile f = readPlayerFile(path);
            EXPECT_EQ(drawsOf(f), kThree) << asText << three;
            EXPECT_EQ(f.headerLines, 1u);
            EXPECT_EQ(f.parsed.skippedCount, 0u);
            EXPECT_EQ(f.shapeText(), three ? "期号 11 位，号码各占一列，第 2、3、4、5 列（xlsx 工作簿，有标题行）"
                                           : "期号 11 位，号码 3 位相连，第 2、3 列（xlsx 工作簿，有标题行）");
            ASSERT_GE(f.preview.size(), 2u);
            EXPECT_EQ(f.preview[1].text.rfind("2019-10-27\t20191027001\t", 0), 0u) << f.preview[1].text;
        }
    }
    // Known by its bytes, whatever its name; the name is only for messages.
    const std::string renamed = dir.file("h.csv");
    writeXlsx(renamed, false, false);
    EXPECT_EQ(drawsOf(readPlayerFile(renamed)), kThree);

    // The .xls of tests/history/data (see make_xls.py there): numbers, texts and three dice cells.
    PlayerFile xls = readPlayerFile(K3GAP_TEST_DATA "/draws.xls");
    EXPECT_EQ(drawsOf(xls), (Draws{"191027001 135", "191027002 246", "191027003 611", "191028001 222"}));
    EXPECT_EQ(xls.shapeText(), "期号 11 位，号码各占一列，第 2、3、4、5 列（xls 工作簿，有标题行）");
}

TEST_F(PlayerFileTest, DamagedWorkbooksAreSaidSoAndChangeNothing) {
    const std::string path = dir.file("bad.xlsx");
    writeXlsx(path, false, false);
    std::string bytes = k3test::fileBytes(path);
    for (const std::string& broken : {bytes.substr(0, bytes.size() / 2), std::string("PK\x03\x04 not a zip", 14)}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << broken;
        try {
            readPlayerFile(path);
            ADD_FAILURE() << "a broken workbook was read";
        } catch (const ImportError& e) {
            EXPECT_NE(std::string(e.what()).find("无法读取工作簿"), std::string::npos) << e.what();
        }
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 no", 11);
    EXPECT_THROW(readPlayerFile(path), ImportError);
}

// The columns one line can hold: the forms of an issue and of the dice that are taken, and those that are
// not (which would otherwise be read as draws they are not).
TEST(ShapeFields, IssuesDiceAndColumns) {
    const std::pair<const char*, int64_t> issues[]{
        {"191027001", 191027001},     {"091027001", 91027001},        {"20191027001", 191027001},
        {"20191027-001", 191027001},  {"191027-001", 191027001},      {"期号：191027001", 191027001},
        {"第191027001期", 191027001}, {" \"191027001\" ", 191027001}, {"123456", 123456}};
    for (const auto& [text, want] : issues) {
        auto got = readIssue(text);
        ASSERT_TRUE(got) << text;
        EXPECT_EQ(got->issue, want) << text;
    }
    // Nine digits that are no date can only be a running number (北京快3's; the province check names them).
    EXPECT_EQ(readIssue("123456")->form, IssueForm::kRunning);
    EXPECT_EQ(readIssue("191027000")->form, IssueForm::kRunning);
    // No date, a draw number 000, ten digits, a dash in the wrong place, a date column, a time, too short.
    for (const char* text :
         {"20191327001", "20191027000", "2019102700", "191027-1", "20191027", "08:40", "1234", "012345", "19102700１"})
        EXPECT_FALSE(readIssue(text)) << text;

    for (const char* text : {"135", "1 3 5", "1,3,5", "1, 3, 5", "1-3-5", "1|3|5", "1，3，5", "开奖号码:135"}) {
        auto d = readDice(FieldView{text});
        ASSERT_TRUE(d) << text;
        EXPECT_EQ(d->d[0] * 100 + d->d[1] * 10 + d->d[2], 135) << text;
    }
    for (const char* text : {"1 3", "1357", "0 3 5", "1,,3,5", "1 3 5 6", "7 3 5", "1.3.5", "13 5x"})
        EXPECT_FALSE(readDice(FieldView{text})) << text;
    const std::vector<std::string> spans{"1", "3", "5", "和值9"};
    EXPECT_EQ(readDice(FieldView{"135和值9", &spans})->form, DiceForm::kElements);

    FieldRow row;
    std::vector<std::string> scratch;
    splitLine("a, \"b,c\",\"d\"\"e\",", Delimiter::kComma, row, scratch);
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[1].text, "b,c");
    EXPECT_EQ(row[2].text, "d\"e");
    EXPECT_EQ(row[3].text, "");
    splitLine(" 191027001 \t 1  3 ", Delimiter::kBlanks, row, scratch);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[2].text, "3");
}
