// The window's questions as a player meets them: the real dialogs, in Chinese, answered with the mouse
// and the keyboard; and the online update's address, which must be set before the first update.
#include <iconv.h>

#include <QAbstractButton>
#include <QAction>
#include <QDate>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <thread>

#include "../history/http_server.h"

#include "store/history_store.h"

#include "window_fixture.h"

using namespace k3test;

namespace {

struct SeenDialog {
    QString text;
    QStringList buttons;
    QString defaultButton;
    bool wraps = false;
    int width = 0;
};

// Reads the next dialog as a user sees it, then answers it by clicking the button reading `answer`.
void readAndAnswer(SeenDialog& seen, const QString& answer) {
    onNextDialog([&seen, answer](QWidget* d) {
        seen.buttons = buttonTexts(d);
        seen.width = d->width();
        if (auto* box = qobject_cast<QMessageBox*>(d)) {
            seen.text = box->text();
            if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
        }
        if (auto* input = qobject_cast<QInputDialog*>(d)) {
            seen.text = input->labelText();
            if (auto* label = d->findChild<QLabel*>()) seen.wraps = label->wordWrap();
        }
        QAbstractButton* b = buttonReading(d, answer);
        ASSERT_NE(b, nullptr) << answer.toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    });
}

// 确定 on the import's first question, the file typed into the file dialog, then `onPreview` with the dialog
// that shows what the file holds (which it must answer).
void importThroughDialogs(const std::string& file, std::function<void(QWidget*)> onPreview) {
    onNextDialog(
        [file, onPreview](QWidget* first) {
            onNextDialog(
                [file, onPreview](QWidget* files) {
                    onNextDialog(onPreview, "k3::ImportPreviewDialog");
                    auto* name = files->findChild<QLineEdit*>("fileNameEdit");
                    ASSERT_NE(name, nullptr);
                    QTest::keyClicks(name, QString::fromStdString(file));
                    // Typed again and Enter until the dialog takes it: on a busy machine the dialog may clear
                    // the name when it has read its folder, or a completion list pop up and take the Enter.
                    auto* enter = new QTimer(name);
                    const QString path = QString::fromStdString(file);
                    QObject::connect(enter, &QTimer::timeout, [enter, name, files, path] {
                        if (!files->isVisible()) {
                            enter->deleteLater();
                            return;
                        }
                        if (name->text() != path) {
                            name->clear();
                            QTest::keyClicks(name, path);
                        }
                        QTest::keyClick(name, Qt::Key_Return);
                    });
                    // Ends with this dialog, before the same dialog opens for the next import.
                    QObject::connect(qobject_cast<QDialog*>(files), &QDialog::finished, enter, &QObject::deleteLater);
                    enter->start(50);
                    QTest::keyClick(name, Qt::Key_Return);
                },
                "QFileDialog");
            QTest::mouseClick(buttonReading(first, "确定"), Qt::LeftButton);
        },
        "QMessageBox");
}

// UTF-8 text as GBK.
std::string gbk(const std::string& utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    std::string out(utf8.size() * 2, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* o = out.data();
    size_t inLeft = utf8.size(), outLeft = out.size();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

QString defaultButtonOf(QWidget* dialog) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->isDefault() && b->isVisible()) return b->text();
    return {};
}

}  // namespace

TEST_F(WindowTest, UpdateQuestionSpeaksChinese) {
    QSettings(settingsFile(), QSettings::IniFormat).setValue("IniSetting/UpdateUrl", "http://127.0.0.1:9/{code}?n={n}");
    openWithDialogs();
    SeenDialog seen;
    readAndAnswer(seen, "取消");
    click(k3::names::kUpdateButton);
    EXPECT_TRUE(seen.text.startsWith("确实要在线更新最新历史号码吗")) << seen.text.toStdString();
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.buttons.contains("确定"));
    EXPECT_TRUE(seen.buttons.contains("取消"));
    EXPECT_EQ(seen.defaultButton, "确定");
    // Cancelled: nothing started.
    EXPECT_TRUE(find(k3::names::kImportButton)->isEnabled());
    // The open-file dialog of the import is labelled in Chinese too.
    EXPECT_EQ(find<QFileDialog>(k3::names::kOpenFileDialog)->labelText(QFileDialog::Reject), "取消");
}

TEST_F(WindowTest, LongPromptsWrapInTheirDialog) {
    openWithDialogs();
    SeenDialog seen;
    readAndAnswer(seen, "取消");
    clickMenuEntry(k3::names::kSettingsMenu, k3::names::kLookBackAction);
    EXPECT_TRUE(seen.text.startsWith("请输入更新需要保留的历史号码的年数"));
    EXPECT_TRUE(seen.wraps);
    EXPECT_LT(seen.width, 700);
    EXPECT_TRUE(seen.buttons.contains("确定"));
    EXPECT_TRUE(seen.buttons.contains("取消"));
    EXPECT_EQ(setting("IniSerchDay"), "");  // cancelled: nothing saved
}

TEST_F(WindowTest, UpdateAddressEntryHasAnAccessKey) {
    open();
    EXPECT_EQ(action(k3::names::kUpdateAddressAction)->text(), "在线更新地址(&U)");
    // Every entry of the settings menu has its own key.
    QStringList keys;
    for (const char* name : {"mnuDssetup", "mnuSetDay", "mnuUpdateUrl", "mnuFrontPage", "mnuDescrb", "numYanshiDown"}) {
        QObject* o = w->findChild<QObject*>(name);
        ASSERT_NE(o, nullptr) << name;
        const QString caption =
            qobject_cast<QAction*>(o) ? static_cast<QAction*>(o)->text() : o->property("title").toString();
        const int amp = caption.indexOf('&');
        ASSERT_GE(amp, 0) << name;
        keys << caption.mid(amp + 1, 1);
    }
    keys.removeDuplicates();
    EXPECT_EQ(keys.size(), 6);
}

TEST_F(WindowTest, UpdateWithoutAnAddressAsksForOne) {
    open();
    textAnswers = {std::nullopt};  // the address dialog is cancelled
    click(k3::names::kUpdateButton);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("还没有设置历史号码的更新地址")) << told[0].toStdString();
    ASSERT_EQ(questions.size(), 1);  // straight to the address, not the update question
    const QString& ask = questions[0];
    EXPECT_TRUE(ask.startsWith("在线更新地址|"));
    EXPECT_TRUE(ask.contains("{code}") && ask.contains("{n}"));
    EXPECT_TRUE(ask.contains("fj.html?n=234")) << ask.toStdString();  // the example for 福建快3, three days of 78 draws
    EXPECT_TRUE(ask.contains("file:"));
    EXPECT_TRUE(ask.endsWith("|"));  // the placeholder is not offered as an answer
    EXPECT_EQ(status(), "没有设置更新地址，未在线更新");
    EXPECT_TRUE(find(k3::names::kImportButton)->isEnabled());

    // With an address given, the update goes on to its question (declined here).
    textAnswers = {QString("file:///nowhere/{code}.html")};
    okAnswers = {false};
    click(k3::names::kUpdateButton);
    EXPECT_EQ(setting("UpdateUrl"), "file:///nowhere/{code}.html");
    EXPECT_TRUE(questions.last().startsWith("读入历史|确实要在线更新"));
    // Now set: the next update asks its question straight away, and the address dialog offers it.
    okAnswers = {false};
    click(k3::names::kUpdateButton);
    EXPECT_TRUE(questions.last().startsWith("读入历史|"));
    trigger(k3::names::kUpdateAddressAction);
    EXPECT_TRUE(questions.last().endsWith("|file:///nowhere/{code}.html"));
    // An empty answer clears it again.
    textAnswers = {QString(" ")};
    trigger(k3::names::kUpdateAddressAction);
    EXPECT_EQ(status(), "已清除更新地址，在线更新前请重新设置");
    told.clear();
    click(k3::names::kUpdateButton);
    EXPECT_EQ(told.size(), 1);
}

// The file is read, then the question is asked with no other box over or under it, then (only on
// 确定) the draws are stored. 取消 is the default: Enter leaves the history as it was.
TEST_F(WindowTest, ImportThatWouldShrinkTheHistoryIsConfirmedWithCancelAsDefault) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "111"}, {130325002, "222"}, {130325003, "333"}}));
    const std::string file = dir.file("newest.txt");
    std::ofstream(file, std::ios::binary) << "130325003 333\r\n130325004 444\r\n";
    openWithDialogs();
    for (const bool confirm : {false, true}) {
        SeenDialog replace;
        QStringList otherBoxes;  // visible when the question is up
        importThroughDialogs(file, [&](QWidget* question) {
            ASSERT_EQ(question->objectName(), k3::names::kImportPreview);
            replace.text = question->findChild<QLabel*>(k3::names::kImportPreviewQuestion)->text();
            replace.buttons = buttonTexts(question);
            replace.defaultButton = defaultButtonOf(question);
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top != question && top != w.get() && top->isVisible())
                    otherBoxes << top->metaObject()->className() + QString(" ") + top->objectName();
            if (confirm)
                QTest::mouseClick(buttonReading(question, "确定"), Qt::LeftButton);
            else
                QTest::keyClick(question->focusWidget() ? question->focusWidget() : question, Qt::Key_Return);
        });
        click(k3::names::kImportButton);
        EXPECT_EQ(replace.text,
                  "已存 3 期（130325001—130325003），文件中 2 期（130325003—130325004）：将以文件替换全部历史号码，"
                  "确定吗？");
        EXPECT_EQ(replace.defaultButton, "取消");
        EXPECT_TRUE(replace.buttons.contains("确定"));
        EXPECT_EQ(otherBoxes, QStringList());
        EXPECT_EQ(w->findChild<QProgressDialog*>(k3::names::kTaskProgress), nullptr);
        if (!confirm) {
            EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 3);  // Enter took 取消: nothing stored
            EXPECT_EQ(status(), "已取消读入，历史号码未作改动");
            EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 3);
        } else {
            EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 2);
            EXPECT_EQ(status(), "已读入 2 期历史号码");
            EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 2);
        }
    }
}

// A file of another shape (GBK, the issue and the dice in columns of their own, a header): before anything is
// stored the preview names the shape, the counts and the first lines beside their draws; 取消 by the mouse
// stores nothing, 确定 stores the draws.
TEST_F(WindowTest, ImportPreviewShowsTheShapeAndTheFirstLinesBeforeItStores) {
    const std::string file = dir.file("kaijiang.csv");
    {
        const std::string text =
            "期号,开奖日期,开奖号码,和值\r\n20191027002,2019-10-27,2 4 6,12\r\n"
            "20191027001,2019-10-27,1 3 5,9\r\nnothing,here\r\n";
        // GBK as a Chinese Windows spreadsheet writes it.
        std::ofstream(file, std::ios::binary) << gbk(text);
    }
    openWithDialogs();
    for (const bool confirm : {false, true}) {
        QString shape, counts, defaultButton;
        QStringList lines;
        importThroughDialogs(file, [&](QWidget* preview) {
            shape = preview->findChild<QLabel*>(k3::names::kImportPreviewShape)->text();
            counts = preview->findChild<QLabel*>(k3::names::kImportPreviewCounts)->text();
            defaultButton = defaultButtonOf(preview);
            auto* table = preview->findChild<QTableWidget*>(k3::names::kImportPreviewLines);
            for (int r = 0; r < table->rowCount(); ++r)
                lines << table->item(r, 0)->text() + "|" + table->item(r, 1)->text() + "|" + table->item(r, 2)->text();
            QTest::mouseClick(buttonReading(preview, confirm ? "确定" : "取消"), Qt::LeftButton);
        });
        click(k3::names::kImportButton);
        EXPECT_EQ(shape, "格式：期号 11 位，号码以空格分隔，第 1、3 列（逗号分列，GBK 文本，有标题行）");
        EXPECT_EQ(counts, "可读入 2 期（191027001—191027002），跳过 1 行");
        EXPECT_EQ(defaultButton, "取消");
        EXPECT_EQ(lines, QStringList({"1|期号,开奖日期,开奖号码,和值|（标题）",
                                      "2|20191027002,2019-10-27,2 4 6,12|191027002 246",
                                      "3|20191027001,2019-10-27,1 3 5,9|191027001 135", "4|nothing,here|（跳过）"}));
        EXPECT_EQ(k3::HistoryStore(dbPath()).count(), confirm ? 2 : 0);
        EXPECT_EQ(status(),
                  confirm ? "已读入 2 期历史号码，跳过 1 行（点“详情”查看）" : "已取消读入，历史号码未作改动");
    }
}

// 试读 fetches the page of the address as typed in the background (the dialog goes on answering while a slow
// server keeps it waiting) and shows what an update would add; neither the address nor a draw is stored
// until 确定, and then only the address.
TEST_F(WindowTest, TryReadOfTheUpdateAddressShowsWhatWouldBeAddedAndStoresNothing) {
    const std::string day = QDate::currentDate().addDays(-1).toString("yyMMdd").toStdString();
    std::atomic<bool> release{false};
    k3test::HttpServer server([&release, day](int fd, const std::string&) {
        for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        k3test::HttpServer::sendAll(
            fd, k3test::HttpServer::response(200, "text/html",
                                             "<table><tr><td>" + day +
                                                 "001</td><td>2</td><td>6</td><td>3</td></tr>"
                                                 "<tr><td>" +
                                                 day + "002</td><td>1</td><td>4</td><td>5</td></tr></table>"));
    });
    openWithDialogs();
    const QString address = QString::fromStdString(server.base() + "/{code}?n={n}&d={date}");
    for (const bool keep : {false, true}) {
        QString whileWaiting, result;
        onNextDialog(
            [&](QWidget* dialog) {
                auto* edit = dialog->findChild<QLineEdit*>(k3::names::kUpdateAddressEdit);
                edit->clear();
                QTest::keyClicks(edit, address);
                auto* tryRead = dialog->findChild<QPushButton*>(k3::names::kUpdateTryReadButton);
                auto* shown = dialog->findChild<QLabel*>(k3::names::kUpdateTryReadResult);
                release = false;
                QTest::mouseClick(tryRead, Qt::LeftButton);
                // The server holds the page back: the dialog answers meanwhile and says it is reading.
                EXPECT_TRUE(holdsFor([&] { return dialog->isVisible() && !tryRead->isEnabled(); }, 200));
                whileWaiting = shown->text();
                release = true;
                EXPECT_TRUE(eventually([&] { return tryRead->isEnabled(); }, 10000)) << "试读 never ended";
                result = shown->text();
                QTest::mouseClick(buttonReading(dialog, keep ? "确定" : "取消"), Qt::LeftButton);
            },
            "k3::UpdateAddressDialog");
        clickMenuEntry(k3::names::kSettingsMenu, k3::names::kUpdateAddressAction);
        EXPECT_EQ(whileWaiting, "正在试读 …");
        EXPECT_TRUE(result.contains("格式：期号 9 位，号码各占一列，第 1、2、3、4 列（网页表格）"))
            << result.toStdString();
        EXPECT_TRUE(result.contains(QString::fromStdString("试读：可新增 2 期（" + day + "001—" + day + "002）")))
            << result.toStdString();
        EXPECT_TRUE(result.endsWith("未保存任何号码。"));
        EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 0);
        EXPECT_EQ(setting("UpdateUrl"), keep ? address : QString());
    }
    // {code} and {date} were filled in.
    const std::string date = QDate::currentDate().toString("yyyy-MM-dd").toStdString();
    EXPECT_NE(server.targets().at(0).find("/fj?n="), std::string::npos) << server.targets().at(0);
    EXPECT_NE(server.targets().at(0).find("&d=" + date), std::string::npos) << server.targets().at(0);
}
