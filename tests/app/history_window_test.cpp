// The history commands through the real window: import, online update, trimming and exports.
#include <QAbstractButton>
#include <QAction>
#include <QDate>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <fstream>

#include "../history/http_server.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

class HistoryWindowTest : public WindowTest {
protected:
    void fill(std::initializer_list<std::pair<int, const char*>> list) {
        k3::HistoryStore(dbPath()).append(draws(list));
    }
    int rows() { return gridRows(k3::names::kHistoryGrid); }
};

}  // namespace

TEST_F(HistoryWindowTest, Import) {
    open();
    std::string file = dir.file("draws.TXT");
    std::ofstream(file, std::ios::binary) << "130325002 666\r\n130325001 253\r\n130325003 2 5 3\r\n";
    okAnswers = {false};  // confirmation cancelled: no dialog
    fileAnswers = {QString::fromStdString(dir.file("draws.dat")), QString::fromStdString(file)};
    click(k3::names::kImportButton);
    EXPECT_EQ(fileAnswers.size(), 2u);
    click(k3::names::kImportButton);  // not a txt, csv, xlsx or xls file: nothing read
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(status().contains("draws.dat"));
    EXPECT_TRUE(fs::is_directory(dir.path() / fs::u8path("历史号码")));

    click(k3::names::kImportButton);
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(
        text(k3::names::kRangeStartEdit) + " " + text(k3::names::kRangeEndEdit) + " " + text(k3::names::kNextIssueEdit),
        "130325001 130325002 130325003");
    EXPECT_TRUE(status().contains("跳过 1 行"));
    click(k3::names::kSkippedDetailsButton);
    EXPECT_TRUE(find<QPlainTextEdit>(k3::names::kSkippedLinesText)->toPlainText().contains("3\t130325003 2 5 3"));

    fileAnswers = {QString::fromStdString(dir.file("gone.txt"))};  // unreadable: told, nothing changed
    click(k3::names::kImportButton);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(told.size(), 1);
}

TEST_F(HistoryWindowTest, ImportOfManyBadLinesCountsThemAllAndListsTheFirst) {
    open();
    std::string file = dir.file("noisy.txt");
    {
        std::ofstream f(file, std::ios::binary);
        f << "130325001 253\r\n";
        for (int i = 0; i < 1500; ++i) f << "note " << i << "\r\n";
    }
    fileAnswers = {QString::fromStdString(file)};
    click(k3::names::kImportButton);
    EXPECT_EQ(rows(), 1);
    EXPECT_TRUE(status().contains("跳过 1500 行")) << status().toStdString();
    click(k3::names::kSkippedDetailsButton);
    const QString details = find<QPlainTextEdit>(k3::names::kSkippedLinesText)->toPlainText();
    EXPECT_TRUE(details.contains("2\tnote 0"));
    EXPECT_FALSE(details.contains("note 1499"));
    EXPECT_TRUE(details.contains("另有 500 行未列出"));

    // The list closes with Esc and with its 关闭 button.
    auto* view = find<QDialog>(k3::names::kSkippedLinesView);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view, 5000));
    // It comes up as the active window, so that the keys typed next go to it.
    ASSERT_TRUE(eventually([view] { return QApplication::activeWindow() == view && QApplication::focusWidget(); }))
        << "the list did not become the active window";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(eventually([view] { return !view->isVisible(); })) << "Esc left the list open";
    click(k3::names::kSkippedDetailsButton);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view, 5000));
    QAbstractButton* close = buttonReading(view, "关闭");
    ASSERT_NE(close, nullptr) << "no 关闭 button";
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_TRUE(eventually([view] { return !view->isVisible(); })) << "关闭 left the list open";
}

TEST_F(HistoryWindowTest, ImportThatWouldShrinkOrReplaceEverythingIsAskedFirst) {
    fill({{130325001, "111"}, {130325002, "222"}, {130325003, "333"}});
    open();
    const QString newest = QString::fromStdString(dir.file("newest.txt"));
    std::ofstream(newest.toStdString(), std::ios::binary) << "130325003 333\r\n130325004 444\r\n";
    const QString question =
        "读入历史|已存 3 期（130325001—130325003），文件中 2 "
        "期（130325003—130325004）：将以文件替换全部历史号码，确定吗？";
    okAnswers = {true, false};  // read: yes; replace 3 draws by 2: no
    fileAnswers = {newest};
    click(k3::names::kImportButton);
    EXPECT_EQ(cancelFirst, QStringList{question});
    EXPECT_EQ(questions.last(), question);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(status(), "已取消读入，历史号码未作改动");

    okAnswers = {true, true};
    fileAnswers = {newest};
    click(k3::names::kImportButton);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(status(), "已读入 2 期历史号码");

    // A file that holds the stored draws and more is shown too, without the warning.
    const QString longer = QString::fromStdString(dir.file("longer.txt"));
    std::ofstream(longer.toStdString(), std::ios::binary) << "130325003 333\r\n130325004 444\r\n130325005 555\r\n";
    questions.clear();
    fileAnswers = {longer};
    click(k3::names::kImportButton);
    EXPECT_EQ(questions.size(), 2);
    EXPECT_FALSE(previews.last().replacesMore);
    EXPECT_EQ(rows(), 3);
}

TEST_F(HistoryWindowTest, Trimming) {
    fill({{130325081, "111"}, {130325082, "222"}, {130326001, "333"}, {130326002, "444"}, {130326003, "555"}});
    open();
    click(k3::names::kDeleteNewestButton);
    EXPECT_EQ(text(k3::names::kNextIssueEdit), "130326003");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), "130326002");
    textAnswers = {QString("abc"), QString("2"), std::nullopt, QString("130325081")};
    trigger(k3::names::kDeleteLastAction);
    EXPECT_TRUE(told.value(0).contains("不是大于0的整数"));
    trigger(k3::names::kDeleteLastAction);
    EXPECT_EQ(rows(), 2);
    trigger(k3::names::kDeleteToIssueAction);  // cancelled; the preset is the newest issue minus 1
    EXPECT_TRUE(questions.last().endsWith("|130325081"));
    EXPECT_EQ(status(), "未删除任何号码");
    EXPECT_EQ(rows(), 2);
    trigger(k3::names::kDeleteToIssueAction);
    EXPECT_EQ(rows(), 1);
    trigger(k3::names::kDeleteNewestAction);
    EXPECT_EQ(rows(), 0);
    fill({{130325081, "111"}});  // stored by another program: the clearing counts it
    okAnswers = {false};
    trigger(k3::names::kClearHistoryAction);
    EXPECT_EQ(status(), "未删除任何号码");
    trigger(k3::names::kClearHistoryAction);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(status(), "已清空历史号码（1 期）");
}

TEST_F(HistoryWindowTest, Exports) {
    fill({{130325001, "253"}, {130325002, "666"}});
    open();
    click(k3::names::kExportTextButton);
    std::string text = dir.file("更新至130325002期历史号码.txt");
    EXPECT_TRUE(fs::exists(fs::u8path(text)));
    EXPECT_EQ(opened.value(0), QUrl::fromLocalFile(QString::fromStdString(text)).toString());
    trigger(k3::names::kExportHistoryAction);
    EXPECT_TRUE(fs::exists(dir.file("lishi.xlsx")));
    EXPECT_FALSE(find(k3::names::kHistoryGrid)->isHidden());
    fs::remove(dir.file("lishi.xlsx"));
    doubleClickCell(k3::names::kHistoryGrid, 0, 0);
    EXPECT_TRUE(fs::exists(dir.file("lishi.xlsx")));
    click("Check11_1");
    type("Text22_1", "6");
    click(k3::names::kSearchButton);
    fs::create_directory(dir.file("Jiansuo.xlsx"));  // cannot be written: told, the program goes on
    doubleClickCell(k3::names::kMatchesGrid, 0, 0);
    EXPECT_TRUE(told.value(0).contains("Jiansuo.xlsx")) << told.join("\n").toStdString() << status().toStdString();
    // Grid 3 after a group calculation: the first click of the double-click sorts it, then it is written.
    click("cmdZH_0");
    click(k3::names::kCalculateButton);
    doubleClickCell(k3::names::kSummaryGrid, 0, 1);
    EXPECT_TRUE(fs::exists(dir.file("Jieguo.xlsx")));
    EXPECT_EQ(opened.size(), 4);
}

TEST_F(HistoryWindowTest, OnlineUpdateRunsOffTheWindowThread) {
    const std::string day = QDate::currentDate().addDays(-1).toString("yyMMdd").toStdString();
    HttpServer server([page = "<body>" + day + "0012,5,3 " + day + "0026,6,6</body>"](int fd, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        HttpServer::sendAll(fd, HttpServer::response(200, "text/html", page));
    });
    open();
    const QString address = QString::fromStdString(server.base() + "/{code}?n={n}");
    textAnswers = {address};
    trigger(k3::names::kUpdateAddressAction);
    EXPECT_EQ(setting("UpdateUrl"), address);
    clickOnly(k3::names::kUpdateButton);
    // History commands are off while the page loads; the window goes on handling events.
    EXPECT_FALSE(find(k3::names::kImportButton)->isEnabled());
    EXPECT_FALSE(action(k3::names::kClearHistoryAction)->isEnabled());
    EXPECT_TRUE(find(k3::names::kSearchButton)->isEnabled());
    ASSERT_TRUE(eventually([&] { return find(k3::names::kImportButton)->isEnabled(); }, 10000))
        << "the update never ended";
    EXPECT_EQ(rows(), 2);
    EXPECT_TRUE(told.value(0).contains("新增 2 期"));
    EXPECT_EQ(status(), told.value(0).section('|', 1));

    textAnswers = {QString("ftp://x/{n}")};  // refused
    trigger(k3::names::kUpdateAddressAction);
    EXPECT_EQ(setting("UpdateUrl"), address);
}

// 取消 on the progress box while the page is on its way stores nothing, and the commands come back.
TEST_F(HistoryWindowTest, CancelWhileThePageLoadsStoresNothing) {
    const std::string day = QDate::currentDate().addDays(-1).toString("yyMMdd").toStdString();
    std::atomic<bool> release{false};
    HttpServer server([&release, page = "<body>" + day + "0012,5,3</body>"](int fd, const std::string&) {
        for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        HttpServer::sendAll(fd, HttpServer::response(200, "text/html", page));
    });
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue("IniSetting/UpdateUrl", QString::fromStdString(server.base() + "/{n}"));
    open();
    clickOnly(k3::names::kUpdateButton);
    QProgressDialog* progress = nullptr;
    ASSERT_TRUE(eventually([&] {
        progress = w->findChild<QProgressDialog*>(k3::names::kTaskProgress);
        return progress && progress->isVisible() && !server.targets().empty();
    })) << "no progress box while the page loads";
    EXPECT_FALSE(find(k3::names::kImportButton)->isEnabled());
    QPushButton* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    settle();
    release = true;
    ASSERT_TRUE(eventually([&] { return find(k3::names::kImportButton)->isEnabled(); }, 10000))
        << "the commands did not come back after the cancel";
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 0);
    EXPECT_EQ(status(), "已取消在线更新，历史号码未作改动");
    EXPECT_EQ(w->findChild<QProgressDialog*>(k3::names::kTaskProgress), nullptr);
}

TEST_F(HistoryWindowTest, ClosingTheWindowDuringAnUpdateDropsItsResult) {
    HttpServer server([](int fd, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        HttpServer::sendAll(fd, HttpServer::response(200, "text/html", "<body></body>"));
    });
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue("IniSetting/UpdateUrl", QString::fromStdString(server.base() + "/{n}"));
    open();
    clickOnly(k3::names::kUpdateButton);
    w.reset();  // the fetch is told to stop and waited for; nothing reaches a window that is gone
    EXPECT_TRUE(holdsFor([this] { return told.isEmpty(); }, 100))
        << "a window that is gone was told: " << told.join(' ').toStdString();
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 0);
}

// The look-back drops draws older than its years in the same change; the message says how many.
TEST_F(HistoryWindowTest, UpdateSaysWhatTheLookBackRemoved) {
    const QDate today = QDate::currentDate();
    const std::string day = today.addDays(-1).toString("yyMMdd").toStdString();
    const int old = today.addYears(-3).toString("yyMMdd001").toInt();
    fill({{old, "123"}, {std::stoi(day + "001"), "456"}});
    HttpServer server(HttpServer::always(200, "text/html",
                                         "<body>" + day + "0011,1,1 " + day + "0022,5,3 " + day + "0036,6,6</body>"));
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        s.setValue("IniSetting/UpdateUrl", QString::fromStdString(server.base() + "/{n}"));
        s.setValue("IniSetting/IniSerchDay", "2");
    }
    open();
    click(k3::names::kUpdateButton);
    ASSERT_TRUE(eventually([&] { return find(k3::names::kImportButton)->isEnabled(); }, 10000))
        << "the update never ended";
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0], "历史号在线更新|在线更新完成：新增 2 期，删除 2 年以前的 1 期");
    EXPECT_EQ(gridColumn(k3::names::kHistoryGrid, 0),
              QStringList({QString::fromStdString(day + "001"), QString::fromStdString(day + "002"),
                           QString::fromStdString(day + "003")}));
}

// Closing the window while the update waits for a slow server, or while it reads a page that the parser
// handles slowly (a start tag with 200,000 attributes), stops the update: the window never waits for it.
TEST_F(HistoryWindowTest, ClosingTheWindowNeverWaitsForTheUpdate) {
    using namespace std::chrono;
    std::atomic<bool> release{false};
    std::atomic<int> sent{0};
    std::string slowPage = "<html><body><p";
    for (int i = 0; i < 200000; ++i) slowPage += " a" + std::to_string(i) + "=x";
    slowPage += ">1303250782,5,3</p></body></html>";
    HttpServer server([&](int fd, const std::string& target) {
        if (target.find("slow-server") != std::string::npos)
            for (int i = 0; i < 3000 && !release; ++i) std::this_thread::sleep_for(milliseconds(10));
        HttpServer::sendAll(fd, HttpServer::response(200, "text/html", slowPage));
        ++sent;
    });
    for (const char* page : {"slow-server", "slow-page"}) {
        QSettings(settingsFile(), QSettings::IniFormat)
            .setValue("IniSetting/UpdateUrl", QString::fromStdString(server.base() + "/" + page + "?n={n}"));
        open();
        // The last window's update may still be closing its connection to the file (a checkpoint at
        // the close holds it for a moment): this window then waits for it, as it would for any program.
        ASSERT_TRUE(eventually([&] { return session().canChange(); }, 10000))
            << "the history never became changeable: " << status().toStdString();
        const int before = sent;
        clickOnly(k3::names::kUpdateButton);
        ASSERT_TRUE(waitUntil([&] { return server.targets().size() >= static_cast<size_t>(before + 1); }))
            << page << " was never asked for; status: " << status().toStdString();
        if (std::string(page) == "slow-page") {
            ASSERT_TRUE(waitUntil([&] { return sent != before; })) << "the slow page was never sent";
            std::this_thread::sleep_for(milliseconds(300));  // the page has arrived; the parser works on it
        }
        const auto start = steady_clock::now();
        w.reset();
        const auto closing = duration_cast<milliseconds>(steady_clock::now() - start).count();
        EXPECT_LT(closing, 5000) << "closing the window during " << page << " took " << closing << " ms";
        release = true;
        ASSERT_TRUE(waitUntil([&] { return sent != before; }, seconds(40))) << "the server never got free again";
    }
    EXPECT_TRUE(told.isEmpty());
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 0);
}

// A file whose draws cannot be 福建快3's (draw 081 of a day, 78 a day) names its first such line in the
// preview, which asks with 取消 as the default; taken, the draws are stored as the file has them.
TEST_F(HistoryWindowTest, ImportOfAnotherProvincesDrawsNamesTheFirstSuchLine) {
    fill({{130325001, "111"}});
    open();
    const QString file = QString::fromStdString(dir.file("jiangsu.csv"));
    std::ofstream(file.toStdString(), std::ios::binary) << "期号,号码\n20191027080,135\n20191027081,246\n";
    okAnswers = {true, false};
    fileAnswers = {file};
    click(k3::names::kImportButton);
    ASSERT_EQ(previews.size(), 1);
    EXPECT_EQ(previews[0].misfit,
              "第 2 行「20191027080,135」的期号超过了福建快3每天的 78 期：这些号码可能是另一个省的。");
    EXPECT_EQ(previews[0].shape, "格式：期号 11 位，号码 3 位相连，第 1、2 列（逗号分列，UTF-8 文本，有标题行）");
    EXPECT_TRUE(cancelFirst.last().startsWith("读入历史|"));
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(status(), "已取消读入，历史号码未作改动");
    okAnswers = {true, true};
    fileAnswers = {file};
    click(k3::names::kImportButton);
    EXPECT_EQ(gridColumn(k3::names::kHistoryGrid, 0), QStringList({"191027080", "191027081"}));
}

// An update whose page holds another province's draws (江苏快3's 079-082 for 福建快3) asks before it
// stores, with 取消 as the default; taken, only the draws that fit are stored.
TEST_F(HistoryWindowTest, UpdateOfAPageWithAnotherProvincesDrawsAsksFirst) {
    const std::string day = QDate::currentDate().addDays(-1).toString("yyMMdd").toStdString();
    std::string rows;
    for (int k = 76; k <= 82; ++k) rows += "<tr><td>" + day + "0" + std::to_string(k) + "</td><td>1 2 3</td></tr>";
    HttpServer server(HttpServer::always(200, "text/html", "<table>" + rows + "</table>"));
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue("IniSetting/UpdateUrl", QString::fromStdString(server.base() + "/{n}"));
    fill({{std::stoi(day + "075"), "111"}});
    open();
    okAnswers = {true, false};
    click(k3::names::kUpdateButton);
    ASSERT_TRUE(eventually([&] { return find(k3::names::kImportButton)->isEnabled(); }, 10000));
    const QString question = QString::fromStdString("历史号在线更新|页面中的期号 " + day +
                                                    "079 超过了福建快3每天的 78 期：这些号码可能是另一个省的。\n\n"
                                                    "仍要只新增其中符合福建快3的 3 期吗？");
    EXPECT_EQ(cancelFirst.last(), question);
    EXPECT_EQ(this->rows(), 1);
    EXPECT_EQ(status(), "已取消在线更新，历史号码未作改动");
    okAnswers = {true, true};
    click(k3::names::kUpdateButton);
    ASSERT_TRUE(eventually([&] { return this->rows() == 4; }, 10000)) << status().toStdString();
    EXPECT_EQ(status(), "在线更新完成：新增 3 期");
}
