// The window's commands run in the background: the window has shown nothing of a command's outcome
// when the click returns, the commands that change the history are off until it has ended (failed or
// not), and a progress box appears only when a command takes longer than a moment.
#include <QAction>
#include <QDate>
#include <QProgressDialog>
#include <QSettings>
#include <QTableView>
#include <QTest>
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
