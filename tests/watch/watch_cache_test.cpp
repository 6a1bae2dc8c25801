// The figures kept between runs: taken back only for the province, the list and the content token they
// were counted with, the same figures as a count of the whole history, and a file that is not one of
// them (or an entry that cannot be a count) is no cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/export_error.h"
#include "store/history_store.h"
#include "store/snapshot.h"
#include "test_support.h"
#include "watch/watch_cache.h"

namespace {

std::vector<k3::WatchItem> items(std::initializer_list<const char*> texts) {
    std::vector<k3::WatchItem> out;
    for (const char* t : texts) out.push_back(k3::parseWatchItem(t));
    return out;
}

const auto kList = {"和值:10", "三同号通选:通选x1.5", "--type segment --fixed --pos 2=2 @7", "单号:6x0.5"};

void expectSameFigures(const k3::WatchState& got, const k3::WatchState& want) {
    const auto g = got.figures(), w = want.figures();
    ASSERT_EQ(g.size(), w.size());
    for (size_t i = 0; i < g.size(); ++i) {
        EXPECT_EQ(g[i].current, w[i].current) << i;
        EXPECT_EQ(g[i].maximum, w[i].maximum) << i;
        EXPECT_EQ(g[i].reached, w[i].reached) << i;
        EXPECT_EQ(g[i].hitsAfter, w[i].hitsAfter) << i;
        EXPECT_EQ(g[i].threshold, w[i].threshold) << i;
    }
    EXPECT_EQ(got.draws(), want.draws());
    EXPECT_EQ(got.lastIssue(), want.lastIssue());
}

}  // namespace

TEST(WatchCache, KeptFiguresComeBackForTheirHistoryAndListOnly) {
    auto plan = std::make_shared<const k3::WatchPlan>(items(kList), 1);
    const auto all = k3test::generateDraws(1500, 82, 130101001, 1, 11);
    const std::vector<k3::DerivedDraw> head(all.begin(), all.begin() + 1200);
    const k3::WatchState counted(plan, k3::snapshotOf(head));
    k3::WatchCache cache;
    EXPECT_TRUE(cache.keep(3, -7, counted));
    EXPECT_FALSE(cache.keep(3, -7, counted));  // kept already

    const k3::WatchCache read = k3::WatchCache::parse(cache.text());
    std::optional<k3::WatchState> back = read.find(3, -7, plan);
    ASSERT_TRUE(back);
    expectSameFigures(*back, counted);
    // Another token, another province, another list or threshold, another segment base: not these.
    EXPECT_FALSE(read.find(3, -8, plan));
    EXPECT_FALSE(read.find(4, -7, plan));
    EXPECT_FALSE(read.find(3, -7, std::make_shared<const k3::WatchPlan>(items({"和值:10"}), 1)));
    EXPECT_FALSE(read.find(
        3, -7,
        std::make_shared<const k3::WatchPlan>(
            items({"和值:10@9", "三同号通选:通选x1.5", "--type segment --fixed --pos 2=2 @7", "单号:6x0.5"}), 1)));
    EXPECT_FALSE(read.find(3, -7, std::make_shared<const k3::WatchPlan>(items(kList), 0)));
    // A plan of the same list made anew (a new start) is the same list.
    EXPECT_TRUE(read.find(3, -7, std::make_shared<const k3::WatchPlan>(items(kList), 1)));

    // Draws typed after the start count on from the kept figures as from the computed ones.
    auto snap = std::make_shared<const k3::Snapshot>(k3::snapshotOf(head));
    for (size_t i = head.size(); i < all.size(); ++i) snap = k3::withNewestAppended(snap, all[i]);
    EXPECT_TRUE(back->appendNewest(*snap));
    expectSameFigures(*back, k3::WatchState(plan, k3::snapshotOf(all)));
    // An empty history is not kept.
    EXPECT_FALSE(cache.keep(5, 1, k3::WatchState(plan)));
}

TEST(WatchCache, WhatCannotBeACountIsNoCache) {
    auto plan = std::make_shared<const k3::WatchPlan>(items(kList), 1);
    k3::WatchCache cache;
    cache.keep(2, 99, k3::WatchState(plan, k3::snapshotOf(k3test::generateDraws(400, 82, 130101001, 1, 3))));
    const std::string good = cache.text();
    ASSERT_TRUE(k3::WatchCache::parse(good).find(2, 99, plan));
    for (const std::string& bad :
         {std::string(), std::string("{"), std::string("[1,2]"), std::string(R"({"format":2,"provinces":[]})")})
        EXPECT_TRUE(k3::WatchCache::parse(bad).empty()) << bad;
    auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return k3::WatchCache::parse(text).find(2, 99, plan);
    };
    // A province outside the table, draws none, a count of another threshold, a count dropped.
    EXPECT_FALSE(edited(R"("province":2)", R"("province":15)"));
    EXPECT_FALSE(edited(R"("draws":400)", R"("draws":0)"));
    EXPECT_FALSE(edited(R"("counts":[[)", R"("counts":[[1234,)"));
    EXPECT_FALSE(edited(R"("counts":[)", R"("counts":[[1,0,0,0,0,0],)"));
    EXPECT_FALSE(edited(R"("token":99)", R"("token":"99")"));
    // More hits after the threshold than draws at it.
    std::string text = good;
    const size_t from = text.find("\"counts\":[[") + 10, to = text.find(']', from) + 1;
    text.replace(from, to - from, "[" + std::to_string(plan->threshold(0)) + ",0,0,5,5,3]");
    EXPECT_FALSE(k3::WatchCache::parse(text).find(2, 99, plan));
    text.replace(from, text.find(']', from) + 1 - from, "[" + std::to_string(plan->threshold(0)) + ",0,5,5,5,3]");
    EXPECT_TRUE(k3::WatchCache::parse(text).find(2, 99, plan));  // the same edit within bounds is taken
}

TEST(WatchCache, SavedBesideTheHistoriesButNeverOverOne) {
    k3test::TempDir dir;
    const std::string data = dir.path().string(), path = k3::watchCachePath(data);
    auto plan = std::make_shared<const k3::WatchPlan>(items(kList), 1);
    EXPECT_TRUE(k3::WatchCache::load(data).empty());  // none yet
    k3::WatchCache cache;
    cache.keep(0, 5, k3::WatchState(plan, k3::snapshotOf(k3test::generateDraws(300))));
    cache.save(data);
    EXPECT_EQ(path, dir.file(k3::kWatchCacheFileName));
    EXPECT_TRUE(k3::WatchCache::load(data).find(0, 5, plan));
    // A cache file that is a link to a history's file is neither written nor read.
    std::filesystem::remove(path);
    k3::HistoryStore(dir.file("gapbook.db")).append(k3test::generateDraws(10));
    std::filesystem::create_symlink(dir.file("gapbook.db"), path);
    EXPECT_THROW(cache.save(data), k3::ExportError);
    EXPECT_TRUE(k3::WatchCache::load(data).empty());
    EXPECT_EQ(k3::HistoryStore(dir.file("gapbook.db")).count(), 10);
}
