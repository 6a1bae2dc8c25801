#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"

using k3test::TempDir;

namespace {

struct CliRun {
    int rc;
    std::string out, err;
};

// Runs the real k3gap-cli over the folder, with its settings in a folder of the test's own.
CliRun cli(const TempDir& dir, const std::string& args) {
    setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    std::string errFile = dir.file("stderr.txt");
    std::string cmd = std::string(K3GAP_CLI) + " --data " + dir.path().string() + " " + args + " 2>" + errFile;
    CliRun r{};
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    return r;
}

void add(const TempDir& dir, std::initializer_list<const char*> draws) {
    for (const char* d : draws) ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0) << d;
}

const std::string kGrid2Header = "期号\t第1位\t第2位\t第3位\t遗漏次数\t序号\n";
const std::string kGrid3Header = "号码（分组）\t最小遗漏\t最大遗漏\t最后遗漏\t大后比\n";

}  // namespace

TEST(CliAnalysis, SearchPrintsBothGrids) {
    TempDir dir;
    add(dir, {"130325001 253", "130325002 666"});
    CliRun r = cli(dir, "search --pos 1=2");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, kGrid2Header + "130325001\t2\t5\t3\t1\t1\n\n" + kGrid3Header + "2 \t1\t1\t2\t0.5\n");
    // Fixed position 2 = 6 over a range that starts at the second draw.
    r = cli(dir, "search --fixed --pos 2=6 --from 130325002");
    EXPECT_EQ(r.out, kGrid2Header + "130325002\t6\t6\t6\t1\t1\n\n" + kGrid3Header + "6 \t1\t1\t1\t1\n");
    // Big/small: the stored flag shows, 3 is big.
    r = cli(dir, "search --type big-small --fixed --pos 3=1");
    EXPECT_NE(r.out.find("130325001\t小\t大\t大\t1\t1\n"), std::string::npos) << r.out;
}

TEST(CliAnalysis, PartialAndGroup) {
    TempDir dir;
    add(dir, {"130325001 221", "130325002 425", "130325003 522", "130325004 234"});
    CliRun r = cli(dir, "partial --values 2,2,5 --width 2 --fixed");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, kGrid2Header + "130325001\t2\t2\t1\t1\t1\n130325002\t4\t2\t5\t1\t2\n\n" + kGrid3Header +
                         "2 2 5 (2)\t1\t1\t3\t0.333333333333333\n");
    r = cli(dir, "group --values 5,2,4 --size 2");
    EXPECT_EQ(r.rc, 0) << r.err;
    // Groups 2 4, 2 5, 4 5 listed by last omission: 2 4 (last 1), 2 5 (2), 4 5 (3).
    EXPECT_EQ(r.out, kGrid3Header + "2 4\t2\t2\t1\t2\n2 5\t1\t2\t2\t1\n4 5\t2\t2\t3\t0.6666667\n");
    r = cli(dir, "group --values 2,4,5 --size 2 --sort sglLlr");
    EXPECT_EQ(r.out, kGrid3Header + "4 5\t2\t2\t3\t0.6666667\n2 5\t1\t2\t2\t1\n2 4\t2\t2\t1\t2\n");
    r = cli(dir, "group --values 0,1 --size 2 --type odd-even");
    EXPECT_EQ(r.out, kGrid3Header + "双 单\t1\t1\t1\t1\n");
}

TEST(CliAnalysis, WorkbookOfTheResultGrid) {
    TempDir dir;
    add(dir, {"130325001 253"});
    std::string file = dir.file("Jiansuo.xlsx");
    CliRun r = cli(dir, "search --pos 1=2 --xlsx " + file);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_GT(std::filesystem::file_size(file), 0u);
}

TEST(CliAnalysis, BadInputAndUsage) {
    TempDir dir;
    // An empty history cannot be searched.
    EXPECT_EQ(cli(dir, "search --pos 1=2").rc, 1);
    add(dir, {"130325001 253", "130325002 666"});
    struct Case {
        const char* args;
        int rc;
    };
    for (const Case& c : {Case{"search --pos 1=x", 1}, Case{"search --from 2013x", 1}, Case{"search --pos 4=1", 2},
                          Case{"search --pos 1=2 --pos 1=3", 2}, Case{"search --type dice", 2},
                          Case{"partial --values 1,2", 2}, Case{"partial --values 1,2,3 --width two", 1},
                          Case{"group --values 1,2", 2}, Case{"group --values 1,7 --size 1", 1},
                          Case{"group --values 1,2 --size x", 1}, Case{"group --values 1,2 --size 1 --sort content", 2},
                          Case{"search --bogus", 2}}) {
        CliRun r = cli(dir, c.args);
        EXPECT_EQ(r.rc, c.rc) << c.args;
        EXPECT_FALSE(r.err.empty()) << c.args;
    }
    // A value the type cannot hold still gives the (empty) result, and says why.
    CliRun r = cli(dir, "search --pos 1=7");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, kGrid2Header + "\n" + kGrid3Header + "7 \t32767\t32767\t3\t10922.3333333333\n");
    EXPECT_NE(r.err.find("7"), std::string::npos);
    // A first issue that is not stored stops the group calculation: header row only.
    r = cli(dir, "group --values 1,2 --size 1 --from 130325000");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, kGrid3Header);
}
