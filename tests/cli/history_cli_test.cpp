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
    cli("import " + file("130325081 111\r\n130325082 222\r\n130326001 333\r\n130326002 444\r\n130326003 555\r\n"));
    cli("trim --newest");
    EXPECT_EQ(cli("next"), "130326002\t130326003\n");
    cli("trim --last 2");
    EXPECT_EQ(cli("next"), "130325082\t130326001\n");
    EXPECT_EQ(slurp(dir.file("data/lsbf.txt")), "130325081 1 1 1 \r\n130325082 2 2 2 \r\n");
    for (const char* bad : {"--last abc", "--last 0", "--to -5"}) {
        cli(std::string("trim ") + bad);
        EXPECT_EQ(status, 1) << bad;
    }
    cli("trim --newest --clear");
    EXPECT_EQ(status, 2);
    cli("trim --to 130325081");
    EXPECT_EQ(cli("show"), "期号\t第1位\t第2位\t第3位\n130325081\t1\t1\t1\n");
}

TEST_F(HistoryCli, UpdateFromALocalServer) {
    k3test::HttpServer server(
        k3test::HttpServer::always(200, "text/html", "<html><body>1303250012,5,3 1303250026,6,6</body></html>"));
    const std::string update = "update --url '" + server.base() + "/{code}/?n={n}' --today 2013-03-26";
    cli(update);  // an empty history asks for the whole window, six years by default
    EXPECT_EQ(err, "added 2\n");
    EXPECT_EQ(server.targets().at(0), "/fj/?n=" + std::to_string(2192 * 78));
    cli("trim --newest");
    cli(update);
    EXPECT_EQ(err, "added 1\n");
    EXPECT_EQ(server.targets().at(1), "/fj/?n=156");
    cli("update --url 'http://127.0.0.1:1/' --today 2013-03-26");
    EXPECT_EQ(status, 1);
    cli("update --today 2013-02-30");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(cli("next"), "130325002\t130325003\n");
}
