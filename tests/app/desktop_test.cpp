// The desktop around the window: Qt's own texts in Chinese (the translation, and the buttons set by hand where
// it is missing), the window's icon and desktop entry name.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app_identity.h"
#include "qt_support.h"
#include "test_support.h"
#include "translation.h"

namespace {

QStringList textsOf(const QList<QAbstractButton*>& buttons) {
    QStringList texts;
    for (QAbstractButton* b : buttons) texts << b->text();
    return texts;
}

QStringList okCancelTexts() {
    QMessageBox box(QMessageBox::Question, "t", "x", QMessageBox::Ok | QMessageBox::Cancel);
    return textsOf(box.buttons());
}

// The texts of a line edit's right-click menu, without separators and shortcuts.
QStringList contextMenuTexts() {
    QLineEdit edit("abc");
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text().section('\t', 0, 0);
    return texts;
}

void click(QWidget* dialog, const QString& text) {
    QAbstractButton* b = k3test::buttonReading(dialog, text);
    ASSERT_NE(b, nullptr) << text.toStdString();
    QTest::mouseClick(b, Qt::LeftButton);
}

class QtChinese : public ::testing::Test {
protected:
    void SetUp() override { k3test::testApp(); }
    void TearDown() override { k3::removeChineseTranslation(k3test::testApp()); }
};

TEST_F(QtChinese, PicksSimplifiedUnlessTheUserReadsTraditional) {
    EXPECT_EQ(k3::qtTranslationLanguage({}), "zh_CN");
    EXPECT_EQ(k3::qtTranslationLanguage({"C"}), "zh_CN");
    EXPECT_EQ(k3::qtTranslationLanguage({"en-US", "de-DE"}), "zh_CN");
    EXPECT_EQ(k3::qtTranslationLanguage({"zh-CN"}), "zh_CN");
    EXPECT_EQ(k3::qtTranslationLanguage({"zh"}), "zh_CN");
    EXPECT_EQ(k3::qtTranslationLanguage({"zh-SG"}), "zh_CN");
    EXPECT_EQ(k3::qtTranslationLanguage({"de-DE", "zh-TW"}), "zh_TW");
    EXPECT_EQ(k3::qtTranslationLanguage({"zh-HK"}), "zh_TW");
    EXPECT_EQ(k3::qtTranslationLanguage({"zh-Hant-HK", "zh-CN"}), "zh_TW");
    EXPECT_EQ(k3::qtTranslationLanguage({"zh-Hans-HK"}), "zh_CN");
}

TEST_F(QtChinese, LoadedTranslationMakesButtonsAndMenusChinese) {
    ASSERT_EQ(okCancelTexts(), QStringList({"OK", "Cancel"}));  // Qt's own texts before
    ASSERT_TRUE(k3::installChineseTranslation(k3test::testApp(), {"en-US"}, k3::qtTranslationDirs()));
    EXPECT_EQ(okCancelTexts(), QStringList({"确定", "取消"}));
    const QStringList menu = contextMenuTexts();
    EXPECT_TRUE(menu.contains("复制(&C)")) << menu.join('|').toStdString();
    EXPECT_TRUE(menu.contains("全选")) << menu.join('|').toStdString();

    // The system's language loads, a second call replaces the first translation instead of stacking.
    ASSERT_TRUE(k3::installChineseTranslation(k3test::testApp()));
    ASSERT_TRUE(k3::installChineseTranslation(k3test::testApp(), {"zh-TW"}, k3::qtTranslationDirs()));
    EXPECT_EQ(okCancelTexts(), QStringList({"確定", "取消"}));
    k3::removeChineseTranslation(k3test::testApp());
    EXPECT_EQ(okCancelTexts(), QStringList({"OK", "Cancel"}));
}

TEST_F(QtChinese, FindsTheExactFileBesideTheProgramOrNone) {
    k3test::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    // A look-alike name is not taken for the translation.
    const QString simplified = k3::qtTranslationDirs().first() + "/qtbase_zh_CN.qm";
    ASSERT_TRUE(QFile::copy(simplified, folder + "/qtbase.qm"));
    EXPECT_FALSE(k3::installChineseTranslation(k3test::testApp(), {"zh-CN"}, {folder, folder + "/missing", QString()}));
    EXPECT_EQ(okCancelTexts(), QStringList({"OK", "Cancel"}));

    // A traditional reader gets the simplified texts when only those are there.
    ASSERT_TRUE(QFile::copy(simplified, folder + "/qtbase_zh_CN.qm"));
    EXPECT_TRUE(k3::installChineseTranslation(k3test::testApp(), {"zh-TW"}, {folder + "/missing", folder}));
    EXPECT_EQ(okCancelTexts(), QStringList({"确定", "取消"}));
}

TEST_F(QtChinese, ButtonsReadChineseWithoutTheTranslation) {
    k3::removeChineseTranslation(k3test::testApp());
    QMessageBox box(QMessageBox::Question, "t", "x",
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    k3::chineseButtons(box);
    EXPECT_EQ(textsOf(box.buttons()), QStringList({"确定", "取消", "是(&Y)", "否(&N)"}));

    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Close);
    k3::chineseButtons(buttons);
    QStringList texts = textsOf(buttons.buttons());
    texts.sort();
    QStringList expected{"确定", "取消", "关闭"};
    expected.sort();
    EXPECT_EQ(texts, expected);

    QInputDialog input;
    k3::chineseButtons(input);
    input.show();
    EXPECT_NE(k3test::buttonReading(&input, "确定"), nullptr);
    EXPECT_NE(k3test::buttonReading(&input, "取消"), nullptr);
}

TEST_F(QtChinese, QuestionAnsweredWithTheMouseAndKeys) {
    k3::removeChineseTranslation(k3test::testApp());
    k3test::onNextDialog([](QWidget* d) { click(d, "确定"); });
    EXPECT_TRUE(k3::askOkCancel(nullptr, "更新", "确定吗？"));
    k3test::onNextDialog([](QWidget* d) { click(d, "取消"); });
    EXPECT_FALSE(k3::askOkCancel(nullptr, "更新", "确定吗？"));
    // Enter takes the default button: 确定, or 取消 for a question that cannot be undone.
    k3test::onNextDialog([](QWidget* d) { QTest::keyClick(d, Qt::Key_Return); });
    EXPECT_TRUE(k3::askOkCancel(nullptr, "更新", "确定吗？"));
    k3test::onNextDialog([](QWidget* d) { QTest::keyClick(d, Qt::Key_Return); });
    EXPECT_FALSE(k3::askOkCancel(nullptr, "导入", "替换全部历史号码，确定吗？", true));
    k3test::onNextDialog([](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_FALSE(k3::askOkCancel(nullptr, "更新", "确定吗？"));
}

TEST_F(QtChinese, TextAskedAndInformationShown) {
    k3test::onNextDialog([](QWidget* d) {
        auto* edit = d->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "3");
        edit->selectAll();
        QTest::keyClicks(edit, "12");
        click(d, "确定");
    });
    EXPECT_EQ(k3::askText(nullptr, "回溯年数", "请输入年数", "3"), std::optional<QString>("12"));
    k3test::onNextDialog([](QWidget* d) { click(d, "取消"); });
    EXPECT_EQ(k3::askText(nullptr, "回溯年数", "请输入年数", "3"), std::nullopt);
    bool shown = false;
    k3test::onNextDialog([&shown](QWidget* d) {
        shown = d->findChildren<QAbstractButton*>().size() == 1;
        click(d, "确定");
    });
    k3::showInformation(nullptr, "输入有误", "请输入数字。");
    EXPECT_TRUE(shown);
}

TEST(AppIdentity, WindowIconInEveryDrawnSizeAndTheEntryName) {
    k3::applyAppIdentity(k3test::testApp());
    const QIcon icon = QApplication::windowIcon();
    EXPECT_EQ(icon.availableSizes().size(), 8);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));
    EXPECT_FALSE(icon.pixmap(48, 48).isNull());
    EXPECT_EQ(QGuiApplication::desktopFileName(), "k3gap");
}

}  // namespace
