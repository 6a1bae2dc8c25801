// One history per province: which file holds a province's history, the record each file keeps of its
// province, an older gapbook.db taken for the settings' province, and the list of the provinces that
// have a history.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "process_support.h"
#include "store/province.h"
#include "store/province_history.h"
#include "test_support.h"

using namespace k3;
using k3test::fileBytes;
using k3test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr int kFujian = 0, kJiangsu = 3, kJiangxi = 5;

// gapbook.db as a version before the record kept it: rollback journal, no record table.
void olderGapbook(const TempDir& dir, size_t draws = 50) {
    {
        HistoryStore s(dir.file("gapbook.db"));
        s.append(k3test::generateDraws(draws));
    }
    Db db(dir.file("gapbook.db"), false);
    db.exec("PRAGMA journal_mode=DELETE; DROP TABLE k3province;");
}

std::optional<std::string> recordOf(const std::string& path) { return HistoryStore(path).recordedProvince(); }

StoreFailure failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const StoreError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no StoreError";
    return StoreFailure::kOther;
}

}  // namespace

TEST(ProvinceHistory, EachProvinceGetsItsOwnFileAndBackup) {
    TempDir dir;
    const std::string data = dir.path().string();
    // A new data folder: the first history made is gapbook.db, for the province that made it.
    ProvinceHistory js = openProvinceHistory(data, kJiangsu, kFujian);
    EXPECT_EQ(js.files.database, dir.file("gapbook.db"));
    EXPECT_EQ(js.files.backup, dir.file("lsbf.txt"));
    EXPECT_FALSE(js.files.adopted);
    EXPECT_EQ(js.store->recordedProvince(), "js");
    js.store->append(k3test::draws({{130325001, "253"}}));

    ProvinceHistory fj = openProvinceHistory(data, kFujian, kFujian);
    EXPECT_EQ(fj.files.database, dir.file("gapbook-fj.db"));
    EXPECT_EQ(fj.files.backup, dir.file("lsbf-fj.txt"));
    EXPECT_EQ(fj.store->recordedProvince(), "fj");
    EXPECT_EQ(fj.store->count(), 0);
    fj.store->append(k3test::draws({{130325001, "666"}, {130325002, "111"}}));

    // 江西 has the code jx (the table of an older version gave it 江苏's js).
    EXPECT_EQ(provinceFiles(data, kJiangxi, kFujian).database, dir.file("gapbook-jx.db"));
    EXPECT_FALSE(fs::exists(dir.file("gapbook-jx.db")));  // asking creates nothing

    // Each keeps its own draws, whatever the settings' province.
    for (int owner : {kFujian, kJiangsu, kJiangxi}) {
        EXPECT_EQ(openProvinceHistory(data, kJiangsu, owner).store->count(), 1) << owner;
        EXPECT_EQ(openProvinceHistory(data, kFujian, owner).store->count(), 2) << owner;
    }
    EXPECT_EQ(provinceDatabaseName(10), "gapbook-heb.db");
    EXPECT_EQ(provinceBackupName(14), "lsbf-nmg.txt");
}

TEST(ProvinceHistory, AnOlderGapbookBelongsToTheSettingsProvinceAndIsRecordedAtItsFirstChange) {
    TempDir dir;
    const std::string data = dir.path().string();
    olderGapbook(dir);
    const std::string before = fileBytes(dir.file("gapbook.db"));

    ProvinceHistory h = openProvinceHistory(data, kJiangsu, kJiangsu);
    EXPECT_EQ(h.files.database, dir.file("gapbook.db"));
    EXPECT_EQ(h.files.backup, dir.file("lsbf.txt"));
    EXPECT_TRUE(h.files.adopted);
    EXPECT_EQ(h.store->count(), 50);
    EXPECT_FALSE(h.store->recordedProvince());
    // Another province gets a file of its own, and nothing was written to gapbook.db.
    EXPECT_EQ(provinceFiles(data, kFujian, kJiangsu).database, dir.file("gapbook-fj.db"));
    h.store.reset();
    EXPECT_TRUE(fileBytes(dir.file("gapbook.db")) == before);

    // The first change records it.
    openProvinceHistory(data, kJiangsu, kJiangsu).store->append(k3test::draws({{140101001, "123"}}));
    EXPECT_EQ(recordOf(dir.file("gapbook.db")), "js");
    // From then on the settings' province no longer decides.
    EXPECT_EQ(provinceFiles(data, kJiangsu, kFujian).database, dir.file("gapbook.db"));
    EXPECT_FALSE(provinceFiles(data, kJiangsu, kFujian).adopted);
    EXPECT_EQ(provinceFiles(data, kFujian, kFujian).database, dir.file("gapbook-fj.db"));
    EXPECT_EQ(openProvinceHistory(data, kJiangsu, kFujian).store->count(), 51);
}

TEST(ProvinceHistory, TheRecordAloneChangesNothingElse) {
    TempDir dir;
    olderGapbook(dir);
    ProvinceHistory h = openProvinceHistory(dir.path().string(), kJiangsu, kJiangsu);
    const std::vector<int32_t> issues = h.store->issues();
    EXPECT_TRUE(h.store->recordProvince());
    EXPECT_TRUE(h.store->recordProvince());  // once is enough
    EXPECT_EQ(h.store->recordedProvince(), "js");
    EXPECT_EQ(h.store->db().scalarInt("SELECT COUNT(*) FROM k3province"), 1);
    EXPECT_EQ(h.store->db().scalarText("PRAGMA journal_mode"), "delete");  // WAL waits for a change
    EXPECT_EQ(h.store->issues(), issues);
    EXPECT_EQ(h.store->count(), 50);
    // A store given no province records nothing.
    TempDir other;
    olderGapbook(other);
    HistoryStore plain(other.file("gapbook.db"));
    EXPECT_FALSE(plain.recordProvince());
    plain.append(k3test::draws({{140101001, "123"}}));
    EXPECT_FALSE(plain.recordedProvince());
}

TEST(ProvinceHistory, ADamagedOlderGapbookIsNotRecorded) {
    TempDir dir;
    olderGapbook(dir, 20000);
    k3test::damageMiddlePage(dir.file("gapbook.db"));
    const std::string before = fileBytes(dir.file("gapbook.db"));
    ProvinceHistory h = openProvinceHistory(dir.path().string(), kJiangsu, kJiangsu);
    EXPECT_EQ(failureOf([&] { h.store->recordProvince(); }), StoreFailure::kDamaged);
    h.store.reset();
    EXPECT_TRUE(fileBytes(dir.file("gapbook.db")) == before);
}

TEST(ProvinceHistory, AnOlderGapbookHeldElsewhereIsRecordedOnceItIsLetGo) {
    TempDir dir;
    olderGapbook(dir);
    ProvinceHistory h = openProvinceHistory(dir.path().string(), kJiangsu, kJiangsu);
    auto other = std::make_unique<Db>(dir.file("gapbook.db"), false);
    other->exec("BEGIN IMMEDIATE");
    // Not waited for: refused as held at once, nothing recorded.
    EXPECT_EQ(failureOf([&] { h.store->recordProvince(false); }), StoreFailure::kLocked);
    other->exec("COMMIT");
    other.reset();
    EXPECT_FALSE(h.store->recordedProvince());
    EXPECT_TRUE(h.store->recordProvince(false));
    EXPECT_EQ(recordOf(dir.file("gapbook.db")), "js");
    // The store waits for other programs again afterwards: a change made while one briefly holds the
    // file is stored once it lets go, the first (which turns the older file's log on) and the next.
    auto appendWhileHeld = [&](int32_t issue) {
        other = std::make_unique<Db>(dir.file("gapbook.db"), false);
        other->exec("BEGIN IMMEDIATE");
        std::thread letGo([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            other->exec("COMMIT");
        });
        std::string failed;
        try {
            h.store->append(k3test::draws({{issue, "123"}}));
        } catch (const std::exception& e) {
            failed = e.what();
        }
        letGo.join();
        other.reset();
        return failed;
    };
    EXPECT_EQ(appendWhileHeld(150101001), "");
    EXPECT_EQ(h.store->db().scalarText("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(appendWhileHeld(150101002), "");
    EXPECT_EQ(h.store->count(), 52);
}

TEST(ProvinceHistory, AReadOnlyOlderGapbookIsReadNotRecorded) {
    if (!k3test::runHereUnprivileged()) return;
    TempDir dir;
    olderGapbook(dir);
    fs::permissions(dir.file("gapbook.db"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = fileBytes(dir.file("gapbook.db"));
    ProvinceHistory h = openProvinceHistory(dir.path().string(), kJiangsu, kJiangsu);
    EXPECT_TRUE(h.store->readOnly());
    EXPECT_EQ(h.store->count(), 50);
    EXPECT_FALSE(h.store->recordProvince());
    // The other provinces' histories are made beside it.
    EXPECT_EQ(openProvinceHistory(dir.path().string(), kFujian, kJiangsu).files.database, dir.file("gapbook-fj.db"));
    h.store.reset();
    EXPECT_TRUE(fileBytes(dir.file("gapbook.db")) == before);
}

TEST(ProvinceHistory, AFileOfAnotherProvinceIsRefusedUntouched) {
    TempDir dir;
    const std::string data = dir.path().string();
    openProvinceHistory(data, kJiangsu, kJiangsu).store->append(k3test::draws({{130325001, "253"}}));
    // gapbook.db (江苏's) copied to 福建's name.
    fs::copy_file(dir.file("gapbook.db"), dir.file("gapbook-fj.db"));
    const std::string before = fileBytes(dir.file("gapbook-fj.db"));
    try {
        openProvinceHistory(data, kFujian, kJiangsu);
        ADD_FAILURE() << "opened";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), StoreFailure::kNotHistory);
        EXPECT_EQ(std::string(e.what()),
                  "历史数据库 " + dir.file("gapbook-fj.db") + " 记下的是江苏快3的历史，不是福建快3的，未作任何改动");
    }
    EXPECT_TRUE(fileBytes(dir.file("gapbook-fj.db")) == before);
    const ProvinceListing listed = listProvinceHistories(data, kJiangsu);
    ASSERT_EQ(listed.histories.size(), 1u);
    EXPECT_EQ(listed.histories[0].province, kJiangsu);
    ASSERT_EQ(listed.problems.size(), 1u);
    EXPECT_NE(listed.problems[0].find("gapbook-fj.db 记下的是江苏快3的历史"), std::string::npos);
}

TEST(ProvinceHistory, AnOlderGapbookBesideTheSettingsProvincesOwnFileBelongsToNoProvince) {
    TempDir dir;
    const std::string data = dir.path().string();
    openProvinceHistory(data, kJiangsu, kJiangsu);  // gapbook.db, 江苏's
    openProvinceHistory(data, kFujian, kJiangsu);   // gapbook-fj.db
    fs::remove(dir.file("gapbook.db"));
    olderGapbook(dir);
    // 福建 keeps its own file; 江苏 is not the settings' province: gapbook.db is nobody's.
    EXPECT_EQ(provinceFiles(data, kFujian, kFujian).database, dir.file("gapbook-fj.db"));
    EXPECT_EQ(provinceFiles(data, kJiangsu, kFujian).database, dir.file("gapbook-js.db"));
    const ProvinceListing listed = listProvinceHistories(data, kFujian);
    ASSERT_EQ(listed.histories.size(), 1u);
    ASSERT_EQ(listed.problems.size(), 1u);
    EXPECT_NE(listed.problems[0].find("没有记下彩种，福建快3已有自己的历史数据库"), std::string::npos)
        << listed.problems[0];
}

TEST(ProvinceHistory, TheListNamesEveryProvinceWithAHistory) {
    TempDir dir;
    const std::string data = dir.path().string();
    EXPECT_TRUE(listProvinceHistories(data, kFujian).histories.empty());
    olderGapbook(dir, 3);  // 福建's, by the settings
    openProvinceHistory(data, 9, kFujian).store->append(k3test::draws({{81231078, "111"}, {90101001, "222"}}));
    openProvinceHistory(data, kJiangxi, kFujian);      // empty
    std::ofstream(dir.file("gapbook-hb.db")).flush();  // an empty file, not yet a history
    const std::string before = fileBytes(dir.file("gapbook.db"));

    const ProvinceListing listed = listProvinceHistories(data, kFujian);
    EXPECT_TRUE(listed.problems.empty());
    ASSERT_EQ(listed.histories.size(), 4u);
    EXPECT_EQ(listed.histories[0].province, kFujian);
    EXPECT_EQ(listed.histories[0].database, dir.file("gapbook.db"));
    EXPECT_EQ(listed.histories[0].draws, 3);
    EXPECT_EQ(listed.histories[0].first, 130101001);
    EXPECT_EQ(listed.histories[0].last, 130101003);
    EXPECT_EQ(listed.histories[1].province, kJiangxi);
    EXPECT_EQ(listed.histories[1].draws, 0);
    EXPECT_FALSE(listed.histories[1].first);
    EXPECT_EQ(listed.histories[2].province, 6);  // 湖北, the empty file
    EXPECT_EQ(listed.histories[2].draws, 0);
    EXPECT_EQ(listed.histories[3].province, 9);
    EXPECT_EQ(listed.histories[3].database, dir.file("gapbook-bj.db"));
    EXPECT_EQ(listed.histories[3].first, 81231078);
    EXPECT_EQ(listed.histories[3].last, 90101001);
    // Listing writes nothing: gapbook.db keeps no record, the empty file stays empty.
    EXPECT_TRUE(fileBytes(dir.file("gapbook.db")) == before);
    EXPECT_EQ(fs::file_size(dir.file("gapbook-hb.db")), 0u);

    // Without the counts: the files that hold a history (an empty one too), not the empty file.
    const ProvinceListing files = listProvinceHistories(data, kFujian, false);
    ASSERT_EQ(files.histories.size(), 3u);
    EXPECT_EQ(files.histories[0].database, dir.file("gapbook.db"));
    EXPECT_EQ(files.histories[1].province, kJiangxi);
    EXPECT_EQ(files.histories[2].province, 9);
    EXPECT_EQ(files.histories[2].draws, 0);
    EXPECT_FALSE(files.histories[2].last);
    EXPECT_EQ(fs::file_size(dir.file("gapbook-hb.db")), 0u);
}

TEST(ProvinceHistory, AGapbookRecordingAnUnknownCodeIsNobodys) {
    TempDir dir;
    const std::string data = dir.path().string();
    openProvinceHistory(data, kJiangsu, kJiangsu);
    Db(dir.file("gapbook.db"), false).exec("UPDATE k3province SET code = 'zz'");
    EXPECT_EQ(provinceFiles(data, kJiangsu, kJiangsu).database, dir.file("gapbook-js.db"));
    const ProvinceListing listed = listProvinceHistories(data, kJiangsu);
    EXPECT_TRUE(listed.histories.empty());
    ASSERT_EQ(listed.problems.size(), 1u);
    EXPECT_NE(listed.problems[0].find("记下的是彩种代码 zz的历史"), std::string::npos) << listed.problems[0];
}
