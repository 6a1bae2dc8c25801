#include <gtest/gtest.h>

#include <fstream>

#include "cli_runner.h"
#include "store/history_store.h"
#include "test_support.h"

using k3test::TempDir;

namespace {
k3test::CliRun cli(const TempDir& dir, const std::string& args) {
    return k3test::runCli(dir.path().string(), dir.file("config"), args);
}
using Result = k3test::CliRun;
}  // namespace

TEST(CliStore, AddShowNext) {
    TempDir dir;
    EXPECT_EQ(cli(dir, "add 130325001 253").rc, 0);
    Result show = cli(dir, "show");
    EXPECT_EQ(show.rc, 0);
    EXPECT_EQ(show.out, "期号\t第1位\t第2位\t第3位\n130325001\t2\t5\t3\n");
    EXPECT_EQ(cli(dir, "next").out, "130325001\t130325002\n");
    EXPECT_EQ(cli(dir, "add 130325078 666").rc, 0);
    EXPECT_EQ(cli(dir, "next").out, "130325078\t130326001\n");  // Fujian: 78 a day
    // Each province's rule on its own history.
    EXPECT_EQ(cli(dir, "--lottery 8 add 130325078 666").rc, 0);
    EXPECT_EQ(cli(dir, "--lottery 8 next").out, "130325078\t130325079\n");  // Jilin: 87 a day
    EXPECT_EQ(cli(dir, "--lottery 9 add 130325078 666").rc, 0);
    EXPECT_EQ(cli(dir, "--lottery 9 next").out, "130325078\t130325079\n");  // Beijing counts on
}

TEST(CliStore, BadInputChangesNothing) {
    TempDir dir;
    ASSERT_EQ(cli(dir, "add 130325001 253").rc, 0);
    for (const char* bad :
         {"add 130325001 111", "add 1303x5002 111", "add 130325002 171", "add 130325002 12", "add 130325002 0123"}) {
        Result r = cli(dir, bad);
        EXPECT_EQ(r.rc, 1) << bad;
        EXPECT_FALSE(r.err.empty()) << bad;
    }
    EXPECT_EQ(k3::HistoryStore(dir.file("gapbook.db")).count(), 1);
    EXPECT_EQ(cli(dir, "add 130325002").rc, 2);
    EXPECT_EQ(cli(dir, "frobnicate").rc, 2);
    EXPECT_EQ(cli(dir, "--segment-base 2 show").rc, 2);
    EXPECT_EQ(cli(dir, "show extra").rc, 2);

    TempDir empty;
    Result next = cli(empty, "next");
    EXPECT_EQ(next.rc, 1);
    EXPECT_NE(next.err.find("历史为空"), std::string::npos);
}

TEST(CliStore, SegmentBaseOptionDecidesStoredSegments) {
    TempDir dir;
    ASSERT_EQ(cli(dir, "--segment-base 0 add 130325001 156").rc, 0);
    auto snap = k3::HistoryStore(dir.file("gapbook.db")).snapshot();
    EXPECT_EQ(snap->values().of(0).v[k3::kSegment], (std::array<int8_t, 3>{0, 2, 2}));
}
