// k3gap-cli import, update, trim and export-text, run as the real program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>

#include "../history/http_server.h"
#include "test_support.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

class HistoryCli : public ::testing::Test {
protected:
    k3test::TempDir dir;
    std::string data() const { return dir.file("data"); }
    void SetUp() override {
        std::filesystem::create_directory(data());
        std::filesystem::create_directory(dir.file("config"));
    }
    // Runs k3gap-cli --data DIR ARGS with its own settings folder.
    CliRun cli(const std::string& args, const std::string& dataDir = {}) {
        std::string cmd = "XDG_CONFIG_HOME='" + dir.file("config") + "' '" K3GAP_CLI "' --data '" +
                          (dataDir.empty() ? data() : dataDir) + "' " + args + " >'" + dir.file("out") + "' 2>'" +
                          dir.file("err") + "'";
        CliRun r;
        int st = std::system(cmd.c_str());
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.out = slurp(dir.file("out"));
        r.err = slurp(dir.file("err"));
        return r;
    }
    std::string file(const std::string& name, const std::string& text) {
        std::ofstream(dir.file(name), std::ios::binary) << text;
        return dir.file(name);
    }
};

}  // namespace

TEST_F(HistoryCli, ImportReportsSkippedLinesAndExportReadsBack) {
    std::string f = file("h.txt", "130325002 666\r\n130325001 253\nnot a draw\r130325003 707\r\n");
    CliRun r = cli("import '" + f + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "stored 2, skipped 2\n3\tnot a draw\n4\t130325003 707\n");
    EXPECT_EQ(cli("show").out, "期号\t第1位\t第2位\t第3位\n130325001\t2\t5\t3\n130325002\t6\t6\t6\n");

    r = cli("export-text");
    EXPECT_EQ(r.status, 0);
    std::string exported = data() + "/更新至130325002期历史号码.txt";
    EXPECT_EQ(r.out, exported + "\n");
    EXPECT_EQ(slurp(exported), "130325001 253\r\n130325002 666\r\n");
    std::filesystem::create_directory(dir.file("other"));
    EXPECT_EQ(cli("import '" + exported + "'", dir.file("other")).err, "stored 2, skipped 0\n");
    EXPECT_EQ(cli("show", dir.file("other")).out, cli("show").out);

    // A missing file changes nothing; an empty history exports nothing.
    r = cli("import '" + dir.file("missing.txt") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(cli("show").out.size(), cli("show", dir.file("other")).out.size());
    cli("trim --clear");
    EXPECT_EQ(cli("export-text '" + dir.file("x.txt") + "'").status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.txt")));
}

TEST_F(HistoryCli, Trim) {
    cli("import '" + file("h.txt", "130325081 111\r\n130325082 222\r\n130326001 333\r\n130326002 444\r\n"
                                   "130326003 555\r\n") + "'");
    EXPECT_EQ(cli("trim --newest").status, 0);
    EXPECT_EQ(cli("next").out, "130326002\t130326003\n");
    EXPECT_EQ(cli("trim --last 2").status, 0);
    EXPECT_EQ(cli("next").out, "130325082\t130326001\n");
    EXPECT_EQ(slurp(data() + "/lsbf.txt"), "130325081 1 1 1 \r\n130325082 2 2 2 \r\n");
    EXPECT_EQ(cli("trim --last abc").status, 1);
    EXPECT_EQ(cli("trim --last 0").status, 1);
    EXPECT_EQ(cli("trim --newest --clear").status, 2);
    EXPECT_EQ(cli("next").out, "130325082\t130326001\n");
    EXPECT_EQ(cli("trim --to 130325081").status, 0);
    EXPECT_EQ(cli("next").out, "130325081\t130326001\n");  // 78 draws a day: rolls over
    EXPECT_EQ(cli("trim --clear").status, 0);
    EXPECT_EQ(cli("show").out, "期号\t第1位\t第2位\t第3位\n");
}

TEST_F(HistoryCli, UpdateFromALocalServer) {
    k3test::HttpServer server([](int fd, const std::string&) {
        k3test::HttpServer::sendAll(fd, k3test::HttpServer::response(
            200, "text/html", "<html><body>1303250012,5,3 1303250026,6,6</body></html>"));
    });
    const std::string update = "update --url '" + server.base() + "/{code}/?n={n}' --today 2013-03-26";
    // An empty history asks for the whole window: six years of Fujian draws by default.
    CliRun r = cli(update);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "added 2\n");
    EXPECT_EQ(server.targets().at(0), "/fj/?n=" + std::to_string(2192 * 78));

    // Then only what follows the newest stored draw, from the newest draw's day on.
    cli("trim --newest");
    r = cli(update);
    EXPECT_EQ(r.err, "added 1\n");
    EXPECT_EQ(server.targets().at(1), "/fj/?n=156");
    EXPECT_EQ(cli("next").out, "130325002\t130325003\n");

    EXPECT_EQ(cli("update --url 'http://127.0.0.1:1/' --today 2013-03-26").status, 1);
    EXPECT_EQ(cli("update --today 2013-02-30").status, 2);
    EXPECT_EQ(cli("next").out, "130325002\t130325003\n");
}
