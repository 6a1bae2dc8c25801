// The history commands through the real window: import, online update, trimming and exports.
#include <QDate>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "../history/http_server.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

class HistoryWindowTest : public WindowTest {
protected:
    void fill(std::initializer_list<std::pair<int, const char*>> list) {
        k3::HistoryStore(dbPath()).append(k3test::draws(list));
    }
    int rows() { return w->historyModel()->rowCount(); }
    QString statusText() { return w->statusBar()->currentMessage(); }
};

}  // namespace

TEST_F(HistoryWindowTest, ImportThroughTheWindow) {
    open();
    std::string file = dir.file("draws.TXT");
    std::ofstream(file, std::ios::binary) << "130325002 666\r\n130325001 253\r\n130325003 2 5 3\r\n";

    okAnswers = {false};  // the confirmation cancelled: no dialog, nothing read
    fileAnswers = {QString::fromStdString(file)};
    w->cmdRdLst_Click();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(fileAnswers.size(), 1u);

    fileAnswers = {QString::fromStdString(dir.file("draws.csv"))};
    w->cmdRdLst_Click();
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / fs::u8path("历史号码")));

    fileAnswers = {QString::fromStdString(file)};  // capitals in the extension are fine
    w->cmdRdLst_Click();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(w->Text3[0]->text(), "130325001");
    EXPECT_EQ(w->Text3[1]->text(), "130325002");
    EXPECT_EQ(w->Text1->text(), "130325003");
    EXPECT_TRUE(statusText().contains("2 期")) << statusText().toStdString();
    EXPECT_TRUE(statusText().contains("跳过 1 行")) << statusText().toStdString();
    auto* details = w->findChild<QPushButton*>("cmdSkippedDetails");
    ASSERT_TRUE(details);
    EXPECT_FALSE(details->isHidden());
    details->click();
    auto* text = w->findChild<QPlainTextEdit*>("SkippedLinesText");
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->toPlainText().contains("3\t130325003 2 5 3"));

    // A file that cannot be read leaves the history and says why.
    fileAnswers = {QString::fromStdString(dir.file("gone.txt"))};
    w->cmdRdLst_Click();
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(told.size(), 1);
}

TEST_F(HistoryWindowTest, Trimming) {
    fill({{130325081, "111"}, {130325082, "222"}, {130326001, "333"}, {130326002, "444"}, {130326003, "555"}});
    open();
    w->Command3_Click();
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(w->Text1->text(), "130326003");

    textAnswers = {QString("abc")};
    w->mnuEszhzd_Click();
    EXPECT_EQ(rows(), 4);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("不是大于0的整数"));

    textAnswers = {QString("2")};
    w->mnuEszhzd_Click();
    EXPECT_EQ(rows(), 2);
    EXPECT_TRUE(fs::exists(dir.file("lsbf.txt")));

    textAnswers = {std::nullopt};  // cancelled
    w->mnuDlzd_Click();
    EXPECT_TRUE(questions.last().endsWith("|130325081")) << questions.last().toStdString();  // newest - 1
    EXPECT_EQ(rows(), 2);
    textAnswers = {QString("130325081")};
    w->mnuDlzd_Click();
    EXPECT_EQ(rows(), 1);

    okAnswers = {false};
    w->mnuClear_Click();
    EXPECT_EQ(rows(), 1);
    w->mnuClear_Click();
    EXPECT_EQ(rows(), 0);
    w->Command3_Click();  // nothing to delete: no harm
    EXPECT_EQ(rows(), 0);
}

TEST_F(HistoryWindowTest, Exports) {
    open();
    w->Command4_Click();
    EXPECT_EQ(told.size(), 1);  // empty history: no text file
    EXPECT_TRUE(opened.isEmpty());

    fill({{130325001, "253"}, {130325002, "666"}});
    open();
    w->Command4_Click();
    std::string text = dir.file("更新至130325002期历史号码.txt");
    EXPECT_EQ(slurp(text), "130325001 253\r\n130325002 666\r\n");
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(text)).toString());

    w->MSFlexGrid1_DblClick();
    w->mnuDcls_Click();
    EXPECT_TRUE(fs::exists(dir.file("lishi.xlsx")));
    EXPECT_EQ(opened.size(), 3);
    fs::create_directory(dir.file("Jiansuo.xlsx"));  // cannot be written
    w->MSFlexGrid2_DblClick();
    EXPECT_EQ(opened.size(), 3);
    EXPECT_TRUE(told.last().contains("Jiansuo.xlsx"));
    w->MSFlexGrid3_DblClick();
    EXPECT_TRUE(fs::exists(dir.file("Jieguo.xlsx")));
}

TEST_F(HistoryWindowTest, OnlineUpdateRunsOffTheWindowThread) {
    const QString yesterday = QDate::currentDate().addDays(-1).toString("yyMMdd");
    const std::string page = "<html><body>" + yesterday.toStdString() + "0012,5,3 " + yesterday.toStdString() +
                             "0026,6,6</body></html>";
    HttpServer server([page](int fd, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        HttpServer::sendAll(fd, HttpServer::response(200, "text/html", page));
    });
    open();
    w->settings().setUpdateUrl(QString::fromStdString(server.base() + "/{code}?n={n}"));
    w->Command21_Click();
    EXPECT_FALSE(w->cmdRdLst->isEnabled());  // history commands are off while the page loads
    QTRY_VERIFY_WITH_TIMEOUT(w->cmdRdLst->isEnabled(), 10000);
    EXPECT_EQ(rows(), 2);
    ASSERT_FALSE(told.isEmpty());
    EXPECT_TRUE(told.last().contains("新增 2 期")) << told.last().toStdString();
    EXPECT_EQ(server.targets().at(0).rfind("/fj?n=", 0), 0u);

    // An address that fails leaves the history.
    w->settings().setUpdateUrl("http://127.0.0.1:1/?n={n}");
    w->Command21_Click();
    QTRY_VERIFY_WITH_TIMEOUT(w->cmdRdLst->isEnabled(), 10000);
    EXPECT_EQ(rows(), 2);
    EXPECT_TRUE(told.last().contains("失败"));

    textAnswers = {QString("ftp://x/{n}")};
    w->mnuUpdateUrl_Click();
    EXPECT_EQ(w->settings().updateUrl(), "http://127.0.0.1:1/?n={n}");
}
