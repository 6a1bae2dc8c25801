#include <gtest/gtest.h>

#include "store/derive.h"
#include "store/snapshot.h"
#include "store/sqlite_db.h"

using namespace k3;

TEST(Derive, ListedDice) {
    DerivedDraw d = deriveDraw(130325001, 2, 2, 5, 1);
    EXPECT_EQ(d.txtHisLst, "225");
    EXPECT_EQ(d.pattern[kNumber], "1X2 2X2 1X5 ");
    EXPECT_EQ(d.pattern[kBigSmall], "1X0 2X0 1X1 ");
    EXPECT_EQ(d.pattern[kOddEven], "1X0 2X0 1X1 ");
    EXPECT_EQ(d.pattern[kSegment], "1X1 2X1 1X3 ");

    DerivedDraw one = deriveDraw(1, 1, 1, 1, 0);
    EXPECT_EQ(one.pattern[kNumber], "1X1 2X1 3X1 ");
    EXPECT_EQ(one.pattern[kBigSmall], "1X0 2X0 3X0 ");
    EXPECT_EQ(one.pattern[kOddEven], "1X1 2X1 3X1 ");
    EXPECT_EQ(one.pattern[kSegment], "1X0 2X0 3X0 ");

    DerivedDraw big = deriveDraw(1, 6, 3, 6, 1);
    EXPECT_EQ(big.values[kBigSmall], (std::array<int, 3>{1, 1, 1}));  // 3 is big
    EXPECT_EQ(big.pattern[kNumber], "1X6 1X3 2X6 ");
}

TEST(Derive, SegmentsAndBase) {
    for (int base : {0, 1}) {
        DerivedDraw d = deriveDraw(1, 3, 4, 2, base);
        EXPECT_EQ(d.values[kSegment][0], d.values[kSegment][1]);  // 3 and 4 share a segment
        EXPECT_NE(d.values[kSegment][1], d.values[kSegment][2]);  // 2 and 3 do not
        EXPECT_EQ(deriveDraw(1, 1, 3, 6, base).values[kSegment], (std::array<int, 3>{base, base + 1, base + 2}));
    }
}

TEST(Derive, RejectsDiceOutsideOneToSix) {
    EXPECT_THROW(deriveDraw(1, 0, 2, 3, 1), std::invalid_argument);
    EXPECT_THROW(deriveDraw(1, 1, 7, 3, 1), std::invalid_argument);
}

// The in-memory group bits must say exactly what a LIKE "*rXv*" on the stored text says, for every
// draw and every reading. SQLite's LIKE (with % for Jet's *) is the reference.
TEST(Derive, GroupBitsAgreeWithLikeOnEveryDraw) {
    Db db(":memory:", true);
    Stmt like = db.prepare("SELECT ?1 LIKE ?2");
    for (int a = 1; a <= 6; ++a)
        for (int b = 1; b <= 6; ++b)
            for (int c = 1; c <= 6; ++c)
                for (int base : {0, 1}) {
                    DerivedDraw d = deriveDraw(1, a, b, c, base);
                    for (int t = 0; t < kTypeCount; ++t) {
                        uint32_t bits = patternGroups(d.pattern[t]);
                        DrawValues row;
                        row.groups[t] = bits;
                        for (int r = 1; r <= 3; ++r)
                            for (int v = 0; v <= 9; ++v) {
                                std::string pat = "%" + std::to_string(r) + "X" + std::to_string(v) + "%";
                                like.bind(1, d.pattern[t]).bind(2, pat);
                                ASSERT_TRUE(like.step());
                                bool expected = like.colInt(0) != 0;
                                like.reset();
                                ASSERT_EQ(row.hasGroup(t, r, v), expected) << d.pattern[t] << " " << pat;
                            }
                        EXPECT_FALSE(row.hasGroup(t, 1, 12));
                        EXPECT_FALSE(row.hasGroup(t, 1, -1));
                    }
                }
}
