// k3gap-cli watch, run as a user's shell would: the same numbers as the backtest for every item, the
// window's saved list, --reached, and the refusals.
#include <gtest/gtest.h>

#include <QString>
#include <fstream>

#include "cli_runner.h"
#include "overview/overview.h"
#include "settings/settings.h"
#include "store/history_store.h"
#include "store/province_history.h"
#include "test_support.h"
#include "watch/watch_cache.h"

namespace {

using k3test::CliRun;
using k3test::TempDir;

CliRun cli(const TempDir& dir, const std::string& args) {
    return k3test::runCli(dir.path().string(), dir.file("config"), args);
}

std::vector<std::vector<std::string>> table(const std::string& text) {
    std::vector<std::vector<std::string>> out;
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::vector<std::string> cells;
        const std::string line = text.substr(at, nl - at);
        size_t from = 0;
        for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            cells.push_back(line.substr(from, tab - from));
        cells.push_back(line.substr(from));
        out.push_back(cells);
    }
    return out;
}

// The settings file k3gap-cli reads with XDG_CONFIG_HOME at the test's "config" folder.
k3::Settings userSettings(const TempDir& dir) {
    return k3::Settings(QString::fromStdString(dir.file("config/K3MIVLOR/K3MIVLOR.conf")));
}

const char* const kHeader =
    "省份\t玩法\t号码\t当前遗漏\t门槛\t最大遗漏\t达到次数\t其后开出\t其后命中率（%）\t理论命中率（%）\t区间下限（%）\t"
    "区间上限（%）\n";

TEST(CliWatch, EveryItemHasTheBacktestsNumbers) {
    TempDir dir;
    k3::HistoryStore(dir.file("gapbook.db")).append(k3test::generateDraws(3000, 82, 130101001, 1, 21));
    for (const std::string& threshold : {std::string("@9"), std::string("x2.5")}) {
        std::string args = "watch";
        for (const k3::BetItem& it : k3::betItems()) args += " --item '" + it.play + ":" + it.label + threshold + "'";
        const CliRun w = cli(dir, args);
        ASSERT_EQ(w.rc, 0) << w.err;
        const CliRun b = cli(dir, threshold[0] == '@' ? "backtest --min-omission 9" : "backtest --times 2.5");
        ASSERT_EQ(b.rc, 0) << b.err;
        const auto watch = table(w.out), backtest = table(b.out);
        ASSERT_EQ(watch.size(), 102u);
        ASSERT_EQ(backtest.size(), 102u);
        EXPECT_EQ(w.out.substr(0, w.out.find('\n') + 1), kHeader);
        // The watch lists the reached rows first: find each item's row by its play and label.
        for (size_t i = 1; i < backtest.size(); ++i) {
            const auto& want = backtest[i];
            auto row = std::find_if(watch.begin() + 1, watch.end(),
                                    [&](const auto& r) { return r[1] == want[0] && r[2] == want[1]; });
            ASSERT_NE(row, watch.end()) << want[0] << want[1];
            const auto& got = *row;
            EXPECT_EQ(got[0], "福建快3");
            // 门槛, 达到次数 = 下注期数, 其后开出 = 中奖期数, the rates and the interval.
            EXPECT_EQ((std::vector<std::string>{got[4], got[6], got[7], got[8], got[9], got[10], got[11]}),
                      (std::vector<std::string>{want[2], want[3], want[4], want[5], want[6], want[7], want[8]}))
                << threshold << " " << want[0] << " " << want[1];
        }
        // Reached rows first: once a row has not reached its threshold, none after it has.
        bool below = false;
        for (size_t i = 1; i < watch.size(); ++i) {
            const bool reached = std::stoi(watch[i][3]) >= std::stoi(watch[i][4]);
            EXPECT_FALSE(below && reached) << i;
            below = below || !reached;
        }
    }
}

TEST(CliWatch, TheSavedListAndReachedRowsOnly) {
    TempDir dir;
    // 和值 10 hits at the first draw only: current omission 4; 和值 3 at the last: 1.
    k3::HistoryStore(dir.file("gapbook.db"))
        .append(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}, {130325004, "111"}}));
    {
        k3::Settings s = userSettings(dir);
        s.setLotteryIndex(3);
        s.setWatchList("和值:10@3; --type number --fixed --pos 1=1 --pos 2=1 @2; 和值:3x2");
    }
    CliRun r = cli(dir, "watch");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kHeader) +
                         "江苏快3\t和值\t10\t4\t3\t1\t1\t0\t0.00\t12.50\t0.00\t79.35\n"
                         "江苏快3\t检索（号码，固定位）\t第1位1 第2位1\t1\t2\t4\t3\t1\t33.33\t2.78\t6.15\t79.23\n"
                         "江苏快3\t和值\t3\t1\t432\t4\t0\t0\t\t0.46\t\t\n");
    r = cli(dir, "watch --reached");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(table(r.out).size(), 2u);
    // Items on the command line replace the saved list; the saved list is not changed.
    r = cli(dir, "watch --item 和值:3@1");
    EXPECT_EQ(table(r.out).size(), 2u);
    EXPECT_EQ(userSettings(dir).watchList().toStdString(),
              "和值:10@3; --type number --fixed --pos 1=1 --pos 2=1 @2; 和值:3x2");
    EXPECT_EQ(userSettings(dir).lotteryIndex(), 3);

    // A saved list that is not one: bad input, naming the entry.
    userSettings(dir).setWatchList("和值:10; 和值:2");
    r = cli(dir, "watch");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("遗漏提醒的第 2 项「和值:2」读不出"), std::string::npos) << r.err;
    // None saved: the header, and a word on how to give items.
    userSettings(dir).setWatchList("");
    r = cli(dir, "watch");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, kHeader);
    EXPECT_NE(r.err.find("遗漏提醒中还没有号码"), std::string::npos) << r.err;
}

TEST(CliWatch, RefusalsAreUsageErrorsInChinese) {
    TempDir dir;
    k3::HistoryStore(dir.file("gapbook.db")).append(k3test::generateDraws(50));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"watch --item 和值:19", "遗漏总表中没有玩法「和值」的号码「19」"},
        {"watch --item 和值10", "不是遗漏总表的号码"},
        {"watch --item 和值:10@0", "期数要写 1 以上的整数"},
        {"watch --item 和值:10@2.5", "期数要写 1 以上的整数"},
        {"watch --item 和值:10x0", "理论遗漏的倍数要写大于 0 的数"},
        {"watch --item 和值:10x-1", "理论遗漏的倍数要写大于 0 的数"},
        {"watch --search '--type number'", "检索没有选位置"},
        {"watch --search '--type number --fixed --pos 1=9'", "不是号码的取值"},
        {"watch --search '--type segment --pos 1=0'", "门槛只能写期数"},
        {"watch --item '--pos 1=2'", "不是遗漏总表的号码"},
        {"watch 和值:10", "watch 不带位置参数"},
    };
    const std::string before = k3test::fileBytes(dir.file("gapbook.db"));
    for (const auto& [args, message] : cases) {
        const CliRun r = cli(dir, args);
        EXPECT_EQ(r.rc, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_EQ(k3test::fileBytes(dir.file("gapbook.db")), before);
    // A segment that base 1 never gives, watched by a number of draws: taken.
    EXPECT_EQ(cli(dir, "watch --search '--type segment --pos 1=0 @5'").rc, 0);
}

TEST(CliWatch, EveryProvinceWithAHistory) {
    TempDir dir;
    // 江苏 (3) and 安徽 (4) with histories of their own, 福建 (0) made but empty.
    const auto jiangsu = k3test::generateDraws(2000, 82, 130101001, 1, 31);
    const auto anhui = k3test::generateDraws(1500, 80, 140101001, 1, 32);
    k3::openProvinceHistory(dir.path().string(), 3, 3).store->append(jiangsu);
    k3::openProvinceHistory(dir.path().string(), 4, 3).store->append(anhui);
    k3::openProvinceHistory(dir.path().string(), 0, 3);
    const std::string items =
        "--item 和值:10 --item 三同号通选:通选@30 --search '--type odd-even --pos 1=1 --pos 2=1 x1'";
    const CliRun all = cli(dir, "--lottery 3 watch --all-provinces " + items);
    ASSERT_EQ(all.rc, 0) << all.err;
    const CliRun js = cli(dir, "--lottery 3 watch " + items), ah = cli(dir, "--lottery 4 watch " + items);
    ASSERT_EQ(js.rc, 0) << js.err;
    ASSERT_EQ(ah.rc, 0) << ah.err;
    const auto rows = table(all.out), one = table(js.out), other = table(ah.out);
    ASSERT_EQ(rows.size(), 7u);  // the header, three items in each of two provinces
    EXPECT_EQ(one.size(), 4u);
    // Each row is that of its own province's history, none of the empty one.
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_TRUE(rows[i][0] == "江苏快3" || rows[i][0] == "安徽快3") << rows[i][0];
        const auto& own = rows[i][0] == "江苏快3" ? one : other;
        EXPECT_NE(std::find(own.begin() + 1, own.end(), rows[i]), own.end()) << i;
    }
    // The reached rows first over both provinces.
    bool below = false;
    for (size_t i = 1; i < rows.size(); ++i) {
        const bool reached = std::stoi(rows[i][3]) >= std::stoi(rows[i][4]);
        EXPECT_FALSE(below && reached) << i;
        below = below || !reached;
    }
    const CliRun reached = cli(dir, "watch --all-provinces --reached " + items);
    for (const auto& r : table(reached.out)) {
        if (r[0] == "省份") continue;
        EXPECT_GE(std::stoi(r[3]), std::stoi(r[4]));
    }

    // A province's file that is not a history: named, the others listed, not reported as done.
    { std::ofstream(dir.file("gapbook-gx.db")) << "not a database, but long enough to be opened as one......"; }
    const CliRun broken = cli(dir, "--lottery 3 watch --all-provinces " + items);
    EXPECT_EQ(broken.rc, 1);
    EXPECT_EQ(broken.out, all.out);
    EXPECT_NE(broken.err.find("gapbook-gx.db"), std::string::npos) << broken.err;
}

// The saved list's figures are kept for the window's next start, and taken back by the command for a
// history whose content token is the one they were counted with; any change renews the token. A list
// given on the command line neither takes nor keeps them.
TEST(CliWatch, TheSavedListsKeptFiguresServeOnlyTheirHistory) {
    TempDir dir;
    const std::string kept = dir.file(k3::kWatchCacheFileName), data = dir.path().string();
    k3::HistoryStore(dir.file("gapbook.db"))
        .append(k3test::draws({{130325001, "253"}, {130325002, "666"}, {130325003, "123"}, {130325004, "111"}}));
    {
        k3::Settings s = userSettings(dir);
        s.setLotteryIndex(3);
        s.setWatchList("和值:10@3");
    }
    const std::string truth = std::string(kHeader) + "江苏快3\t和值\t10\t4\t3\t1\t1\t0\t0.00\t12.50\t0.00\t79.35\n";
    CliRun r = cli(dir, "watch --item 和值:10@3");
    EXPECT_EQ(r.out, truth);
    EXPECT_FALSE(std::filesystem::exists(kept));
    r = cli(dir, "watch");
    EXPECT_EQ(r.out, truth);
    ASSERT_TRUE(std::filesystem::exists(kept));

    // Figures of another history (和值 10 at the newest of two draws) kept under the file's token.
    auto plan = std::make_shared<const k3::WatchPlan>(k3::parseWatchList("和值:10@3"), 1);
    k3::WatchCache planted;
    planted.keep(3, *k3::HistoryStore(dir.file("gapbook.db")).contentToken(),
                 k3::WatchState(plan, k3::snapshotOf(k3test::draws({{150101001, "111"}, {150101002, "253"}}))));
    planted.save(data);
    r = cli(dir, "watch");
    EXPECT_EQ(table(r.out)[1][3], "1");  // taken without reading the history
    r = cli(dir, "watch --item 和值:10@3");
    EXPECT_EQ(r.out, truth);  // not for a list of the command line

    // A draw added: the history is counted again.
    ASSERT_EQ(cli(dir, "add 130325005 666").rc, 0);
    r = cli(dir, "watch");
    EXPECT_EQ(table(r.out)[1][3], "5");
    EXPECT_EQ(table(r.out)[1][6], "2");  // 达到次数: before the 4th and the 5th draw
}

}  // namespace
