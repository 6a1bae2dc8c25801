// A process killed in the middle of an import, an update or a rebuild leaves a sound database holding
// either the old or the new history.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "history/online_update.h"
#include "history/text_import.h"
#include "history/trimming.h"
#include "store/province_history.h"
#include "test_support.h"

using namespace k3;
using History = std::vector<std::pair<int32_t, std::string>>;

namespace {

std::string historyLines(const std::vector<DerivedDraw>& d) {
    std::string s;
    for (const auto& x : d) s += std::to_string(x.sqqh) + " " + x.txtHisLst + "\r\n";
    return s;
}

History of(const std::vector<DerivedDraw>& d) {
    History h;
    for (const auto& x : d) h.emplace_back(x.sqqh, x.txtHisLst);
    return h;
}

// Runs `body` over and over in a child process, kills it after `delayUs`, then checks the file and
// returns its history.
History killDuring(const std::string& db, const std::function<void(HistoryStore&)>& body, int delayUs) {
    pid_t pid = fork();
    if (pid == 0) {
        try {
            HistoryStore s(db);
            for (;;) body(s);
        } catch (...) {
        }
        _exit(3);
    }
    usleep(static_cast<useconds_t>(delayUs));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the operation failed before it was killed";

    HistoryStore s(db);
    Stmt st = s.db().prepare("PRAGMA integrity_check");
    EXPECT_TRUE(st.step());
    EXPECT_EQ(st.colText(0), "ok");
    History h;
    auto snap = s.snapshot();
    for (const SnapRow& r : snap->rows) {
        EXPECT_EQ(r.idx, static_cast<int32_t>(h.size() + 1));
        h.emplace_back(r.sqqh, std::to_string(r.die(1) * 100 + r.die(2) * 10 + r.die(3)));
    }
    return h;
}

const int kDelays[] = {2000, 7000, 15000, 30000, 60000, 110000};

}  // namespace

TEST(KilledInTheMiddle, Import) {
    k3test::TempDir dir;
    auto a = k3test::generateDraws(20000, 78, 130101001, 1, 1), b = k3test::generateDraws(30000, 80, 140101001, 1, 2);
    std::string fa = dir.file("a.txt"), fb = dir.file("b.txt"), db = dir.file("gapbook.db");
    std::ofstream(fa, std::ios::binary) << historyLines(a);
    std::ofstream(fb, std::ios::binary) << historyLines(b);
    HistoryStore(db).replaceAll(a);
    for (int delay : kDelays) {
        int turn = 0;
        History h = killDuring(
            db, [&](HistoryStore& s) { importHistoryFile(s, turn++ % 2 ? fa : fb, 1); }, delay);
        EXPECT_TRUE(h == of(a) || h == of(b)) << "after " << delay << " us: " << h.size() << " draws";
    }
}

TEST(KilledInTheMiddle, RebuildAndCompaction) {
    k3test::TempDir dir;
    auto all = k3test::generateDraws(30000);
    std::string db = dir.file("gapbook.db");
    for (int delay : kDelays) {
        HistoryStore(db).replaceAll(all);
        History h = killDuring(
            db, [&](HistoryStore& s) { deleteLastDraws(s, 1, dir.file(kBackupFileName), 0); }, delay);
        History full = of(all);
        ASSERT_LE(h.size(), full.size());
        EXPECT_TRUE(std::equal(h.begin(), h.end(), full.begin())) << "not the history minus its newest draws";
    }
}

TEST(KilledInTheMiddle, Update) {
    k3test::TempDir dir;
    auto base = k3test::generateDraws(20000, 78, 130101001, 1, 3),
         more = k3test::generateDraws(28000, 78, 130101001, 1, 3);
    more.erase(more.begin(), more.begin() + 20000);  // the page: 8000 draws after the stored ones
    std::string page = dir.file("page.txt"), db = dir.file("gapbook.db");
    {
        std::ofstream f(page, std::ios::binary);
        for (const auto& x : more)
            f << x.sqqh << x.txtHisLst[0] << ',' << x.txtHisLst[1] << ',' << x.txtHisLst[2] << '\n';
    }
    UpdateRequest req;
    req.urlTemplate = "file://" + page;
    req.years = 16;
    req.today = std::chrono::year_month_day{std::chrono::year{2014}, std::chrono::month{1}, std::chrono::day{1}};
    HistoryStore(db).replaceAll(base);
    History old = of(base), updated = old;
    for (const auto& x : of(more)) updated.push_back(x);
    for (int delay : kDelays) {
        History h = killDuring(
            db,
            [&](HistoryStore& s) {
                s.replaceAll(base);
                if (updateHistory(s, req).added != more.size()) _exit(4);
            },
            delay);
        EXPECT_TRUE(h == old || h == updated) << "after " << delay << " us: " << h.size() << " draws";
    }
}

// A program killed while it makes a province's history leaves none or a whole empty one that records its
// province, never a file refused as another program's.
TEST(KilledInTheMiddle, MakingAProvincesHistory) {
    k3test::TempDir dir;
    const std::string data = dir.path().string(), made = dir.file("gapbook-js.db");
    openProvinceHistory(data, 0, 0).store->append(k3test::draws({{130325001, "253"}}));  // gapbook.db, 福建's
    for (int delay : {300, 700, 1500, 2500, 4000, 6000, 9000, 13000, 20000, 30000}) {
        pid_t pid = fork();
        if (pid == 0) {
            for (;;) {
                for (const char* side : {"-wal", "-shm", "-journal", ""}) ::unlink((made + side).c_str());
                try {
                    openProvinceHistory(data, 3, 0);
                } catch (...) {
                    _exit(3);
                }
            }
        }
        usleep(static_cast<useconds_t>(delay));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << "making the history failed before it was killed";
        try {
            ProvinceHistory h = openProvinceHistory(data, 3, 0);
            EXPECT_EQ(h.files.database, made);
            EXPECT_EQ(h.store->recordedProvince(), "js") << "after " << delay << " us";
            EXPECT_EQ(h.store->count(), 0);
            EXPECT_EQ(h.store->db().scalarText("PRAGMA integrity_check"), "ok");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "after " << delay << " us: " << e.what();
        }
    }
    EXPECT_EQ(openProvinceHistory(data, 0, 0).store->count(), 1);
}
