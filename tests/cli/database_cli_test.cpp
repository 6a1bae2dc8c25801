// k3gap-cli on a database it may not or cannot change: read-only, held by another program, damaged,
// on a full disk. Reading works where it can; a change fails with a message naming the file and the
// cause, and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../history/http_server.h"
#include "cli_runner.h"
#include "store/issue.h"
#include "test_support.h"

namespace fs = std::filesystem;
using k3test::CliRun;
using k3test::fileBytes;

namespace {

class DatabaseCli : public ::testing::Test {
protected:
    k3test::TempDir dir;
    std::string data = dir.file("data");
    std::string db = dir.file("data/gapbook.db");
    std::vector<k3::DerivedDraw> draws = k3test::generateDraws(3000);

    void SetUp() override {
        fs::create_directory(data);
        k3::HistoryStore(db).append(draws);
    }
    CliRun cli(const std::string& args, const k3test::CliOptions& o = {}) {
        return k3test::runCli(data, dir.file("config"), args, o);
    }
    std::string newest() const { return std::to_string(draws.back().sqqh); }
    // Every command that changes the history fails with `cause` and the file's path, and writes nothing.
    void changesRefused(const std::string& cause, const k3test::CliOptions& o = {}) {
        const std::string before = fileBytes(db);
        std::ofstream(dir.file("h.txt"), std::ios::binary) << "130101001 253\r\n";
        for (const std::string& args : {std::string("add 300101001 253"), std::string("trim --newest"),
                                        std::string("trim --last 2"), "import '" + dir.file("h.txt") + "'"}) {
            CliRun r = cli(args, o);
            EXPECT_EQ(r.rc, 1) << args;
            EXPECT_NE(r.err.find(cause), std::string::npos) << args << ": " << r.err;
            EXPECT_NE(r.err.find(db), std::string::npos) << args << ": " << r.err;
        }
        EXPECT_TRUE(fileBytes(db) == before);
    }
};

}  // namespace

TEST_F(DatabaseCli, AReadOnlyFileIsShownAndAnalysedNotChanged) {
    if (!k3test::canRunUnprivileged()) GTEST_SKIP() << "setpriv is missing";
    k3test::CliOptions nobody{true, ""};
    fs::permissions(data, fs::perms::all);
    fs::permissions(db, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = fileBytes(db);
    CliRun r = cli("next", nobody);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 9), newest());
    r = cli("show", nobody);
    EXPECT_EQ(static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n')), draws.size() + 1);
    EXPECT_EQ(cli("search --pos 1=2", nobody).rc, 0);
    r = cli("group --values 1,2,3 --size 2", nobody);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
    r = cli("export-text", nobody);
    EXPECT_EQ(r.rc, 0) << r.err;
    changesRefused("不能写入（文件是只读的）", nobody);
    EXPECT_TRUE(fileBytes(db) == before);
    EXPECT_FALSE(fs::exists(db + "-wal") || fs::exists(db + "-shm"));
}

TEST_F(DatabaseCli, AReadOnlyFolderIsShownNotChanged) {
    if (!k3test::canRunUnprivileged()) GTEST_SKIP() << "setpriv is missing";
    k3test::CliOptions nobody{true, ""};
    fs::create_directory(dir.file("out"));
    fs::permissions(dir.file("out"), fs::perms::all);
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(data, readOnly);
    CliRun r = cli("next", nobody);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 9), newest());
    EXPECT_EQ(cli("search --pos 1=2 --from " + newest(), nobody).rc, 0);
    EXPECT_EQ(cli("export-text", nobody).rc, 1);  // the default file would go into the folder
    r = cli("export-text '" + dir.file("out/h.txt") + "'", nobody);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(fs::file_size(dir.file("out/h.txt")), draws.size() * 15);
    changesRefused("不能写入（它所在的文件夹 " + data + " 是只读的）", nobody);
    EXPECT_FALSE(fs::exists(db + "-wal") || fs::exists(db + "-shm"));
    fs::permissions(data, fs::perms::owner_write, fs::perm_options::add);  // so that the folder can go
}

TEST_F(DatabaseCli, ReadsWhileAnotherProgramWritesAndSaysWhyItCannotWrite) {
    k3test::HeldWrite writer(db);  // has deleted every draw, not committed
    CliRun r = cli("next");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 9), newest());
    EXPECT_EQ(cli("search --pos 1=2").rc, 0);
    EXPECT_EQ(cli("export-text '" + dir.file("h.txt") + "'").rc, 0);
    EXPECT_EQ(fs::file_size(dir.file("h.txt")), draws.size() * 15);
    r = cli("add 300101001 253");  // waits a few seconds, then gives up
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("正被另一个程序改动"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(db), std::string::npos) << r.err;
}

TEST_F(DatabaseCli, ADamagedFileIsNeverWritten) {
    k3test::damageMiddlePage(db);
    changesRefused("已损坏");
    // The update is refused too, though the page it fetches holds a new draw.
    const int64_t next = k3::nextIssue(draws.back().sqqh, 78, false);
    k3test::HttpServer server(k3test::HttpServer::always(200, "text/plain", std::to_string(next) + "2,5,3"));
    auto day = *k3::issueDate(next);
    char today[16];
    std::snprintf(today, sizeof today, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    const std::string before = fileBytes(db);
    CliRun r = cli("update --url '" + server.base() + "/?n={n}' --today " + today);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("重新读入历史号码文本文件"), std::string::npos) << r.err;
    EXPECT_TRUE(fileBytes(db) == before);
}

TEST_F(DatabaseCli, AFullDiskIsSaidSo) {
    // A small file system of its own, in a mount namespace that ends with the shell.
    const std::string small = dir.file("small");
    fs::create_directory(small);
    if (std::system(
            ("unshare --mount sh -c \"mount -t tmpfs -o size=256k tmpfs '" + small + "'\" 2>/dev/null").c_str()))
        GTEST_SKIP() << "no mount namespace with a tmpfs here";
    std::string big;
    for (const auto& d : k3test::generateDraws(30000, 78, 140101001))
        big += std::to_string(d.sqqh) + " " + d.txtHisLst + "\r\n";
    std::ofstream(dir.file("big.txt"), std::ios::binary) << big;
    const std::string cli = "XDG_CONFIG_HOME='" + dir.file("config") + "' '" K3GAP_CLI "' --data '" + small + "' ";
    const auto room = (fs::file_size(db) / 1024 + 256) * 1024;  // the history and a little more
    std::ofstream(dir.file("full.sh")) << "mount -t tmpfs -o size=" << room << " tmpfs '" + small + "' || exit 1\n"
                                       << "cp '" + db + "' '" + small + "/'\n"
                                       << cli + "import '" + dir.file("big.txt") + "' 2>'" + dir.file("err") + "'\n"
                                       << "echo $? >'" + dir.file("rc") + "'\n"
                                       << cli + "next >'" + dir.file("next") + "'\n";
    ASSERT_EQ(std::system(("unshare --mount sh '" + dir.file("full.sh") + "'").c_str()), 0);
    EXPECT_EQ(fileBytes(dir.file("rc")), "1\n");
    const std::string err = fileBytes(dir.file("err"));
    EXPECT_NE(err.find("磁盘已满"), std::string::npos) << err;
    EXPECT_NE(err.find(small + "/gapbook.db"), std::string::npos) << err;
    EXPECT_EQ(fileBytes(dir.file("next")).substr(0, 9), newest());
}

TEST_F(DatabaseCli, NotAHistoryDatabaseAndCannotOpen) {
    fs::remove(db);
    std::ofstream(db) << "a user's notes\n";
    CliRun r = cli("show");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("不是历史数据库"), std::string::npos) << r.err;
    EXPECT_EQ(fileBytes(db), "a user's notes\n");
    fs::remove(db);
    fs::create_directory(db);
    r = cli("show");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("无法打开历史数据库"), std::string::npos) << r.err;
}

TEST_F(DatabaseCli, AReadOnlyFolderWithAPendingLogAndNoIndexIsRead) {
    if (!k3test::canRunUnprivileged()) GTEST_SKIP() << "setpriv is missing";
    // The files as a program left them while it ran: the newest draws still in the log of changes.
    const std::string ro = dir.file("ro");
    fs::create_directory(ro);
    auto more = k3test::generateDraws(5, 78, 300101001);
    {
        k3::HistoryStore store(db);
        store.append(more);
        ASSERT_GT(fs::file_size(db + "-wal"), 0u);
        fs::copy_file(db, ro + "/gapbook.db");
        fs::copy_file(db + "-wal", ro + "/gapbook.db-wal");
    }
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(ro, readOnly);
    k3test::CliOptions nobody{true, ""};
    CliRun r = k3test::runCli(ro, dir.file("config"), "next", nobody);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 9), std::to_string(more.back().sqqh));  // the log was read
    r = k3test::runCli(ro, dir.file("config"), "show", nobody);
    EXPECT_EQ(static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n')), draws.size() + more.size() + 1);
    r = k3test::runCli(ro, dir.file("config"), "add 300101009 253", nobody);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("是只读的"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(ro + "/gapbook.db-shm"));
    fs::permissions(ro, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(DatabaseCli, ReadingWorksOnAFullDisk) {
    const std::string small = dir.file("small");
    fs::create_directory(small);
    if (std::system(
            ("unshare --mount sh -c \"mount -t tmpfs -o size=256k tmpfs '" + small + "'\" 2>/dev/null").c_str()))
        GTEST_SKIP() << "no mount namespace with a tmpfs here";
    const std::string cli = "XDG_CONFIG_HOME='" + dir.file("config") + "' '" K3GAP_CLI "' --data '" + small + "' ";
    const auto room = (fs::file_size(db) / 1024 + 256) * 1024;
    std::ofstream script(dir.file("full.sh"));
    script << "mount -t tmpfs -o size=" << room << " tmpfs '" + small + "' || exit 1\n"
           << "cp '" + db + "' '" + small + "/'\n"
           << "dd if=/dev/zero of='" + small + "/filler' bs=4k 2>/dev/null\n"
           << "for c in next show 'search --pos 1=2' overview; do " << cli
           << "$c >/dev/null 2>>'" + dir.file("err") + "'; echo $? >>'" + dir.file("rc") + "'; done\n"
           << cli + "add 300101001 253 2>'" + dir.file("adderr") + "'\n"
           << "ls '" + small + "' >'" + dir.file("ls") + "'\n";
    script.close();
    ASSERT_EQ(std::system(("unshare --mount sh '" + dir.file("full.sh") + "'").c_str()), 0);
    EXPECT_EQ(fileBytes(dir.file("rc")), "0\n0\n0\n0\n") << fileBytes(dir.file("err"));
    EXPECT_EQ(fileBytes(dir.file("ls")), "filler\ngapbook.db\n");  // no -shm left behind
    EXPECT_NE(fileBytes(dir.file("adderr")).find("磁盘已满"), std::string::npos) << fileBytes(dir.file("adderr"));
}

TEST_F(DatabaseCli, EachMessageSaysWhatHappenedOnce) {
    {
        k3test::HeldWrite writer(db);
        CliRun r = cli("trim --clear");
        EXPECT_EQ(r.rc, 1);
        EXPECT_NE(r.err.find("正被另一个程序改动"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("removed"), std::string::npos) << r.err;  // nothing was removed
    }
    // A damaged file: the remedy given is one import accepts, and no replacement is claimed.
    k3test::damageMiddlePage(db);
    std::ofstream(dir.file("h.txt"), std::ios::binary) << "130101001 253\r\n";
    CliRun r = cli("import '" + dir.file("h.txt") + "'");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("改名或移走"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("已以文件替换"), std::string::npos) << r.err;
    fs::rename(db, db + ".damaged");  // as the message says: then the import works
    r = cli("import '" + dir.file("h.txt") + "'");
    EXPECT_EQ(r.rc, 0) << r.err;
}

TEST_F(DatabaseCli, ATrimWhoseCompactionFindsNoRoomSaysBoth) {
    const std::string small = dir.file("small");
    fs::create_directory(small);
    if (std::system(
            ("unshare --mount sh -c \"mount -t tmpfs -o size=256k tmpfs '" + small + "'\" 2>/dev/null").c_str()))
        GTEST_SKIP() << "no mount namespace with a tmpfs here";
    const std::string cli = "XDG_CONFIG_HOME='" + dir.file("config") + "' '" K3GAP_CLI "' --data '" + small + "' ";
    const auto room = (fs::file_size(db) / 1024 + 512) * 1024;
    std::ofstream script(dir.file("full.sh"));
    // Room for the deletion (with the province's record that the first change writes), not for the copy
    // of the file that the compaction writes.
    script << "mount -t tmpfs -o size=" << room << " tmpfs '" + small + "' || exit 1\n"
           << "cp '" + db + "' '" + small + "/'\n"
           << "avail=$(df -B1 --output=avail '" + small + "' | tail -1)\n"
           << "fallocate -l $((avail - " << fs::file_size(db) * 4 / 5 << ")) '" + small + "/filler' || exit 1\n"
           << cli + "trim --last 1500 2>'" + dir.file("err") + "'; echo $? >'" + dir.file("rc") + "'\n"
           << cli + "next >'" + dir.file("next") + "'\n";
    script.close();
    ASSERT_EQ(std::system(("unshare --mount sh '" + dir.file("full.sh") + "'").c_str()), 0);
    const std::string err = fileBytes(dir.file("err"));
    EXPECT_EQ(fileBytes(dir.file("rc")), "0\n") << err;
    // Half the draws go: enough free room in the file that the trim compacts it.
    EXPECT_NE(err.find("已删除 1500 期"), std::string::npos) << err;
    EXPECT_NE(err.find("未能压缩，大小不变（磁盘已满）"), std::string::npos) << err;
    EXPECT_EQ(err.find("未作改动"), std::string::npos) << err;  // the draw is deleted
    EXPECT_EQ(fileBytes(dir.file("next")).substr(0, 9), std::to_string(draws[draws.size() - 1501].sqqh));
}
