// Two provinces' histories side by side in the window: the 彩种 menu switches between them by real clicks,
// and everything the window shows follows; nothing of one is ever written to the other's file.
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "cli_runner.h"
#include "overview_window.h"
#include "stats_windows.h"
#include "store/history_store.h"
#include "store/issue.h"
#include "store/sqlite_db.h"
#include "trend_window.h"
#include "watch/watch_state.h"
#include "watch_window.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

class ProvinceWindowTest : public WindowTest {
protected:
    std::string jsPath() const { return dir.file("gapbook-js.db"); }
    k3::OverviewWindow* overview() const { return w->findChild<k3::OverviewWindow*>("frmOverview"); }
    k3::FairnessWindow* fairness() const { return w->findChild<k3::FairnessWindow*>("frmFairness"); }
    k3::BacktestWindow* backtest() const { return w->findChild<k3::BacktestWindow*>("frmBacktest"); }
    k3::TrendWindow* trend() const { return w->findChild<k3::TrendWindow*>("frmTrend"); }
    QString provinceLabel() const { return find<QLabel>(k3::names::kProvinceLabel)->text(); }
    std::vector<int32_t> issuesIn(const std::string& path) const { return k3::HistoryStore(path).issues(); }
    void settingsProvince(int index) const {
        QSettings(settingsFile(), QSettings::IniFormat).setValue("IniSetting/GsZl", QString::number(index));
    }
    // The commands that change the history: the buttons and the menu entries agree.
    bool changesOn() const {
        const bool on = find(k3::names::kImportButton)->isEnabled();
        EXPECT_EQ(find(k3::names::kUpdateButton)->isEnabled(), on);
        EXPECT_EQ(action(k3::names::kDeleteLastAction)->isEnabled(), on);
        return on;
    }

    // Every open analysis window shows `draws` draws of the range first–last.
    ::testing::AssertionResult windowsShow(int draws, const std::string& first, const std::string& last) {
        const QString range = QString::fromStdString(first + "～" + last);
        const bool shown = eventually(
            [&] {
                return !w->busy() && overview()->overview().draws == draws &&
                       fairness()->statusLabel()->text().contains(range) &&
                       backtest()->statusLabel()->text().contains(range) && !trend()->busy() && trend()->chart() &&
                       trend()->chart()->rowCount() > 0 &&
                       trend()->chart()->issueText(trend()->chart()->rowCount() - 1) == last;
            },
            15000);
        if (shown) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the analysis windows do not show " << draws << " draws " << range.toStdString() << ": overview "
               << overview()->overview().draws << ", fairness '" << fairness()->statusLabel()->text().toStdString()
               << "', backtest '" << backtest()->statusLabel()->text().toStdString() << "', trend "
               << (trend()->chart() && trend()->chart()->rowCount()
                       ? trend()->chart()->issueText(trend()->chart()->rowCount() - 1)
                       : std::string("none"));
    }
};

}  // namespace

TEST_F(ProvinceWindowTest, TheMenuSwitchesHistoriesAndEverythingFollows) {
    const auto fujian = generateDraws(120, 78, 130325001);
    const auto jiangsu = generateDraws(200, 82, 130401001, 1, 7);
    k3::HistoryStore(dbPath(), "fj").append(fujian);
    k3::HistoryStore(jsPath(), "js").append(jiangsu);
    open();
    const std::string fjLast = std::to_string(fujian.back().sqqh), jsLast = std::to_string(jiangsu.back().sqqh);
    EXPECT_EQ(w->windowTitle(), "快3遗漏分析 — 福建快3 — " + QString::fromStdString(dbPath()));
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook.db");
    for (const char* entry : {"mnuOverview", "mnuFairness", "mnuBacktest", "mnuTrend"})
        clickMenuEntry(k3::names::kAnalysisMenu, entry);
    ASSERT_TRUE(overview() && fairness() && backtest() && trend());
    ASSERT_TRUE(windowsShow(120, "130325001", fjLast));
    const auto fujianBefore = issuesIn(dbPath());

    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");  // 江苏快3
    EXPECT_EQ(setting("GsZl"), "3");
    EXPECT_TRUE(action("mnuK3_3")->isChecked());
    EXPECT_FALSE(action("mnuK3_0")->isChecked());
    EXPECT_EQ(w->windowTitle(), "快3遗漏分析 — 江苏快3 — " + QString::fromStdString(jsPath()));
    EXPECT_EQ(provinceLabel(), "江苏快3 — gapbook-js.db");
    EXPECT_TRUE(status().startsWith("江苏快3（每天 82 期，gapbook-js.db）：共 200 期历史号码"))
        << status().toStdString();
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200);
    EXPECT_EQ(gridRow(k3::names::kHistoryGrid, 0).value(0), "130401001");
    EXPECT_EQ(text(k3::names::kNextIssueEdit), QString::number(k3::nextIssue(jiangsu.back().sqqh, 82, false)));
    EXPECT_EQ(text(k3::names::kRangeStartEdit), "130401001");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), QString::fromStdString(jsLast));
    EXPECT_TRUE(windowsShow(200, "130401001", jsLast));

    // A typed draw goes into 江苏's history only.
    const QString typed = text(k3::names::kNextIssueEdit);
    QTest::keyClicks(find("MaskEdBox1_1"), "1");
    QTest::keyClicks(find("MaskEdBox1_2"), "2");
    QTest::keyClicks(find("MaskEdBox1_3"), "3");
    // Typed while the switched-to history is still being checked for damage, the draw waits for the verdict.
    ASSERT_TRUE(eventually([&] { return gridRows(k3::names::kHistoryGrid) == 201; }))
        << "the typed draw is not stored: " << status().toStdString();
    settle();
    EXPECT_EQ(issuesIn(jsPath()).size(), 201u);
    EXPECT_EQ(issuesIn(jsPath()).back(), typed.toLongLong());
    EXPECT_EQ(issuesIn(dbPath()), fujianBefore);

    // Back to 福建: its history as it was, and its file never written meanwhile.
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_0");
    EXPECT_EQ(setting("GsZl"), "0");
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook.db");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 120);
    EXPECT_EQ(text(k3::names::kNextIssueEdit), QString::number(k3::nextIssue(fujian.back().sqqh, 78, false)));
    EXPECT_EQ(text(k3::names::kRangeEndEdit), QString::fromStdString(fjLast));
    EXPECT_TRUE(windowsShow(120, "130325001", fjLast));
    EXPECT_EQ(issuesIn(dbPath()), fujianBefore);
    EXPECT_EQ(issuesIn(jsPath()).size(), 201u);
}

// The first time a province is chosen its history is made empty, and the boxes show nothing of the one left.
TEST_F(ProvinceWindowTest, AProvinceWithoutHistoryStartsEmpty) {
    k3::HistoryStore(dbPath(), "fj").append(generateDraws(50, 78, 130325001));
    open();
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_1");
    const std::string created = dir.file(std::string("gapbook-") + k3::province(1).code + ".db");
    EXPECT_TRUE(fs::exists(created));
    EXPECT_EQ(k3::HistoryStore(created).recordedProvince(), k3::province(1).code);
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 0);
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "2007001");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "2013001");
    EXPECT_TRUE(status().contains("历史数据库中还没有号码")) << status().toStdString();
    EXPECT_TRUE(changesOn());
    EXPECT_EQ(issuesIn(dbPath()).size(), 50u);
}

// An older gapbook.db without a record belongs to the settings' province: it keeps it after the window
// switched away, and the next start under another province does not take it.
TEST_F(ProvinceWindowTest, AnOlderGapbookIsAdoptedAndKeepsItsProvince) {
    k3::HistoryStore(dbPath()).append(generateDraws(30, 82, 130401001));
    settingsProvince(3);
    open();
    EXPECT_EQ(provinceLabel(), "江苏快3 — gapbook.db");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 30);
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_0");
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook-fj.db");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 0);
    EXPECT_EQ(k3::HistoryStore(dbPath()).recordedProvince(), "js");
    open();  // a new start under 福建快3
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook-fj.db");
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 30);
    EXPECT_EQ(issuesIn(dbPath()).size(), 30u);
}

// While a switch runs, the commands that change a history are off.
TEST_F(ProvinceWindowTest, CommandsAreOffWhileTheSwitchRuns) {
    k3::HistoryStore(dbPath(), "fj").append(generateDraws(50, 78, 130325001));
    k3::HistoryStore(jsPath(), "js").append(generateDraws(200000, 82, 130401001));
    open();
    action("mnuK3_3")->trigger();
    ASSERT_TRUE(session().switching());
    EXPECT_FALSE(changesOn());
    EXPECT_FALSE(action("mnuK3_0")->isEnabled());
    settle();
    EXPECT_TRUE(changesOn());
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200000);
}

// A province's file that records another province's history is never shown as its own: the switch is
// refused with the reason, and the history shown stays, with its commands.
TEST_F(ProvinceWindowTest, AFileOfAnotherProvinceIsNotSwitchedTo) {
    k3::HistoryStore(dbPath(), "fj").append(generateDraws(40, 78, 130325001));
    fs::copy_file(dbPath(), jsPath());
    open();
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("未切换到江苏快3")) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains("记下的是福建快3的历史，不是江苏快3的")) << told[0].toStdString();
    EXPECT_EQ(setting("GsZl"), "");
    EXPECT_TRUE(action("mnuK3_0")->isChecked());
    EXPECT_FALSE(action("mnuK3_3")->isChecked());
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook.db");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 40);
    EXPECT_TRUE(changesOn());
    EXPECT_EQ(issuesIn(jsPath()).size(), 40u);
}

// The check of the history's pages gives way to a switch; when the switch is refused, the check runs
// again and its verdict turns the commands on, as if nothing had been asked.
TEST_F(ProvinceWindowTest, ACheckThatGaveWayToARefusedSwitchStillGivesItsVerdict) {
    k3::HistoryStore(dbPath(), "fj").append(generateDraws(200000, 78, 130325001));
    k3::HistoryStore(jsPath(), "fj").append(generateDraws(10, 78, 130325001));  // Fujian's draws in js's file
    openWhileChecking();
    const bool checking = session().access() == k3::HistoryAccess::kChecking;
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");
    ASSERT_TRUE(eventually([&] { return !told.isEmpty(); })) << "the switch was never refused";
    EXPECT_TRUE(told[0].contains("未切换到江苏快3")) << told[0].toStdString();
    waitForDamageCheck();
    EXPECT_EQ(session().access(), k3::HistoryAccess::kWritable) << "the check was still running: " << checking;
    EXPECT_TRUE(changesOn());
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook.db");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200000);
}

// An older gapbook.db that another program holds while the window leaves it cannot be given its
// province's record: the switch waits for another time, so that the file is never taken for the next
// province's history at the next start.
TEST_F(ProvinceWindowTest, AnOlderGapbookHeldByAnotherProgramIsNotLeftUnrecorded) {
    k3::HistoryStore(dbPath()).append(generateDraws(30, 78, 130325001));  // without a record
    auto other = std::make_unique<k3::Db>(dbPath(), false);
    other->exec("BEGIN IMMEDIATE");
    open();
    EXPECT_FALSE(k3::HistoryStore(dbPath()).recordedProvince());
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("未切换到江苏快3")) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains("正被另一个程序改动")) << told[0].toStdString();
    EXPECT_EQ(provinceLabel(), "福建快3 — gapbook.db");
    EXPECT_EQ(setting("GsZl"), "");
    other->exec("COMMIT");
    other.reset();
    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");
    EXPECT_EQ(provinceLabel(), "江苏快3 — gapbook-js.db");
    EXPECT_EQ(k3::HistoryStore(dbPath()).recordedProvince(), "fj");
}

// The watch list open while the player switches: the province left is then followed as every other
// province is, so that a draw k3gap-cli adds to it afterwards reaches its row.
TEST_F(ProvinceWindowTest, TheWatchListFollowsTheProvinceLeftBehind) {
    const auto fujian = generateDraws(120, 78, 130325001);
    k3::HistoryStore(dbPath(), "fj").append(fujian);
    k3::HistoryStore(jsPath(), "js").append(generateDraws(200, 82, 130401001, 1, 7));
    QSettings(settingsFile(), QSettings::IniFormat).setValue("IniSetting/TixingList", "和值:10@2");
    open();
    clickMenuEntry(k3::names::kAnalysisMenu, "mnuTixing");
    auto* watch = w->findChild<k3::WatchWindow*>();
    ASSERT_NE(watch, nullptr) << "the watch list did not open";
    auto current = [&](const char* caption) -> std::string {
        for (const auto& row : watch->grid().rows)
            if (row.at(0) == caption) return row.at(3);
        return "no row";
    };
    auto counted = [&](const std::string& path) {
        const auto plan = std::make_shared<const k3::WatchPlan>(watch->items(), 1);
        return std::to_string(k3::WatchState(plan, *k3::HistoryStore(path).snapshot()).figures()[0].current);
    };
    const std::string js = counted(jsPath()), fj = counted(dbPath());
    ASSERT_TRUE(eventually([&] { return !watch->busy() && current("江苏快3") == js && current("福建快3") == fj; }))
        << "江苏 " << current("江苏快3") << " (" << js << "), 福建 " << current("福建快3") << " (" << fj << ")";

    clickMenuEntry(k3::names::kLotteryMenu, "mnuK3_3");
    ASSERT_EQ(provinceLabel(), "江苏快3 — gapbook-js.db");
    // A draw that misses 和值 10, added by k3gap-cli to 福建's history.
    const std::string issue = std::to_string(k3::nextIssue(fujian.back().sqqh, 78, false));
    const CliRun add = runCli(dir.path().string(), dir.file("config"), "--lottery 0 add " + issue + " 666");
    ASSERT_EQ(add.rc, 0) << add.err;
    const std::string after = counted(dbPath());
    ASSERT_EQ(std::stoi(after), std::stoi(fj) + 1);
    EXPECT_TRUE(eventually([&] { return current("福建快3") == after; }, 5000))
        << "福建's row did not follow k3gap-cli's draw within 5 s: " << current("福建快3");
    EXPECT_EQ(current("江苏快3"), js);
}

// A saved list is followed from the start, its window never opened: a draw k3gap-cli adds to another
// province that makes an item reach its threshold is said in the status bar.
TEST_F(ProvinceWindowTest, ASavedWatchListAlertsWithoutItsWindow) {
    k3::HistoryStore(dbPath(), "fj").append(generateDraws(120, 78, 130325001));
    // 江苏: 和值 10 came out in the newest draw, so its current omission is 1.
    k3::HistoryStore(jsPath(), "js").append(draws({{130401001, "111"}, {130401002, "253"}}));
    QSettings(settingsFile(), QSettings::IniFormat).setValue("IniSetting/TixingList", "和值:10@2");
    open();
    k3::WatchWindow* watch = nullptr;
    auto counts = [&](const char* caption) {
        watch = w->findChild<k3::WatchWindow*>();
        if (!watch || watch->busy()) return false;
        const auto& rows = watch->grid().rows;
        return std::any_of(rows.begin(), rows.end(), [&](const auto& row) { return row.at(0) == caption; });
    };
    ASSERT_TRUE(eventually([&] { return counts("江苏快3") && counts("福建快3"); })) << "the saved list counts nothing";
    EXPECT_FALSE(watch->isVisible());

    const CliRun add = runCli(dir.path().string(), dir.file("config"), "--lottery 3 add 130401003 666");
    ASSERT_EQ(add.rc, 0) << add.err;
    EXPECT_TRUE(
        eventually([&] { return status().contains("江苏快3：和值 10 的遗漏已达到门槛 2 期（当前遗漏 2）"); }, 5000))
        << status().toStdString();
    EXPECT_FALSE(watch->isVisible());
}
