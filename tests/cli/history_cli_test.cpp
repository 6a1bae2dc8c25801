// k3gap-cli import, update, trim and export-text, run as the real program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>

#include "../history/http_server.h"
#include "cli_runner.h"
#include "test_support.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

class HistoryCli : public ::testing::Test {
protected:
    k3test::TempDir dir;
    int status = -1;
    std::string err;
    // Runs k3gap-cli --data DIR ARGS with settings of its own; returns stdout.
    std::string cli(const std::string& args, const std::string& data = "data") {
        std::filesystem::create_directories(dir.file(data));
        k3test::CliRun r = k3test::runCli(dir.file(data), dir.file("config"), args);
        status = r.rc;
        err = r.err;
        return r.out;
    }
    std::string file(const std::string& text) {
        std::ofstream(dir.file("in.txt"), std::ios::binary) << text;
        return "'" + dir.file("in.txt") + "'";
    }
};

}  // namespace

TEST_F(HistoryCli, ImportExportRoundTrip) {
    cli("import " + file("130325002 666\r\n130325001 253\nnot a draw\r130325003 707\r\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err, "stored 2, skipped 2\n3\tnot a draw\n4\t130325003 707\n");
    std::string exported = cli("export-text");
    EXPECT_EQ(exported, dir.file("data") + "/更新至130325002期历史号码.txt\n");
    exported.pop_back();
    EXPECT_EQ(slurp(exported), "130325001 253\r\n130325002 666\r\n");
    cli("import '" + exported + "'", "other");
    EXPECT_EQ(cli("show", "other"), cli("show"));

    cli("import '" + dir.file("missing.txt") + "'");
    EXPECT_EQ(status, 1);
    cli("trim --clear");
    cli("export-text '" + dir.file("x.txt") + "'");  // empty history: nothing written
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.txt")));
}

TEST_F(HistoryCli, ImportReplacesAndNamesWhatAWindowWouldAskAbout) {
    cli("import " + file("130325001 111\r\n130325002 222\r\n130325003 333\r\n"));
    EXPECT_EQ(err, "stored 3, skipped 0\n");
    cli("import " + file("130325003 333\r\n130325004 444\r\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err,
              "已存 3 期（130325001—130325003），文件中 2 期（130325003—130325004）：已以文件替换全部历史号码\n"
              "stored 2, skipped 0\n");
    EXPECT_EQ(cli("next"), "130325004\t130325005\n");
    cli("import " + file("130325003 333\r\n130325004 444\r\n130325005 555\r\n"));  // grows: nothing to say
    EXPECT_EQ(err, "stored 3, skipped 0\n");
}

TEST_F(HistoryCli, Trim) {
    // Draws 081 and 082 of a day: a province with 82 draws a day (江苏快3).
    cli("--lottery 3 import " +
        file("130325081 111\r\n130325082 222\r\n130326001 333\r\n130326002 444\r\n130326003 555\r\n"));
    cli("--lottery 3 trim --newest");
    EXPECT_EQ(cli("--lottery 3 next"), "130326002\t130326003\n");
    cli("--lottery 3 trim --last 2");
    EXPECT_EQ(cli("--lottery 3 next"), "130325082\t130326001\n");
    EXPECT_EQ(slurp(dir.file("data/lsbf.txt")), "130325081 1 1 1 \r\n130325082 2 2 2 \r\n");
    for (const char* bad : {"--last abc", "--last 0", "--to -5"}) {
        cli(std::string("--lottery 3 trim ") + bad);
        EXPECT_EQ(status, 1) << bad;
    }
    cli("--lottery 3 trim --newest --clear");
    EXPECT_EQ(status, 2);
    cli("--lottery 3 trim --to 130325081");
    EXPECT_EQ(cli("--lottery 3 show"), "期号\t第1位\t第2位\t第3位\n130325081\t1\t1\t1\n");
}

TEST_F(HistoryCli, UpdateFromALocalServer) {
    k3test::HttpServer server(
        k3test::HttpServer::always(200, "text/html", "<html><body>1303250012,5,3 1303250026,6,6</body></html>"));
    const std::string update = "update --url '" + server.base() + "/{code}/?n={n}' --today 2013-03-26";
    cli(update);  // an empty history asks for the whole window, six years by default
    EXPECT_EQ(err, "added 2, removed 0\n");
    EXPECT_EQ(server.targets().at(0), "/fj/?n=" + std::to_string(2192 * 78));
    cli("trim --newest");
    cli(update);
    EXPECT_EQ(err, "added 1, removed 0\n");
    EXPECT_EQ(server.targets().at(1), "/fj/?n=156");
    cli("update --url 'http://127.0.0.1:1/' --today 2013-03-26");
    EXPECT_EQ(status, 1);
    cli("update --today 2013-02-30");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(cli("next"), "130325002\t130325003\n");
}

TEST_F(HistoryCli, ExportsNeverReplaceTheDatabase) {
    cli("import " + file("130325001 253\r\n130325002 666\r\n"));
    cli("trim --last 1");  // writes the backup file
    const std::string data = dir.file("data");
    const std::string db = slurp(data + "/gapbook.db"), backup = slurp(data + "/lsbf.txt");
    ASSERT_FALSE(backup.empty());
    for (const std::string& args :
         {"export-text '" + data + "/gapbook.db'", "export-text '" + data + "/./lsbf.txt'",
          "export-text '" + data + "/gapbook.db-wal'", "show --xlsx '" + data + "/gapbook.db'",
          "search --pos 1=2 --xlsx '" + data + "/gapbook.db'", std::string("export-text /dev/null"),
          "export-text '" + data + "'"}) {
        cli(args);
        EXPECT_EQ(status, 1) << args;
        EXPECT_FALSE(err.empty()) << args;
    }
    EXPECT_TRUE(slurp(data + "/gapbook.db") == db);
    EXPECT_EQ(slurp(data + "/lsbf.txt"), backup);
    EXPECT_FALSE(std::filesystem::exists(data + "/gapbook.db-wal"));
}

TEST_F(HistoryCli, ImportReadsOnlyRegularFilesAndCapsItsReport) {
    cli("import " + file("130325001 253\r\n"));
    cli("import /dev/zero");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(cli("next"), "130325001\t130325002\n");

    std::string text;
    for (int i = 1; i <= 1500; ++i) text += "junk " + std::to_string(i) + "\r\n";
    cli("import " + file(text + "130325001 253\r\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err.rfind("stored 1, skipped 1500\n1\tjunk 1\n", 0), 0u) << err.substr(0, 40);
    EXPECT_NE(err.find("1000\tjunk 1000\n…（另有 500 行未列出）\n"), std::string::npos);
    EXPECT_EQ(err.find("1001\t"), std::string::npos);
}

TEST_F(HistoryCli, UpdateSaysWhatTheLookBackRemoved) {
    cli("import " + file("070101001 111\r\n070102001 222\r\n130325001 253\r\n"));
    k3test::HttpServer server(k3test::HttpServer::always(200, "text/plain", "1303250026,6,6"));
    cli("update --url '" + server.base() + "/?n={n}' --today 2013-03-26");  // keeps six years
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err, "added 1, removed 2\n");
    EXPECT_EQ(cli("show"), "期号\t第1位\t第2位\t第3位\n130325001\t2\t5\t3\n130325002\t6\t6\t6\n");
}

// Issues of 2000-2009 keep their nine digits in what the program prints and writes, and the text export
// reads back as the same history; 北京快3's running numbers are printed as they are.
TEST_F(HistoryCli, IssuesOfTheYears2000To2009KeepTheirLeadingZero) {
    cli("import " + file("081231078 253\r\n090101001 666\r\n130325001 111\r\n"));
    ASSERT_EQ(status, 0) << err;
    const std::string shown = cli("show");
    EXPECT_NE(shown.find("\n081231078\t"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\n090101001\t"), std::string::npos) << shown;
    EXPECT_NE(cli("search --pos 1=6 --from 081231078").find("\n090101001\t"), std::string::npos);

    std::string exported = cli("export-text");
    exported.pop_back();
    EXPECT_EQ(slurp(exported), "081231078 253\r\n090101001 666\r\n130325001 111\r\n");
    cli("import '" + exported + "'", "other");
    EXPECT_EQ(err, "stored 3, skipped 0\n");
    EXPECT_EQ(cli("show", "other"), shown);

    cli("trim --last 1");
    EXPECT_EQ(cli("next"), "090101001\t090101002\n");
    // Dated-looking issues into 北京快3's own history: taken only when asked for.
    cli("--lottery 9 import --accept-mismatch " + file("081231078 253\r\n090101001 666\r\n"));
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(cli("--lottery 9 next"), "90101001\t90101002\n");
    EXPECT_NE(cli("--lottery 9 show").find("\n81231078\t"), std::string::npos);
}

// Files of other shapes: the shape on the first line of the output, a dry run that stores nothing, and a
// file that cannot be the province's refused with the option that takes it anyway.
TEST_F(HistoryCli, ImportOfOtherShapesSaysTheShapeFirst) {
    const std::string csv =
        file("期号,开奖日期,开奖号码\r\n20191027002,2019-10-27,\"2,4,6\"\r\n20191027001,2019-10-27,\"1,3,5\"\r\n");
    std::string out = cli("import --dry-run " + csv);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out,
              "格式：期号 11 位，号码以逗号分隔，第 1、3 列（逗号分列，UTF-8 文本，有标题行）\n"
              "行\t内容\t读出\n"
              "1\t期号,开奖日期,开奖号码\t（标题）\n"
              "2\t20191027002,2019-10-27,\"2,4,6\"\t191027002 246\n"
              "3\t20191027001,2019-10-27,\"1,3,5\"\t191027001 135\n");
    EXPECT_EQ(err.rfind("would store 2, skipped 0\n", 0), 0u) << err;
    EXPECT_NE(err.find("--dry-run：历史号码未作改动"), std::string::npos);
    EXPECT_EQ(cli("next"), "");  // nothing stored

    out = cli("import " + csv);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "格式：期号 11 位，号码以逗号分隔，第 1、3 列（逗号分列，UTF-8 文本，有标题行）");
    EXPECT_EQ(err, "stored 2, skipped 0\n");
    EXPECT_EQ(cli("next"), "191027002\t191027003\n");

    // The program's own format says so, and is read as always.
    out = cli("import " + file("130325001 253\r\n"));
    EXPECT_EQ(out, "格式：本程序的历史号码格式（期号 9 位，空格，3 位号码；UTF-8 文本）\n");
}

TEST_F(HistoryCli, ImportThatCannotBeTheProvincesIsRefusedUnlessTaken) {
    cli("import " + file("130325001 111\r\n"));
    const std::string jiangsu = file("20191027081,1,3,5\n20191027082,2,4,6\n");
    cli("--lottery 0 import --dry-run " + jiangsu);  // a dry run ends as the import would
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("--accept-mismatch"), std::string::npos) << err;
    cli("--lottery 0 import " + jiangsu);  // 福建快3: 78 draws a day
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("第 1 行「20191027081,1,3,5」的期号超过了福建快3每天的 78 期"), std::string::npos) << err;
    EXPECT_NE(err.find("--accept-mismatch"), std::string::npos) << err;
    EXPECT_EQ(cli("next"), "130325001\t130325002\n");
    cli("--lottery 3 import " + jiangsu);  // 江苏快3: 82
    EXPECT_EQ(status, 0) << err;
    cli("--lottery 0 import --accept-mismatch " + file("130325090 111\r\n"));
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(cli("next"), "130325090\t130326001\n");
    // Running numbers into a date-based province.
    cli("--lottery 0 import " + file("123456 1 3 5\n123457 2 4 6\n"));
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("不是按日期编的期号"), std::string::npos) << err;
    EXPECT_EQ(cli("--lottery 9 import " + file("123456 1 3 5\n123457 2 4 6\n")),
              "格式：期号为连续编号，号码各占一列，第 1、2、3、4 列（空格分列，UTF-8 文本）\n");
    EXPECT_EQ(status, 0) << err;
    cli("--lottery 0 import --dry-run " + file("a;b\n"));
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("文件中没有一行是号码"), std::string::npos) << err;
}

// The page of the issue's player: one die a cell and the sum after them. Each draw is stored with its own
// dice (they used to be read across the cells: 191028001 as 2 3 1, 191028003 as 6 2 4, 002 lost).
TEST_F(HistoryCli, UpdateFromAResultTableWithOneDieACell) {
    cli("import " + file("191027078 111\r\n"));
    std::ofstream(dir.file("p.html")) << "<html><body><table>\n"
                                         "<tr><td>191028001</td><td>2</td><td>6</td><td>3</td><td>11</td></tr>\n"
                                         "<tr><td>191028002</td><td>1</td><td>4</td><td>5</td><td>10</td></tr>\n"
                                         "<tr><td>191028003</td><td>6</td><td>6</td><td>2</td><td>14</td></tr>\n"
                                         "</table></body></html>\n";
    const std::string url = " --url 'file://" + dir.file("p.html") + "' --today 2019-10-28";
    EXPECT_EQ(cli("--lottery 0 update --dry-run" + url),
              "格式：期号 9 位，号码各占一列，第 1、2、3、4 列（网页表格）\n");
    EXPECT_EQ(err, "would add 3 (191028001—191028003)\n--dry-run：历史号码未作改动\n");
    EXPECT_EQ(cli("next"), "191027078\t191028001\n");
    cli("--lottery 0 update" + url);
    EXPECT_EQ(err, "added 3, removed 0\n");
    EXPECT_EQ(cli("show"),
              "期号\t第1位\t第2位\t第3位\n191027078\t1\t1\t1\n191028001\t2\t6\t3\n191028002\t1\t4\t5\n"
              "191028003\t6\t6\t2\n");
}

TEST_F(HistoryCli, UpdateWithoutAnAddressSaysToSetOne) {
    cli("update --today 2019-10-28");
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("还没有设置在线更新地址"), std::string::npos) << err;
    EXPECT_NE(err.find("--url"), std::string::npos) << err;
}
