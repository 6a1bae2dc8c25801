#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_runner.h"
#include "test_support.h"

using k3test::TempDir;

namespace {

using k3test::CliRun;

CliRun cli(const TempDir& dir, const std::string& args) {
    return k3test::runCli(dir.path().string(), dir.file("config"), args);
}

const std::string kGrid2 = "期号\t第1位\t第2位\t第3位\t遗漏次数\t序号\n";
const std::string kGrid3 = "号码（分组）\t最小遗漏\t最大遗漏\t最后遗漏\t大后比\n";

}  // namespace

TEST(CliAnalysis, SearchPartialAndGroup) {
    TempDir dir;
    for (const char* d : {"130325001 253", "130325002 666"}) ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0);
    CliRun r = cli(dir, "search --pos 1=2");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, kGrid2 + "130325001\t2\t5\t3\t1\t1\n\n" + kGrid3 + "2 \t1\t1\t2\t0.5\n");
    EXPECT_EQ(cli(dir, "search --fixed --type big-small --pos 3=1 --from 130325002").out,
              kGrid2 + "130325002\t大\t大\t大\t1\t1\n\n" + kGrid3 + "1 \t1\t1\t1\t1\n");
    EXPECT_EQ(cli(dir, "partial --values 2,6,6 --width 2").out,
              kGrid2 + "130325002\t6\t6\t6\t2\t1\n\n" + kGrid3 + "2 6 6 (2)\t2\t2\t1\t2\n");
    EXPECT_EQ(cli(dir, "group --values 6,2,5 --size 2").out,
              kGrid3 + "2 5\t1\t1\t2\t0.5\n2 6\t32767\t32767\t3\t10922.33\n5 6\t32767\t32767\t3\t10922.33\n");
    EXPECT_EQ(cli(dir, "group --values 1,0 --size 1 --type odd-even --sort sglLlr").out,
              kGrid3 + "单\t1\t1\t2\t0.5\n双\t1\t1\t1\t1\n");
    std::string book = dir.file("Jiansuo.xlsx");
    EXPECT_EQ(cli(dir, "search --pos 1=2 --xlsx " + book).out, "");
    EXPECT_GT(std::filesystem::file_size(book), 0u);
}

TEST(CliAnalysis, BadInputAndUsage) {
    TempDir dir;
    EXPECT_EQ(cli(dir, "search --pos 1=2").rc, 1);  // an empty history
    for (const char* d : {"130325001 253", "130325002 666"}) ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0);
    for (auto [args, rc] :
         std::vector<std::pair<const char*, int>>{{"search --pos 1=x", 1},
                                                  {"search --from 2013x", 1},
                                                  {"search --pos 4=1", 2},
                                                  {"search --pos 1=2 --pos 1=3", 2},
                                                  {"search --type dice", 2},
                                                  {"partial --values 1,2", 2},
                                                  {"partial --values 1,2,3 --width two", 1},
                                                  {"group --values 1,7 --size 1", 1},
                                                  {"group --values 1,2 --size x", 1},
                                                  {"group --values 1,2 --size 1 --sort content", 2}}) {
        CliRun r = cli(dir, args);
        EXPECT_EQ(r.rc, rc) << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
    // A value the type cannot hold gives the empty result of the search, and says why.
    CliRun r = cli(dir, "search --pos 1=7");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, kGrid2 + "\n" + kGrid3 + "7 \t32767\t32767\t3\t10922.3333333333\n");
    // A first issue that is not stored stops the group calculation: header row only.
    r = cli(dir, "group --values 1,2 --size 1 --from 130325000");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, kGrid3);
}

TEST(CliAnalysis, GroupArgumentsThatGiveNoGroupSayWhy) {
    TempDir dir;
    for (const char* d : {"130325001 253", "130325002 666"}) ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0);
    for (auto [args, why] : std::vector<std::pair<const char*, const char*>>{
             {"group --values 1,2 --size 0", "组合位数 0 不在 1～6 之内"},
             {"group --values 1,2 --size 7", "组合位数 7 不在 1～6 之内"},
             {"group --values 1,2 --size -0.4", "组合位数 0 不在 1～6 之内"},
             {"group --values 2,2,2 --size 2", "勾选的值（1 个）少于组合位数 2"},
             {"group --values 1,2 --size 1 --from 130325002 --to 130325001",
              "起始期号 130325002 在结束期号 130325001 之后"}}) {
        CliRun r = cli(dir, args);
        EXPECT_EQ(r.rc, 1) << args;
        EXPECT_NE(r.err.find(why), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(r.out, kGrid3) << args;
    }
}
