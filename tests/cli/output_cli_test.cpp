// Every file k3gap-cli writes is checked and written whole: never over the history, its side files or
// the backup, never into a pipe, nothing when the command fails, with or without a display.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;
using k3test::CliRun;
using k3test::fileBytes;

namespace {

class OutputCli : public ::testing::Test {
protected:
    k3test::TempDir dir;
    std::string data = dir.path().string();
    void SetUp() override { k3::HistoryStore(dir.file("gapbook.db")).append(k3test::generateDraws(300)); }
    CliRun cli(const std::string& args, const k3test::CliOptions& o = {}) {
        return k3test::runCli(data, dir.file("config"), args, o);
    }
    // Every command that writes a file, aimed at `target`.
    std::vector<std::string> writers(const std::string& target) const {
        const std::string t = "'" + target + "'";
        return {"overview --item 和值:10 --png " + t,
                "overview --xlsx " + t,
                "search --pos 1=2 --png " + t,
                "search --pos 1=2 --xlsx " + t,
                "partial --values 2,6,6 --width 2 --png " + t,
                "show --xlsx " + t,
                "group --values 4,5,6 --size 1 --xlsx " + t,
                "trend --last 30 --xlsx " + t,
                "trend --last 30 --png " + t,
                "backtest --xlsx " + t,
                "backtest --item 和值:10 --png " + t,
                "export-text " + t};
    }
};

}  // namespace

// The group calculation with a workbook that is refused or cannot be written leaves table YL as it was.
TEST_F(OutputCli, ARefusedWorkbookStoresNoGroups) {
    ASSERT_EQ(cli("group --values 1,2 --size 1").rc, 0);
    auto groups = [this] {
        k3::Db db(dir.file("gapbook.db"), k3::Db::Mode::kReadOnly);
        return db.scalarText("SELECT group_concat(content, '|') FROM YL");
    };
    ASSERT_EQ(groups(), "1|2");
    for (const std::string& target : {dir.file("gapbook.db"), dir.file("no/such/folder/x.xlsx"), data}) {
        CliRun r = cli("group --values 4,5,6 --size 1 --xlsx '" + target + "'");
        EXPECT_EQ(r.rc, 1) << target;
        EXPECT_NE(r.err.find("未写入"), std::string::npos) << r.err;
        EXPECT_EQ(groups(), "1|2") << target;
    }
    // Nor does a calculation that could not be made, which writes no workbook either.
    CliRun r = cli("group --values 4,5,6 --size 1 --from 13x --xlsx '" + dir.file("g.xlsx") + "'");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(groups(), "1|2");
    EXPECT_FALSE(fs::exists(dir.file("g.xlsx")));
    r = cli("group --values 4,5,6 --size 1 --xlsx '" + dir.file("g.xlsx") + "'");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(groups(), "4|5|6");
    EXPECT_TRUE(fs::exists(dir.file("g.xlsx")));
}

TEST_F(OutputCli, NeverOverTheHistoryItsSideFilesOrTheBackup) {
    std::ofstream(dir.file("lsbf.txt"), std::ios::binary) << "130101001 2 5 3 \r\n";
    std::ofstream(dir.file("gapbook.db-journal"), std::ios::binary) << "journal";
    fs::create_symlink("gapbook.db", dir.file("link.db"));
    for (const char* name :
         {"gapbook.db", "gapbook.db-wal", "gapbook.db-shm", "gapbook.db-journal", "lsbf.txt", "link.db", "."}) {
        const std::string target = dir.file(name);
        for (const std::string& args : writers(target)) {
            const std::string db = fileBytes(dir.file("gapbook.db")), backup = fileBytes(dir.file("lsbf.txt"));
            CliRun r = cli(args);
            EXPECT_EQ(r.rc, 1) << args;
            EXPECT_NE(r.err.find("未写入"), std::string::npos) << args << "\n" << r.err;
            EXPECT_TRUE(fileBytes(dir.file("gapbook.db")) == db) << args;
            EXPECT_EQ(fileBytes(dir.file("lsbf.txt")), backup) << args;
        }
    }
    CliRun r = cli("next");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.file("link.db")));
}

TEST_F(OutputCli, APipeIsRefusedUnopened) {
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader holds the pipe open, so that a program that opened it would not block but write.
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const std::string& args : writers(fifo)) {
        CliRun r = cli(args);
        EXPECT_EQ(r.rc, 1) << args;
        EXPECT_NE(r.err.find("不是普通文件"), std::string::npos) << args << "\n" << r.err;
    }
    char c;
    EXPECT_LE(::read(reader, &c, 1), 0) << "something was written into the pipe";
    ::close(reader);
}

TEST_F(OutputCli, AFailedCommandWritesNothing) {
    for (const std::string& args : {std::string("search --pos 1=7"), std::string("partial --values 1,2,3 --width 0"),
                                    std::string("partial --values 9,2,3 --width 2")}) {
        for (const char* opt : {" --png ", " --xlsx "}) {
            const std::string target = dir.file("out");
            CliRun r = cli(args + opt + "'" + target + "'");
            EXPECT_EQ(r.rc, 1) << args << opt;
            EXPECT_NE(r.err.find("未写入"), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(target)) << args << opt;
        }
    }
    CliRun r = cli("partial --values 1,2,3 --width 0");  // the reason is said, also without a file
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("分部位数 0 不在 1～3 之内"), std::string::npos) << r.err;
    r = cli("search --pos 1=99999");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("超出了"), std::string::npos) << r.err;
}

TEST_F(OutputCli, PicturesAreDrawnWithoutADisplay) {
    const std::string png = dir.file("chart.png");
    std::ofstream(png, std::ios::binary) << "earlier";
    CliRun r = cli("overview --item 和值:10 --png '" + png + "'",
                   {.shellPrefix = "export DISPLAY=:4242 WAYLAND_DISPLAY=wayland-4242 QT_QPA_PLATFORM=xcb"});
    EXPECT_EQ(r.rc, 0) << r.err;
    const std::string bytes = fileBytes(png);
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_NE(bytes.find("IEND"), std::string::npos);         // complete
    for (const auto& e : fs::directory_iterator(dir.path()))  // no side file left
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

TEST_F(OutputCli, AFullDiskIsSaidSoAndTheEarlierFileStays) {
    const std::string small = dir.file("small");
    fs::create_directory(small);
    if (std::system(
            ("unshare --mount sh -c \"mount -t tmpfs -o size=256k tmpfs '" + small + "'\" 2>/dev/null").c_str()))
        GTEST_SKIP() << "no mount namespace with a tmpfs here";
    const std::string cli = "XDG_CONFIG_HOME='" + dir.file("config") + "' '" K3GAP_CLI "' --data '" + small + "' ";
    const std::string target = small + "/out";
    std::ofstream script(dir.file("full.sh"));
    script << "mount -t tmpfs -o size=" << (fs::file_size(dir.file("gapbook.db")) / 1024 + 512) * 1024 << " tmpfs '"
           << small << "' || exit 1\n"
           << "cp '" + dir.file("gapbook.db") + "' '" + small + "/'\n"
           << "echo earlier >'" + target + "'\n"
           << "avail=$(df -B1 --output=avail '" + small + "' | tail -1)\n"
           << "fallocate -l $avail '" + small + "/filler' || exit 1\n";
    for (const std::string& args : writers(target))
        script << cli << args << " >/dev/null 2>>'" << dir.file("err") << "'; echo $? >>'" << dir.file("rc") << "'\n";
    script << "cat '" + target + "' >'" + dir.file("after") + "'; ls -a '" + small + "' >'" + dir.file("ls") + "'\n";
    script.close();
    ASSERT_EQ(std::system(("unshare --mount sh '" + dir.file("full.sh") + "'").c_str()), 0);
    const size_t commands = writers(target).size();
    std::string failed;
    for (size_t i = 0; i < commands; ++i) failed += "1\n";
    EXPECT_EQ(fileBytes(dir.file("rc")), failed);
    const std::string err = fileBytes(dir.file("err"));
    size_t lines = 0;
    for (size_t at = 0; (at = err.find("k3gap-cli: 磁盘已满，无法写入文件 " + target + "；原有的文件未作改动", at)) !=
                        std::string::npos;
         ++at)
        ++lines;
    EXPECT_EQ(lines, commands) << err;
    // The library's own lines never reach the user; its words appear only in the parentheses.
    EXPECT_EQ(err.find("[ERROR]"), std::string::npos) << err;
    EXPECT_EQ(err.find("[WARNING]"), std::string::npos) << err;
    EXPECT_EQ(err.find("无法写入工作簿"), std::string::npos) << err;  // said once
    EXPECT_EQ(fileBytes(dir.file("after")), "earlier\n");
    EXPECT_EQ(fileBytes(dir.file("ls")), ".\n..\nfiller\ngapbook.db\nout\n");
}
