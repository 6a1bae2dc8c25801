// The history text file and the workbooks of the grids.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "export/history_text.h"
#include "export/workbook.h"
#include "test_support.h"

using namespace k3;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// The worksheet XML of a workbook, read with the zip module of python3.
std::string sheetXml(const std::string& xlsx) {
    std::string cmd = "python3 -c \"import sys,zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1])"
                      ".read('xl/worksheets/sheet1.xml').decode())\" '" + xlsx + "'";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

Snapshot snapOf(HistoryStore& s) { return *s.snapshot(); }

}  // namespace

TEST(HistoryTextExport, TwoDrawsAndTheFileName) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}, {130325002, "666"}}));
    auto res = exportHistoryText(snapOf(store), dir.path().string());
    ASSERT_TRUE(res);
    EXPECT_EQ(fs::path(res->path).filename(), fs::u8path("更新至130325002期历史号码.txt"));
    EXPECT_EQ(slurp(res->path), "130325001 253\r\n130325002 666\r\n");
    EXPECT_EQ(res->lines, 2u);
    EXPECT_EQ(res->shortIssues, 0u);
    EXPECT_FALSE(fs::exists(res->path + ".part"));
}

TEST(HistoryTextExport, EmptyHistoryAndUnwritableFolder) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    EXPECT_FALSE(exportHistoryText(snapOf(store), dir.path().string()));
    for (const auto& e : fs::directory_iterator(dir.path())) EXPECT_NE(e.path().extension(), ".txt");

    store.append(k3test::draws({{12345, "111"}, {130325001, "253"}}));
    std::string target = dir.file("out.txt");
    std::ofstream(target) << "previous";
    fs::create_directory(target + ".part");  // the side file cannot be created
    EXPECT_THROW(exportHistoryText(snapOf(store), "", target), ExportError);
    EXPECT_EQ(slurp(target), "previous");
    fs::remove(target + ".part");
    auto res = exportHistoryText(snapOf(store), "", target);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->shortIssues, 1u);  // 12345 will not be read back by the import
}

TEST(Workbook, CellsNumbersAndTexts) {
    k3test::TempDir dir;
    Grid g;
    g.header = {"期号", "第1位", "大后比"};
    g.rows = {{"130325001", "2", "1.5"}, {"01", "-3", "1X2"}, {"", "007", "1234567890123456"}};
    std::string path = dir.file("Jiansuo.xlsx");
    writeWorkbook(g, path);
    std::string xml = sheetXml(path);
    ASSERT_FALSE(xml.empty());
    EXPECT_NE(xml.find("期号"), std::string::npos);  // A1 is cell (0, 0)
    EXPECT_NE(xml.find("<c r=\"A1\""), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"A2\"><v>130325001</v>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"C2\"><v>1.5</v>"), std::string::npos);
    EXPECT_NE(xml.find("<c r=\"B3\"><v>-3</v>"), std::string::npos);
    // Texts that would change as numbers stay texts.
    for (const char* cell : {"A3", "C3", "B4", "C4"}) {
        size_t at = xml.find(std::string("<c r=\"") + cell + "\"");
        ASSERT_NE(at, std::string::npos) << cell;
        EXPECT_NE(xml.substr(at, 40).find("t=\""), std::string::npos) << cell << " is not text";
    }
    EXPECT_EQ(xml.find("<c r=\"A4\""), std::string::npos);  // empty cell
}

TEST(Workbook, UnwritableTargetIsReportedAndNothingIsLeft) {
    k3test::TempDir dir;
    Grid g;
    g.header = {"期号"};
    EXPECT_THROW(writeWorkbook(g, dir.file("missing/lishi.xlsx")), std::runtime_error);
    fs::create_directory(dir.file("lishi.xlsx"));  // a folder in the way
    EXPECT_THROW(writeWorkbook(g, dir.file("lishi.xlsx")), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir.file("lishi.xlsx.part")));
    // A header-only grid is a one-row sheet.
    writeWorkbook(g, dir.file("Jieguo.xlsx"));
    EXPECT_EQ(sheetXml(dir.file("Jieguo.xlsx")).find("<c r=\"A2\""), std::string::npos);
}
