// The history commands through the real window: import, online update, trimming and exports.
#include <QDate>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
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
    int rows() { return w->historyModel()->rowCount(); }
};

}  // namespace

TEST_F(HistoryWindowTest, Import) {
    open();
    std::string file = dir.file("draws.TXT");
    std::ofstream(file, std::ios::binary) << "130325002 666\r\n130325001 253\r\n130325003 2 5 3\r\n";
    okAnswers = {false};  // confirmation cancelled: no dialog
    fileAnswers = {QString::fromStdString(dir.file("draws.csv")), QString::fromStdString(file)};
    w->cmdRdLst_Click();
    EXPECT_EQ(fileAnswers.size(), 2u);
    w->cmdRdLst_Click();  // not a txt file: nothing read
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / fs::u8path("历史号码")));

    w->cmdRdLst_Click();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(w->Text3[0]->text() + " " + w->Text3[1]->text() + " " + w->Text1->text(),
              "130325001 130325002 130325003");
    EXPECT_TRUE(w->statusBar()->currentMessage().contains("跳过 1 行"));
    w->findChild<QPushButton*>("cmdSkippedDetails")->click();
    EXPECT_TRUE(w->findChild<QPlainTextEdit*>("SkippedLinesText")->toPlainText().contains("3\t130325003 2 5 3"));

    fileAnswers = {QString::fromStdString(dir.file("gone.txt"))};  // unreadable: told, nothing changed
    w->cmdRdLst_Click();
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(told.size(), 1);
}

TEST_F(HistoryWindowTest, Trimming) {
    fill({{130325081, "111"}, {130325082, "222"}, {130326001, "333"}, {130326002, "444"}, {130326003, "555"}});
    open();
    w->Command3_Click();
    EXPECT_EQ(w->Text1->text(), "130326003");
    textAnswers = {QString("abc"), QString("2"), std::nullopt, QString("130325081")};
    w->mnuEszhzd_Click();
    EXPECT_TRUE(told.value(0).contains("不是大于0的整数"));
    w->mnuEszhzd_Click();
    EXPECT_EQ(rows(), 2);
    w->mnuDlzd_Click();  // cancelled; the preset is the newest issue minus 1
    EXPECT_TRUE(questions.last().endsWith("|130325081"));
    w->mnuDlzd_Click();
    EXPECT_EQ(rows(), 1);
    okAnswers = {false};
    w->mnuClear_Click();
    w->mnuClear_Click();
    EXPECT_EQ(rows(), 0);
}

TEST_F(HistoryWindowTest, Exports) {
    fill({{130325001, "253"}, {130325002, "666"}});
    open();
    w->Command4_Click();
    std::string text = dir.file("更新至130325002期历史号码.txt");
    EXPECT_TRUE(fs::exists(fs::u8path(text)));
    EXPECT_EQ(opened.value(0), QUrl::fromLocalFile(QString::fromStdString(text)).toString());
    w->mnuDcls_Click();
    EXPECT_TRUE(fs::exists(dir.file("lishi.xlsx")));
    fs::create_directory(dir.file("Jiansuo.xlsx"));  // cannot be written: told, the program goes on
    w->MSFlexGrid2_DblClick();
    EXPECT_TRUE(told.value(0).contains("Jiansuo.xlsx"));
    w->MSFlexGrid3_DblClick();
    EXPECT_EQ(opened.size(), 3);
}

TEST_F(HistoryWindowTest, OnlineUpdateRunsOffTheWindowThread) {
    const std::string day = QDate::currentDate().addDays(-1).toString("yyMMdd").toStdString();
    HttpServer server([page = "<body>" + day + "0012,5,3 " + day + "0026,6,6</body>"](int fd, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        HttpServer::sendAll(fd, HttpServer::response(200, "text/html", page));
    });
    open();
    w->settings().setUpdateUrl(QString::fromStdString(server.base() + "/{code}?n={n}"));
    w->Command21_Click();
    EXPECT_FALSE(w->cmdRdLst->isEnabled());  // history commands are off while the page loads
    QTRY_VERIFY_WITH_TIMEOUT(w->cmdRdLst->isEnabled(), 10000);
    EXPECT_EQ(rows(), 2);
    EXPECT_TRUE(told.value(0).contains("新增 2 期"));

    textAnswers = {QString("ftp://x/{n}")};  // refused
    w->mnuUpdateUrl_Click();
    EXPECT_EQ(w->settings().updateUrl().toStdString(), server.base() + "/{code}?n={n}");
}
