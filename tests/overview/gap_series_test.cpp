// The data of the omission charts against the table row and the search grid they come from.
#include <gtest/gtest.h>

#include "overview/gap_series.h"
#include "overview/overview.h"
#include "test_support.h"

namespace {

using k3::snapshotOf;

TEST(GapSeries, ItemSeriesAgreesWithItsTableRow) {
    k3::Snapshot s = snapshotOf(k3test::generateDraws(3000, 78, 130101001, 1, 9));
    const std::string from = std::to_string(s.rows[100].sqqh), to = std::to_string(s.rows[2500].sqqh);
    k3::OverviewTable t = k3::computeOverview(s, from, to);
    for (int item : {0, 7, 22, 40, 94, 100}) {
        k3::GapSeries g = k3::itemGapSeries(s, from, to, item);
        const k3::OverviewRow& r = t.rows[item];
        SCOPED_TRACE(g.title);
        ASSERT_EQ(static_cast<int32_t>(g.hits.size()), r.hits);
        EXPECT_EQ(g.start, 100);
        int32_t p = g.start;
        for (const k3::GapPoint& h : g.hits) {
            auto row = s.find(h.issue);
            ASSERT_TRUE(row);
            EXPECT_EQ(h.position, s.rows[*row].idx);
            EXPECT_EQ(h.omission, h.position - p);
            EXPECT_TRUE(k3::itemHits(item, s.rows[*row].die(1), s.rows[*row].die(2), s.rows[*row].die(3)));
            p = h.position;
        }
        EXPECT_EQ(g.lastOmission, r.last);
        EXPECT_EQ(g.nextPosition, 3001);
        EXPECT_EQ(g.average, r.average);
        EXPECT_EQ(g.maximum.value_or(32767), r.maximum);
        EXPECT_DOUBLE_EQ(*g.theoretical, r.theoretical);
    }
    EXPECT_EQ(k3::itemGapSeries(s, from, to, 7).title, "和值 10");
    EXPECT_THROW(k3::itemGapSeries(s, from, to, 101), k3::AnalysisError);
    EXPECT_THROW(k3::itemGapSeries(s, "x", to, 1), k3::AnalysisError);
}

TEST(GapSeries, SearchSeriesWithoutMatches) {
    // Hits against grid 2 are checked where the chart draws them; here the series of an empty result.
    k3::Snapshot s = snapshotOf(k3test::generateDraws(200));
    k3::SearchInput in;
    in.selected = {true, false, false};
    in.values = {7, 0, 0};
    in.texts = {"7", "", ""};
    in.from = std::to_string(s.rows[30].sqqh);
    in.to = std::to_string(s.rows[150].sqqh);
    k3::GapSeries g = k3::gapSeriesOf(k3::runSearch(s, in));
    EXPECT_EQ(g.title, "7 ");
    EXPECT_TRUE(g.hits.empty());
    EXPECT_FALSE(g.average || g.maximum || g.theoretical);
    EXPECT_EQ(g.lastOmission, 201 - 30);
    EXPECT_EQ(g.nextPosition, 201);
    // A grid cell that is not a number is refused, not misread.
    k3::SearchOutput bad = k3::runSearch(s, in);
    bad.matches.rows.push_back({"130101001", "1", "2", "3", "x", "1"});
    EXPECT_THROW(k3::gapSeriesOf(bad), k3::AnalysisError);
}

TEST(GapSeries, TheoreticalOmissionOfSearches) {
    k3::SearchInput in;
    in.selected = {true, false, false};
    in.values = {2, 0, 0};
    EXPECT_DOUBLE_EQ(*k3::theoreticalOmission(in, 1), 216.0 / 91);  // a 2 anywhere
    in.free = false;
    EXPECT_DOUBLE_EQ(*k3::theoreticalOmission(in, 1), 6.0);  // a 2 first
    in.selected = {true, true, true};
    in.values = {2, 2, 5};
    EXPECT_DOUBLE_EQ(*k3::theoreticalOmission(in, 1), 216.0);
    in.free = true;
    EXPECT_DOUBLE_EQ(*k3::theoreticalOmission(in, 0), 72.0);  // 225 in any order
    in.values = {2, 2, 7};
    EXPECT_FALSE(k3::theoreticalOmission(in, 1));
    k3::PartialInput p;
    p.values = {1, 2, 3};
    p.width = 3;
    EXPECT_DOUBLE_EQ(*k3::theoreticalOmission(p, 1), 36.0);  // 1, 2 and 3 in any order
    p.width = 5;
    EXPECT_FALSE(k3::theoreticalOmission(p, 1));
}

}  // namespace
