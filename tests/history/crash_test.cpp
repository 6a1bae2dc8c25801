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
#include "test_support.h"

using namespace k3;

namespace {

using History = std::vector<std::pair<int32_t, int>>;  // issue, dice as a number

History read(HistoryStore& s) {
    History h;
    auto snap = s.snapshot();
    for (size_t i = 0; i < snap->size(); ++i) {
        const SnapRow& r = snap->rows[i];
        EXPECT_EQ(r.idx, static_cast<int32_t>(i + 1));
        h.emplace_back(r.sqqh, r.die(1) * 100 + r.die(2) * 10 + r.die(3));
    }
    return h;
}

History of(const std::vector<DerivedDraw>& d) {
    History h;
    for (const auto& x : d) h.emplace_back(x.sqqh, x.values[kNumber][0] * 100 + x.values[kNumber][1] * 10 +
                                                       x.values[kNumber][2]);
    return h;
}

// Runs `body` over and over in a child process and kills it after `delayUs`.
void killDuring(const std::string& db, const std::function<void(HistoryStore&)>& body, int delayUs) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
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
}

// Checks the file and returns its history.
History check(const std::string& db) {
    HistoryStore s(db);
    Stmt st = s.db().prepare("PRAGMA integrity_check");
    EXPECT_TRUE(st.step());
    EXPECT_EQ(st.colText(0), "ok");
    return read(s);
}

std::string writeHistory(const std::string& path, const std::vector<DerivedDraw>& d) {
    std::ofstream f(path, std::ios::binary);
    for (const auto& x : d) f << x.sqqh << ' ' << x.txtHisLst << "\r\n";
    return path;
}

const int kDelays[] = {2000, 7000, 15000, 30000, 60000, 110000};

}  // namespace

TEST(KilledInTheMiddle, Import) {
    k3test::TempDir dir;
    auto a = k3test::generateDraws(20000, 78, 130101001, 1, 1);
    auto b = k3test::generateDraws(30000, 80, 140101001, 1, 2);
    std::string fa = writeHistory(dir.file("a.txt"), a), fb = writeHistory(dir.file("b.txt"), b);
    std::string db = dir.file("gapbook.db");
    { HistoryStore(db).replaceAll(a); }
    for (int delay : kDelays) {
        int turn = 0;
        killDuring(db, [&](HistoryStore& s) { importHistoryFile(s, turn++ % 2 ? fa : fb, 1); }, delay);
        History h = check(db);
        EXPECT_TRUE(h == of(a) || h == of(b)) << "after " << delay << " us: " << h.size() << " draws";
    }
}

TEST(KilledInTheMiddle, Rebuild) {
    k3test::TempDir dir;
    auto all = k3test::generateDraws(30000);
    std::string db = dir.file("gapbook.db");
    { HistoryStore(db).replaceAll(all); }
    History full = of(all);
    for (int delay : kDelays) {
        killDuring(db, [&](HistoryStore& s) { deleteLastDraws(s, 1, dir.file(kBackupFileName), 0); }, delay);
        History h = check(db);
        ASSERT_LE(h.size(), full.size());
        EXPECT_TRUE(std::equal(h.begin(), h.end(), full.begin())) << "not a prefix of the history";
        // Keep enough draws for the next round.
        HistoryStore(db).replaceAll(all);
    }
}

TEST(KilledInTheMiddle, Update) {
    k3test::TempDir dir;
    // Stored: 20000 draws from 2013-01-01; the page: 8000 draws after them.
    auto base = k3test::generateDraws(20000, 78, 130101001, 1, 3);
    auto more = k3test::generateDraws(28000, 78, 130101001, 1, 3);
    more.erase(more.begin(), more.begin() + 20000);
    std::string page = dir.file("page.txt");
    {
        std::ofstream f(page, std::ios::binary);
        for (const auto& x : more) f << x.sqqh << x.txtHisLst[0] << ',' << x.txtHisLst[1] << ',' << x.txtHisLst[2] << '\n';
    }
    UpdateRequest req;
    req.urlTemplate = "file://" + page;
    req.code = "fj";
    req.years = 16;
    req.today = std::chrono::year_month_day{std::chrono::year{2014}, std::chrono::month{1}, std::chrono::day{1}};
    std::string db = dir.file("gapbook.db");
    { HistoryStore(db).replaceAll(base); }
    History old = of(base), updated = old;
    for (const auto& x : of(more)) updated.push_back(x);
    for (int delay : kDelays) {
        killDuring(db, [&](HistoryStore& s) {
            s.replaceAll(base);
            if (updateHistory(s, req).added != more.size()) _exit(4);
        }, delay);
        History h = check(db);
        EXPECT_TRUE(h == old || h == updated) << "after " << delay << " us: " << h.size() << " draws";
    }
}
