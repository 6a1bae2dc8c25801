// The window's questions as a player meets them: the real dialogs, in Chinese, answered with the mouse
// and the keyboard; and the online update's address, which must be set before the first update.
#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <fstream>

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
        // 确定 on the first question, the file typed into the file dialog, then the replacement question.
        onNextDialog(
            [&](QWidget* first) {
                onNextDialog(
                    [&](QWidget* files) {
                        onNextDialog(
                            [&](QWidget* question) {
                                ASSERT_EQ(question->objectName(), k3::names::kImportPreview);
                                replace.text =
                                    question->findChild<QLabel*>(k3::names::kImportPreviewQuestion)->text();
                                replace.buttons = buttonTexts(question);
                                for (QPushButton* b : question->findChildren<QPushButton*>())
                                    if (b->isDefault()) replace.defaultButton = b->text();
                                for (QWidget* top : QApplication::topLevelWidgets())
                                    if (top != question && top != w.get() && top->isVisible())
                                        otherBoxes << top->metaObject()->className() + QString(" ") + top->objectName();
                                if (confirm)
                                    QTest::mouseClick(buttonReading(question, "确定"), Qt::LeftButton);
                                else
                                    QTest::keyClick(question->focusWidget() ? question->focusWidget() : question,
                                                    Qt::Key_Return);
                            },
                            "k3::ImportPreviewDialog");
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
                        QObject::connect(qobject_cast<QDialog*>(files), &QDialog::finished, enter,
                                         &QObject::deleteLater);
                        enter->start(50);
                        QTest::keyClick(name, Qt::Key_Return);
                    },
                    "QFileDialog");
                QTest::mouseClick(buttonReading(first, "确定"), Qt::LeftButton);
            },
            "QMessageBox");
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
