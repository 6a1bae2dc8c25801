// k3gap-cli on the histories of several provinces: --lottery N works on province N's own history (made
// the first time), its trimming backup is its own, `provinces` lists them, and an older gapbook.db is
// the settings' province's.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_runner.h"
#include "store/history_store.h"
#include "test_support.h"

using k3test::fileBytes;
namespace fs = std::filesystem;

namespace {

class ProvinceCli : public ::testing::Test {
protected:
    k3test::TempDir dir;
    int status = -1;
    std::string err;
    std::string data() const { return dir.file("data"); }
    std::string in(const std::string& name) const { return data() + "/" + name; }
    // Runs k3gap-cli --data DATA ARGS with settings of its own; returns stdout.
    std::string cli(const std::string& args) {
        fs::create_directories(data());
        k3test::CliRun r = k3test::runCli(data(), dir.file("config"), args);
        status = r.rc;
        err = r.err;
        return r.out;
    }
    // The settings' province (GsZl), as the window saves it.
    void settingsProvince(int index) {
        fs::create_directories(dir.file("config/K3MIVLOR"));
        std::ofstream(dir.file("config/K3MIVLOR/K3MIVLOR.conf")) << "[IniSetting]\nGsZl=" << index << "\n";
    }
    std::string file(const std::string& text) {
        std::ofstream(dir.file("in.txt"), std::ios::binary) << text;
        return "'" + dir.file("in.txt") + "'";
    }
};

}  // namespace

TEST_F(ProvinceCli, EachProvinceKeepsItsOwnHistory) {
    EXPECT_EQ(cli("provinces"), "彩种\t历史数据库\t期数\t第一期\t最后一期\n");
    EXPECT_EQ(status, 0);
    // The first history made in a data folder is gapbook.db; the next province's is its own file.
    cli("--lottery 3 import " + file("130325081 111\r\n130325082 222\r\n"));
    ASSERT_EQ(status, 0) << err;
    cli("--lottery 0 add 130325078 333");
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(cli("--lottery 3 next"), "130325082\t130326001\n");  // 江苏: 82 a day
    EXPECT_EQ(cli("--lottery 0 next"), "130325078\t130326001\n");  // 福建: 78
    EXPECT_EQ(cli("--lottery 0 show"), "期号\t第1位\t第2位\t第3位\n130325078\t3\t3\t3\n");
    EXPECT_EQ(cli("--lottery 3 show"), "期号\t第1位\t第2位\t第3位\n130325081\t1\t1\t1\n130325082\t2\t2\t2\n");
    EXPECT_EQ(cli("provinces"), "彩种\t历史数据库\t期数\t第一期\t最后一期\n福建快3\t" + in("gapbook-fj.db") +
                                    "\t1\t130325078\t130325078\n江苏快3\t" + in("gapbook.db") +
                                    "\t2\t130325081\t130325082\n");

    // A province without a history starts empty; the others stay as they are.
    cli("--lottery 10 next");
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("历史为空"), std::string::npos) << err;
    // An import into one province leaves the other's file alone.
    const std::string fujian = fileBytes(in("gapbook-fj.db"));
    cli("--lottery 3 import " + file("140101001 456\r\n"));
    ASSERT_EQ(status, 0) << err;
    EXPECT_TRUE(fileBytes(in("gapbook-fj.db")) == fujian);
    EXPECT_EQ(cli("--lottery 0 show"), "期号\t第1位\t第2位\t第3位\n130325078\t3\t3\t3\n");
}

TEST_F(ProvinceCli, TrimmingKeepsEachProvincesBackup) {
    cli("--lottery 3 import " + file("130325080 111\r\n130325081 222\r\n130325082 333\r\n"));
    cli("--lottery 4 import " + file("130325001 444\r\n130325002 555\r\n"));
    cli("--lottery 4 trim --last 1");
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(fileBytes(in("lsbf-ah.txt")), "130325001 4 4 4 \r\n");
    EXPECT_FALSE(fs::exists(in("lsbf.txt")));
    cli("--lottery 3 trim --to 130325080");
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(fileBytes(in("lsbf.txt")), "130325080 1 1 1 \r\n");
    EXPECT_EQ(fileBytes(in("lsbf-ah.txt")), "130325001 4 4 4 \r\n");
    EXPECT_EQ(cli("--lottery 4 next"), "130325001\t130325002\n");
    EXPECT_EQ(cli("--lottery 3 next"), "130325080\t130325081\n");
    // No export is written over another province's backup or history.
    for (const char* target : {"lsbf-ah.txt", "gapbook-ah.db", "gapbook-ah.db-wal"}) {
        cli("--lottery 3 export-text '" + in(target) + "'");
        EXPECT_EQ(status, 1) << target;
    }
    EXPECT_EQ(fileBytes(in("lsbf-ah.txt")), "130325001 4 4 4 \r\n");
}

TEST_F(ProvinceCli, AnOlderGapbookIsTheSettingsProvincesHistory) {
    fs::create_directories(data());
    {
        k3::HistoryStore s(in("gapbook.db"));
        s.append(k3test::draws({{130325081, "111"}, {130325082, "222"}}));
    }
    k3::Db(in("gapbook.db"), false).exec("PRAGMA journal_mode=DELETE; DROP TABLE k3province;");
    const std::string before = fileBytes(in("gapbook.db"));
    settingsProvince(3);
    // Read as 江苏's, and reading records nothing.
    EXPECT_EQ(cli("next"), "130325082\t130326001\n");
    EXPECT_EQ(cli("provinces"),
              "彩种\t历史数据库\t期数\t第一期\t最后一期\n江苏快3\t" + in("gapbook.db") + "\t2\t130325081\t130325082\n");
    EXPECT_TRUE(fileBytes(in("gapbook.db")) == before);
    // Another province gets its own file, and gapbook.db is left alone.
    cli("--lottery 0 add 130325001 666");
    ASSERT_EQ(status, 0) << err;
    EXPECT_TRUE(fileBytes(in("gapbook.db")) == before);
    // A change of 江苏's history records it: the settings no longer decide.
    cli("add 130326001 333");
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(k3::HistoryStore(in("gapbook.db")).recordedProvince(), "js");
    settingsProvince(0);
    EXPECT_EQ(cli("next"), "130325001\t130325002\n");
    EXPECT_EQ(cli("--lottery 3 next"), "130326001\t130326002\n");
}

TEST_F(ProvinceCli, RefusalsAndBeijingsRunningNumbers) {
    cli("provinces now");
    EXPECT_EQ(status, 2);
    cli("--lottery 9 import --accept-mismatch " + file("081231078 253\r\n090101001 666\r\n"));
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(cli("provinces"),
              "彩种\t历史数据库\t期数\t第一期\t最后一期\n北京快3\t" + in("gapbook.db") + "\t2\t81231078\t90101001\n");
    // A file named after one province that holds another's is refused, and listed as such.
    fs::copy_file(in("gapbook.db"), in("gapbook-fj.db"));
    cli("--lottery 0 show");
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("记下的是北京快3的历史，不是福建快3的"), std::string::npos) << err;
    const std::string listed = cli("provinces");
    EXPECT_EQ(status, 1);
    EXPECT_NE(listed.find("北京快3\t"), std::string::npos);
    EXPECT_NE(err.find("gapbook-fj.db 记下的是北京快3的历史"), std::string::npos) << err;
}
