// The window's commands run in the background: the window has shown nothing of a command's outcome
// when the click returns, the commands that change the history are off until it has ended (failed or
// not), and a progress box appears only when a command takes longer than a moment.
#include <QAction>
#include <QDate>
#include <QProgressDialog>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "../history/http_server.h"
#include "background_task.h"
#include "history_session.h"
#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

class BackgroundCommandsTest : public WindowTest {
protected:
    void SetUp() override {
        k3::HistoryStore(dbPath()).append(
            draws({{130325001, "111"}, {130325002, "222"}, {130325003, "333"}, {130325004, "444"}}));
    }
    int rows() { return gridRows(k3::names::kHistoryGrid); }
    bool historyCommandsOn() {
        return find(k3::names::kImportButton)->isEnabled() && action(k3::names::kClearHistoryAction)->isEnabled() &&
               find(k3::names::kCalculateButton)->isEnabled();
    }
};

// Records the progress boxes that were shown.
class ShownBoxes : public QObject {
public:
    ShownBoxes() { qApp->installEventFilter(this); }
    ~ShownBoxes() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog*>(watched)) ++count;
        return false;
    }
};

}  // namespace

// Trimming, clearing and the workbook of the history grid leave the window at once: when the click
// returns, the grid still shows the history as it was and the history commands are off; the outcome
// is shown once the command has ended.
TEST_F(BackgroundCommandsTest, CommandsReturnAtOnceAndShowTheirOutcomeWhenDone) {
    open();
    textAnswers = {QString("2")};
    action(k3::names::kDeleteLastAction)->trigger();
    EXPECT_EQ(rows(), 4);
    EXPECT_FALSE(historyCommandsOn());
    settle();
    EXPECT_EQ(rows(), 2);
    EXPECT_TRUE(historyCommandsOn());
    EXPECT_EQ(status(), "已删除 2 期，保留 2 期");

    auto* view = find<QTableView>(k3::names::kHistoryGrid);
    const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    EXPECT_FALSE(historyCommandsOn());  // the workbook is written in the background
    settle();
    EXPECT_TRUE(fs::exists(dir.file("lishi.xlsx")));
    EXPECT_TRUE(status().startsWith("已导出 3 行到")) << status().toStdString();

    okAnswers = {true};
    action(k3::names::kClearHistoryAction)->trigger();
    EXPECT_EQ(rows(), 2);
    settle();
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(historyCommandsOn());
}

// A command that fails gives the commands back all the same, and says why.
TEST_F(BackgroundCommandsTest, AFailedCommandTurnsTheCommandsBackOn) {
    HttpServer server(HttpServer::always(404, "text/html", "<body>none</body>"));
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue("IniSetting/UpdateUrl", QString::fromStdString(server.base() + "/{n}"));
    open();
    clickOnly(k3::names::kUpdateButton);
    EXPECT_FALSE(historyCommandsOn());
    settle();
    EXPECT_TRUE(historyCommandsOn());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith("历史号在线更新|在线更新失败，历史号码未作改动")) << told[0].toStdString();
    EXPECT_EQ(rows(), 4);

    // Trimming into a backup that cannot be written: told, nothing changed, commands on.
    fs::create_directory(dir.file(k3::kBackupFileName));
    textAnswers = {QString("1")};
    trigger(k3::names::kDeleteLastAction);
    EXPECT_TRUE(historyCommandsOn());
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 4);
    EXPECT_TRUE(told.last().contains("无法写入备份文件")) << told.last().toStdString();
}

// A command over in a moment shows no progress box: the box waits half a second. (One that runs
// longer shows it: see the online update's tests.)
TEST_F(BackgroundCommandsTest, AQuickCommandShowsNoProgressBox) {
    open();
    k3::setProgressDelay(std::chrono::milliseconds(500));
    ShownBoxes boxes;
    click(k3::names::kDeleteNewestButton);
    click(k3::names::kExportTextButton);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(boxes.count, 0);
}

// While a command runs, another one is refused with a word, not queued behind it.
TEST_F(BackgroundCommandsTest, ASecondCommandWaitsForTheFirst) {
    open();
    textAnswers = {QString("1")};
    action(k3::names::kDeleteLastAction)->trigger();
    clickOnly(k3::names::kExportTextButton);
    EXPECT_EQ(status(), "另一个命令正在进行，请等它结束后再试");
    settle();
    EXPECT_EQ(rows(), 3);
    EXPECT_FALSE(fs::exists(fs::u8path(dir.file("更新至130325004期历史号码.txt"))));
}

// Only the newest request's outcome is shown: an older one that ends later is dropped and told to
// stop, and the requests count as running until the last outcome is in, or its window is gone.
TEST(NewestRequestTest, AnOlderOutcomeIsDroppedAndCountedUntilItEnds) {
    testApp();
    auto context = std::make_unique<QObject>();
    k3::NewestRequest requests(context.get());
    std::atomic<bool> release{false}, olderSawCancel{false};
    QStringList shown;
    requests.run(
        [&](k3::TaskControl& control) {
            while (!release) QThread::msleep(1);
            olderSawCancel = control.cancelled();
            return QString("older");
        },
        [&](k3::TaskOutcome<QString>& outcome) { shown << outcome.value(); });
    requests.run([](k3::TaskControl&) { return QString("newer"); },
                 [&](k3::TaskOutcome<QString>& outcome) { shown << outcome.value(); });
    ASSERT_TRUE(eventually([&] { return !shown.isEmpty(); })) << "the newer request's outcome never came";
    EXPECT_EQ(shown, QStringList{"newer"});
    EXPECT_TRUE(requests.running());  // the older one still works
    release = true;
    ASSERT_TRUE(eventually([&] { return !requests.running(); })) << "the older request never ended";
    EXPECT_EQ(shown, QStringList{"newer"});
    EXPECT_TRUE(olderSawCancel);

    // A failure says its words; superseding drops what runs.
    QString failure;
    requests.run([](k3::TaskControl&) -> int { throw std::runtime_error("读不出"); },
                 [&](k3::TaskOutcome<int>& outcome) { failure = outcome.errorText(); });
    ASSERT_TRUE(eventually([&] { return !requests.running(); }));
    EXPECT_EQ(failure, "读不出");
    release = false;
    bool called = false;
    requests.run(
        [&](k3::TaskControl&) {
            while (!release) QThread::msleep(1);
        },
        [&](auto&) { called = true; });
    requests.supersede();
    // The window the callbacks belong to closes first: the request no longer counts once it has ended.
    context.reset();
    release = true;
    k3::waitForBackgroundTasks();
    ASSERT_TRUE(eventually([&] { return !requests.running(); })) << "a dropped callback is still counted";
    EXPECT_FALSE(called);
}
