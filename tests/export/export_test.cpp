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

// A part of a workbook as text, read with python3's zip module.
std::string unzipText(const std::string& xlsx, const std::string& part) {
    std::string cmd =
        "python3 -c \"import sys,zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1])"
        ".read(sys.argv[2]).decode())\" '" +
        xlsx + "' '" + part + "'";
    std::string out;
    char buf[4096];
    FILE* p = popen(cmd.c_str(), "r");
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (p) pclose(p);
    return out;
}

std::string sheetXml(const std::string& xlsx) { return unzipText(xlsx, "xl/worksheets/sheet1.xml"); }

}  // namespace

TEST(HistoryTextExport, FileNameContentAndFailures) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    EXPECT_FALSE(exportHistoryText(*store.snapshot(), false, dir.path().string()));  // empty history: no file

    store.append(k3test::draws({{130325001, "253"}, {130325002, "666"}}));
    auto res = exportHistoryText(*store.snapshot(), false, dir.path().string());
    ASSERT_TRUE(res);
    EXPECT_EQ(fs::path(res->path).filename(), fs::u8path("更新至130325002期历史号码.txt"));
    EXPECT_EQ(slurp(res->path), "130325001 253\r\n130325002 666\r\n");

    // Short issues are counted.
    store.append(k3test::draws({{12345, "111"}}));
    EXPECT_EQ(exportHistoryText(*store.snapshot(), false, "", dir.file("out.txt"))->shortIssues, 1u);
}

TEST(Workbook, CellsNumbersTextsAndFailures) {
    k3test::TempDir dir;
    Grid g;
    g.header = {"期号", "第1位", "大后比"};
    g.rows = {{"130325001", "2", "1.5"}, {"01", "-3", "1X2"}, {"", "007", "1234567890123456"}};
    writeWorkbook(g, dir.file("Jiansuo.xlsx"));
    std::string xml = sheetXml(dir.file("Jiansuo.xlsx"));
    EXPECT_NE(xml.find("期号"), std::string::npos);  // A1 is cell (0, 0)
    for (const char* number : {"<c r=\"A2\"><v>130325001</v>", "<c r=\"C2\"><v>1.5</v>", "<c r=\"B3\"><v>-3</v>"})
        EXPECT_NE(xml.find(number), std::string::npos) << number;
    // Texts that a number would change stay texts; an empty cell is left out.
    for (const char* cell : {"A1", "A3", "C3", "B4", "C4"}) {
        size_t at = xml.find(std::string("<c r=\"") + cell + "\"");
        ASSERT_NE(at, std::string::npos) << cell;
        EXPECT_NE(xml.substr(at, 20).find("t=\""), std::string::npos) << cell << " is not text";
    }
    EXPECT_EQ(xml.find("<c r=\"A4\""), std::string::npos);

    // An issue of 2000-2009 keeps its nine digits: a number shown with the format 000000000.
    Grid issues;
    issues.header = {"期号"};
    issues.rows = {{"080101001"}, {"130325001"}};
    writeWorkbook(issues, dir.file("lishi.xlsx"));
    xml = sheetXml(dir.file("lishi.xlsx"));
    size_t a2 = xml.find("<c r=\"A2\"");
    ASSERT_NE(a2, std::string::npos);
    const std::string cellA2 = xml.substr(a2, xml.find("</c>", a2) - a2);
    EXPECT_NE(cellA2.find("<v>80101001</v>"), std::string::npos) << cellA2;
    EXPECT_NE(cellA2.find(" s=\""), std::string::npos) << "no number format: " << cellA2;
    EXPECT_NE(xml.find("<c r=\"A3\"><v>130325001</v>"), std::string::npos);
    EXPECT_NE(unzipText(dir.file("lishi.xlsx"), "xl/styles.xml").find("formatCode=\"000000000\""), std::string::npos);
    fs::remove(dir.file("lishi.xlsx"));

    EXPECT_THROW(writeWorkbook(g, dir.file("missing/lishi.xlsx")), std::runtime_error);
    fs::create_directory(dir.file("lishi.xlsx"));  // a folder in the way
    EXPECT_THROW(writeWorkbook(g, dir.file("lishi.xlsx")), std::runtime_error);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);  // the workbook and the folder, no side file
}

TEST(ExportTarget, NeverTheDatabaseTheBackupOrAFileThatIsNotRegular) {
    k3test::TempDir dir;
    const std::string data = dir.path().string();
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}, {130325002, "666"}}));
    auto snap = store.snapshot();
    std::ofstream(dir.file("lsbf.txt"), std::ios::binary) << "130325001 2 5 3 \r\n";
    fs::create_symlink(dir.file("gapbook.db"), dir.file("link-to-db"));
    fs::create_directory(dir.file("sub"));
    const std::string db = slurp(dir.file("gapbook.db")), backup = slurp(dir.file("lsbf.txt"));
    Grid g;
    g.header = {"期号"};
    for (const std::string& target :
         {dir.file("gapbook.db"), data + "/sub/../gapbook.db", dir.file("gapbook.db-wal"), dir.file("gapbook.db-shm"),
          dir.file("lsbf.txt"), dir.file("link-to-db"), dir.file("sub"), std::string("/dev/null")}) {
        EXPECT_THROW(exportHistoryText(*snap, false, data, target), ExportError) << target;
        EXPECT_THROW(writeWorkbook(g, target, data), ExportError) << target;
    }
    EXPECT_THROW(writeWorkbook(g, "/dev/null"), ExportError);  // not regular, whatever the folder
    EXPECT_TRUE(slurp(dir.file("gapbook.db")) == db);
    EXPECT_EQ(slurp(dir.file("lsbf.txt")), backup);
    EXPECT_TRUE(fs::is_symlink(dir.file("link-to-db")));
    EXPECT_EQ(store.snapshot()->size(), 2u);
}

TEST(ExportTarget, ALinkIsWrittenThrough) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}}));
    std::ofstream(dir.file("real.txt")) << "old";
    fs::create_symlink("real.txt", dir.file("link.txt"));
    fs::create_symlink("not-yet.txt", dir.file("dangling.txt"));
    exportHistoryText(*store.snapshot(), false, dir.path().string(), dir.file("link.txt"));
    exportHistoryText(*store.snapshot(), false, dir.path().string(), dir.file("dangling.txt"));
    for (const char* link : {"link.txt", "dangling.txt"}) EXPECT_TRUE(fs::is_symlink(dir.file(link))) << link;
    EXPECT_EQ(slurp(dir.file("real.txt")), "130325001 253\r\n");
    EXPECT_EQ(slurp(dir.file("not-yet.txt")), "130325001 253\r\n");
    // A link in place of the side file is not written through.
    fs::create_symlink("gapbook.db", dir.file("out.xlsx.part"));
    const std::string db = slurp(dir.file("gapbook.db"));
    Grid g;
    g.header = {"期号"};
    writeWorkbook(g, dir.file("out.xlsx"), dir.path().string());
    EXPECT_TRUE(slurp(dir.file("gapbook.db")) == db);
    EXPECT_GT(fs::file_size(dir.file("out.xlsx")), 0u);
}
