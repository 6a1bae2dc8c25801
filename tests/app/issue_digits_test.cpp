// Issues of 2000-2009 (080101001) as a player meets them in the window: every place shows all nine
// digits, the text export reads back as the same history, and the running-number province (北京快3)
// keeps its issues as they are.
#include <QAction>
#include <QCategoryAxis>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "history/text_import.h"
#include "object_names.h"
#include "omission_chart.h"
#include "store/history_store.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

bool allNineDigits(const QStringList& texts) {
    for (const QString& t : texts)
        if (t.size() != 9 || !t.startsWith('0')) return false;
    return !texts.isEmpty();
}

}  // namespace

// 100 draws of a province with 78 a day from 2008-12-31 into 2009: 081231001 ... 090101022.
TEST_F(WindowTest, IssuesOfTheYears2000To2009KeepTheirLeadingZero) {
    const auto history = generateDraws(100, 78, 81231001);
    k3::HistoryStore(dbPath()).append(history);
    open();

    EXPECT_EQ(gridRow("MSFlexGrid1", 0).value(0), "081231001");
    EXPECT_EQ(gridRow("MSFlexGrid1", 99).value(0), "090101022");
    EXPECT_TRUE(allNineDigits(gridColumn("MSFlexGrid1", 0)));
    EXPECT_EQ(text("Text3_0"), "081231001");
    EXPECT_EQ(text("Text3_1"), "090101022");
    EXPECT_EQ(text("Text1"), "090101023");  // the next issue

    // A search: grid 2 and the chart's issue labels.
    click("Check11_1");
    type("Text22_1", "3");
    click("Command1");
    ASSERT_GT(gridRows("MSFlexGrid2"), 0);
    EXPECT_TRUE(allNineDigits(gridColumn("MSFlexGrid2", 0))) << gridColumn("MSFlexGrid2", 0).join(' ').toStdString();
    auto* chart = find<k3::OmissionChart>("chartSearch");
    QStringList labels = chart->issueAxis()->categoriesLabels();
    labels.removeAll("下一期");
    EXPECT_TRUE(allNineDigits(labels)) << labels.join(' ').toStdString();
    const k3::GapPoint hit = chart->series().hits.front();
    const QPointF at = chart->mapFromScene(
        chart->chart()->mapToScene(chart->chart()->mapToPosition(QPointF(hit.position, hit.omission / 2.0))));
    EXPECT_TRUE(chart->tooltipAt(at.toPoint()).startsWith("期号 0812310"))
        << chart->tooltipAt(at.toPoint()).toStdString();

    // The preset of the trimming question.
    click("Check11_1");
    textAnswers = {std::nullopt};
    action("mnuDlzd")->trigger();
    ASSERT_FALSE(questions.isEmpty());
    EXPECT_TRUE(questions.last().endsWith("|090101021")) << questions.last().toStdString();

    // Messages quote the issue as typed, nine digits: a stored issue typed again, a range starting at an
    // issue that is not stored.
    find<QLineEdit>(k3::names::kNextIssueEdit)->setText("081231001");
    QTest::keyClicks(find("MaskEdBox1_1"), "1");
    QTest::keyClicks(find("MaskEdBox1_2"), "2");
    QTest::keyClicks(find("MaskEdBox1_3"), "3");
    ASSERT_FALSE(told.isEmpty());
    EXPECT_TRUE(told.last().contains("期号 081231001 已经存在")) << told.last().toStdString();
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("081231000");
    click("cmdZH_0");
    find<QComboBox>(k3::names::kGroupSizeCombo)->setCurrentText("1");
    click(k3::names::kCalculateButton);
    ASSERT_TRUE(eventually([&] { return status().contains("不在历史中"); }, 10000)) << status().toStdString();
    EXPECT_TRUE(status().contains("起始期号 081231000 不在历史中")) << status().toStdString();
    find<QLineEdit>(k3::names::kRangeStartEdit)->setText("081231001");

    // The text export reads back as the same history.
    click("Command4");
    const std::string exported = dir.file("更新至090101022期历史号码.txt");
    ASSERT_TRUE(eventually([&] { return fs::exists(fs::u8path(exported)); }, 10000))
        << "the text export was not written";
    const std::string written = fileBytes(exported);
    EXPECT_EQ(written.substr(0, 10), "081231001 ");
    const k3::ParsedHistory back = k3::parseHistoryText(written, 1);
    EXPECT_EQ(back.skippedCount, 0u);
    ASSERT_EQ(back.draws.size(), history.size());
    for (size_t i = 0; i < history.size(); ++i) {
        EXPECT_EQ(back.draws[i].sqqh, history[i].sqqh) << i;
        EXPECT_EQ(back.draws[i].txtHisLst, history[i].txtHisLst) << i;
    }

    // The import question names the ranges with nine digits.
    std::ofstream(dir.file("two.txt"), std::ios::binary) << "090101021 111\r\n090101022 222\r\n";
    okAnswers = {true, false};  // read it, then decline the replacement
    fileAnswers = {QString::fromStdString(dir.file("two.txt"))};
    click("cmdRdLst");
    ASSERT_TRUE(eventually([&] { return questions.last().contains("确定吗"); }, 10000)) << "the import did not ask";
    EXPECT_TRUE(questions.last().contains("（081231001—090101022）")) << questions.last().toStdString();
    EXPECT_TRUE(questions.last().contains("（090101021—090101022）")) << questions.last().toStdString();

    // 北京快3 counts its issues on, in a history of its own: they stay as they are.
    k3::HistoryStore(dir.file("gapbook-bj.db"), "bj").append(history);
    clickMenuEntry("mnuCaizhong", "mnuK3_9");
    EXPECT_EQ(gridRow("MSFlexGrid1", 0).value(0), "81231001");
}
