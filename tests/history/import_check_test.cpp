// When an import is confirmed first: the numbers of the question, and a declined import changing nothing.
#include <gtest/gtest.h>

#include <fstream>

#include "history/import_check.h"
#include "history/text_import.h"
#include "test_support.h"

using namespace k3;

namespace {

std::vector<int32_t> issuesOf(const std::vector<IssueDice>& draws) {
    std::vector<int32_t> out;
    for (const IssueDice& d : draws) out.push_back(d.issue);
    return out;
}

std::vector<IssueDice> fileOf(const std::vector<int32_t>& issues) {
    std::vector<IssueDice> out;
    for (int32_t issue : issues) out.push_back({issue, 1, 2, 3});
    return out;
}

}  // namespace

TEST(ImportCheck, AsksWhenTheHistoryWouldShrinkOrShareNothing) {
    const std::vector<int32_t> stored{130325001, 130325002, 130325003};
    struct Case {
        std::vector<int32_t> file;  // issues of the file's draws
        bool ask;
        std::string summary;
    };
    const Case cases[] = {
        // Only the newest draws: fewer than stored.
        {{130325003, 130325004}, true, "已存 3 期（130325001—130325003），文件中 2 期（130325003—130325004）"},
        // As many, but not one of them stored (another province's file); in any order.
        {{130401003, 130401001, 130401002},
         true,
         "已存 3 期（130325001—130325003），文件中 3 期（130401001—130401003）"},
        // The same history and more: no question.
        {{130325001, 130325002, 130325003, 130325004}, false, ""},
        // As many, one shared.
        {{130324001, 130324002, 130325003}, false, ""},
        // A file without draws would empty the history.
        {{}, true, "已存 3 期（130325001—130325003），文件中 0 期"},
    };
    for (const Case& c : cases) {
        const ImportComparison cmp = compareImport(stored, fileOf(c.file));
        EXPECT_EQ(cmp.askFirst(), c.ask) << cmp.summary();
        if (c.ask) {
            EXPECT_EQ(cmp.summary(), c.summary);
            EXPECT_EQ(cmp.question(), c.summary + "：将以文件替换全部历史号码，确定吗？");
        }
    }
    // An empty history is never asked about.
    EXPECT_FALSE(compareImport(std::vector<int32_t>{}, {}).askFirst());
    EXPECT_FALSE(compareImport(std::vector<int32_t>{}, fileOf({130325001})).askFirst());
}

TEST(ImportCheck, ConfirmationComesAfterReadingAndBeforeStoring) {
    k3test::TempDir dir;
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "111"}, {130325002, "222"}, {130325003, "333"}}));
    std::ofstream(dir.file("newest.txt"), std::ios::binary) << "130325003 333\r\n130325004 444\r\nnot a draw\r\n";

    std::vector<int32_t> seen;
    ImportComparison asked;
    auto decline = [&](const std::vector<IssueDice>& draws) {
        seen = issuesOf(draws);
        asked = compareImport(store, draws);
        return false;
    };
    ImportResult r = importHistoryFile(store, dir.file("newest.txt"), 1, {}, decline);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.stored, 0u);
    EXPECT_EQ(seen, (std::vector<int32_t>{130325003, 130325004}));
    EXPECT_TRUE(asked.askFirst());
    EXPECT_EQ(asked.summary(), "已存 3 期（130325001—130325003），文件中 2 期（130325003—130325004）");
    EXPECT_EQ(store.count(), 3);

    // Accepted: replaced as always.
    r = importHistoryFile(store, dir.file("newest.txt"), 1, {}, [](const auto&) { return true; });
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.stored, 2u);
    EXPECT_EQ(r.skipped.size(), 1u);
    EXPECT_EQ(store.count(), 2);

    // A file of no draws at all is refused before any question.
    std::ofstream(dir.file("words.txt"), std::ios::binary) << "hello\r\n";
    bool called = false;
    r = importHistoryFile(store, dir.file("words.txt"), 1, {}, [&](const auto&) { return called = true; });
    EXPECT_TRUE(r.refused);
    EXPECT_FALSE(called);
    EXPECT_EQ(store.count(), 2);
}
