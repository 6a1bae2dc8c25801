#include <gtest/gtest.h>

#include "store/issue.h"
#include "store/snapshot.h"

using namespace k3;

TEST(NextIssue, SameDayAndRollover) {
    EXPECT_EQ(nextIssue(130325081, 82, false), 130325082);
    EXPECT_EQ(nextIssue(130325082, 82, false), 130326001);
    EXPECT_EQ(nextIssue(130331087, 87, false), 130401001);  // month end
    EXPECT_EQ(nextIssue(131231078, 78, false), 140101001);  // year end
    EXPECT_EQ(nextIssue(160228078, 78, false), 160229001);  // leap year
    EXPECT_EQ(nextIssue(150228078, 78, false), 150301001);
    EXPECT_EQ(nextIssue(130325081, 81, false), 130326001);  // Hebei, 81 a day
    EXPECT_EQ(nextIssue(130325079, 78, false), 130326001);  // past the day's count rolls over too
}

TEST(NextIssue, RunningNumbersAndNonDates) {
    EXPECT_EQ(nextIssue(1234578, 78, true), 1234579);       // Beijing counts on
    EXPECT_EQ(nextIssue(131345078, 78, false), 131345079);  // month 13 is no date
}

TEST(NextIssue, NoneAfterTheLargestIssue) {
    EXPECT_EQ(issueAfter(2147483646, 78, true), 2147483647);
    EXPECT_FALSE(issueAfter(2147483647, 78, true));  // a running number has no room left
    EXPECT_EQ(issueAfter(130325078, 78, false), 130326001);
    EXPECT_FALSE(issueAfter(991231078, 78, false));  // 2100 has no two-digit year
    EXPECT_EQ(issueAfter(991231077, 78, false), 991231078);
}

TEST(IssueText, ParsesOnlyWholeNumbers) {
    EXPECT_EQ(parseIssue(" 130325001 "), 130325001);
    EXPECT_FALSE(parseIssue("13032500a"));
    EXPECT_FALSE(parseIssue(""));
    EXPECT_FALSE(parseIssue("-5"));
    EXPECT_FALSE(parseIssue("99999999999"));
}

TEST(IssueText, DateBasedIssuesKeepTheirNineDigits) {
    EXPECT_EQ(issueText(80101001, false), "080101001");  // 2008: the leading zero
    EXPECT_EQ(issueText(91231078, false), "091231078");
    EXPECT_EQ(issueText(101001, false), "000101001");  // 2000-01-01
    EXPECT_EQ(issueText(130325001, false), "130325001");
    EXPECT_EQ(issueText(80101001, true), "80101001");  // running numbers stay as they are
    EXPECT_EQ(issueText(123456, true), "123456");
    // Numbers that read as no date stay as they are.
    EXPECT_EQ(issueText(5, false), "5");
    EXPECT_EQ(issueText(2013001, false), "2013001");
    EXPECT_EQ(issueText(81345001, false), "81345001");
    EXPECT_EQ(issueText(80101000, false), "080101000");  // a range's end before a day's first draw
    EXPECT_EQ(issueText(-80101001, false), "-80101001");
    // The text reads back as the same number.
    EXPECT_EQ(parseIssue(issueText(80101001, false)), 80101001);
}

namespace {
Snapshot snap(std::initializer_list<int> issues) {
    SnapshotBuilder b;
    int idx = 0;
    for (int i : issues) b.add(i, ++idx, DrawValues{});
    return b.build();
}
}  // namespace

TEST(ChooseDraw, GapSelectsLatestEarlierDraw) {
    Snapshot s = snap({130324078, 130325001, 130325003});
    ChosenDraw c = chooseDraw(s, "130325002", false);
    ASSERT_TRUE(c.row);
    EXPECT_EQ(*c.row, 1u);
    EXPECT_EQ(c.rangeEnd, 130325003);  // range runs to the end of the history
}

TEST(ChooseDraw, OnlyBeforeEndsRangeBeforeChosenDraw) {
    Snapshot s = snap({130324078, 130325001, 130325003});
    ChosenDraw c = chooseDraw(s, "130325001", true);
    EXPECT_EQ(c.row, 1u);
    EXPECT_EQ(c.rangeEnd, 130325000);
}

TEST(ChooseDraw, FailuresKeepValues) {
    EXPECT_FALSE(chooseDraw(Snapshot{}, "130325001", false).row);
    EXPECT_FALSE(chooseDraw(Snapshot{}, "130325001", false).rangeEnd);
    Snapshot s = snap({130325001});
    ChosenDraw early = chooseDraw(s, "120101001", true);
    EXPECT_FALSE(early.row);
    EXPECT_FALSE(early.rangeEnd);  // with the tick the range end stays
    ChosenDraw bad = chooseDraw(s, "abc", false);
    EXPECT_FALSE(bad.row);
    EXPECT_EQ(bad.rangeEnd, 130325001);  // without it, the range end moved before the failure
}
