// k3gap-cli fairness and backtest, run as a user's shell would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_runner.h"
#include "stats/backtest.h"
#include "stats/fairness.h"
#include "store/history_store.h"
#include "test_support.h"

namespace {

using k3test::CliRun;
using k3test::TempDir;

CliRun cli(const TempDir& dir, const std::string& args) {
    return k3test::runCli(dir.path().string(), dir.file("config"), args);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        out.push_back(text.substr(at, nl - at));
    return out;
}

void addExample(const TempDir& dir) {
    k3::HistoryStore(dir.file("gapbook.db"))
        .append(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}, {130325004, "111"}}));
}

TEST(CliStats, FairnessPrintsTheSevenTests) {
    TempDir dir;
    addExample(dir);
    CliRun r = cli(dir, "fairness");
    ASSERT_EQ(r.rc, 0) << r.err;
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[0], "检验\t统计量\t自由度\tp值\t结论");
    EXPECT_EQ(l[1], "第1位点数\t\t\t\t期数不足");
    EXPECT_EQ(l[7], "和值自相关\t\t\t\t期数不足");

    // A longer history, a range inside it: the same table as the tests over that range.
    TempDir big;
    const auto draws = k3test::generateDraws(3000, 78, 130101001, 1, 9);
    k3::HistoryStore store(big.file("gapbook.db"));
    store.append(draws);
    const std::string from = std::to_string(draws[200].sqqh), to = std::to_string(draws[2800].sqqh);
    r = cli(big, "fairness --from " + from + " --to " + to);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, k3::gridText(k3::fairnessGrid(k3::computeFairness(*store.snapshot(), from, to))));
    l = lines(r.out);
    EXPECT_EQ(l[5].substr(0, l[5].find('\t')), "216种结果");
    EXPECT_NE(l[5].find("\t215\t"), std::string::npos) << l[5];
}

TEST(CliStats, BacktestPrintsTheItemsWithBothThresholds) {
    TempDir dir;
    addExample(dir);
    CliRun r = cli(dir, "backtest --min-omission 1");
    ASSERT_EQ(r.rc, 0) << r.err;
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), 102u);
    EXPECT_EQ(
        l[0],
        "玩法\t号码\t门槛\t下注期数\t中奖期数\t命中率（%）\t理论命中率（%）\t区间下限（%）\t区间上限（%）\tp值\t奖金\t"
        "返奖率（%）\t理论返奖率（%）");
    EXPECT_EQ(l[8], "和值\t10\t1\t4\t1\t25.00\t12.50\t4.56\t69.94\t0.4138\t9\t112.50\t56.25");
    // By default twice the theoretical omission: 和值 10 needs 16 draws, none of the four is a bet.
    l = lines(cli(dir, "backtest").out);
    EXPECT_EQ(l[8], "和值\t10\t16\t0\t0\t\t12.50\t\t\t\t9\t\t56.25");
    // Half of it: 单号 1 (T = 2.37) needs 2; from the second draw the starting point is IDX 1.
    l = lines(cli(dir, "backtest --times 0.5 --from 130325002").out);
    EXPECT_EQ(l[96], "单号\t1\t2\t1\t1\t100.00\t42.13\t20.65\t100.00\t0.4213\t\t\t");
}

TEST(CliStats, BadArgumentsAreRefusedWithNothingPrinted) {
    TempDir dir;
    addExample(dir);
    for (const char* args :
         {"backtest --times 0", "backtest --times -2", "backtest --times x", "backtest --times 2x",
          "backtest --min-omission 0", "backtest --min-omission 1.5", "backtest --times 2 --min-omission 3",
          "backtest --from 130325004 --to 130325001", "fairness --from 130325004 --to 130325001",
          "fairness --from 130326001 --to 130327001", "backtest --from 130326001", "fairness --from abc",
          "backtest --item 和值:10", "backtest --png x.png", "backtest --png x.png --item 和值:99", "fairness extra"}) {
        CliRun r = cli(dir, args);
        EXPECT_NE(r.rc, 0) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
    EXPECT_NE(cli(dir, "fairness --from 130325004 --to 130325001").err.find("起始期号大于结束期号"), std::string::npos);
    EXPECT_NE(cli(dir, "backtest --from 130326001 --to 130327001").err.find("没有开奖号码"), std::string::npos);
    // No history at all.
    TempDir empty;
    CliRun r = cli(empty, "fairness");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "");
}

TEST(CliStats, BacktestWritesTheWorkbookAndTheChart) {
    TempDir dir;
    k3::HistoryStore(dir.file("gapbook.db")).append(k3test::generateDraws(2000));
    const std::string book = dir.file("Huice.xlsx"), png = dir.file("huice.png");
    CliRun r = cli(dir, "backtest --times 1.5 --xlsx " + book + " --item 二不同号:12 --png " + png);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_GT(std::filesystem::file_size(book), 1000u);
    std::ifstream f(png, std::ios::binary);
    char head[8] = {};
    f.read(head, 8);
    EXPECT_EQ(std::string(head + 1, 3), "PNG");
    EXPECT_GT(std::filesystem::file_size(png), 5000u);
    // The history database is never written over.
    const std::string before = k3test::fileBytes(dir.file("gapbook.db"));
    r = cli(dir, "backtest --xlsx " + dir.file("gapbook.db"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(k3test::fileBytes(dir.file("gapbook.db")), before);
    r = cli(dir, "backtest --item 和值:10 --png " + dir.file("gapbook.db"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(k3test::fileBytes(dir.file("gapbook.db")), before);
}

}  // namespace
