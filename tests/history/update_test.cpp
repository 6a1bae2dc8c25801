// The online update: the plan, the page parser against the walk over every issue number, and whole
// updates against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "history/online_update.h"
#include "process_support.h"
#include "update_fixture.h"

using namespace k3;
using namespace std::chrono;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the occurrence of x at f is taken as an issue: date issues are a real date and a draw number of
// the day; running numbers begin a run of digits that is the issue and its first die, or the issue alone.
bool plausibleAt(const std::string& text, size_t f, int64_t x, const UpdatePlan& plan) {
    const std::string s = std::to_string(x);
    if (plan.runningNumbers) {
        size_t runEnd = f;
        while (runEnd < text.size() && isDigit(text[runEnd])) ++runEnd;
        return (f == 0 || !isDigit(text[f - 1])) && (runEnd - f == s.size() + 1 || runEnd - f == s.size());
    }
    const year_month_day d{year{2000 + static_cast<int>(x / 10000000)}, month{static_cast<unsigned>(x / 100000 % 100)},
                           day{static_cast<unsigned>(x / 1000 % 100)}};
    return x < 1000000000 && d.ok() && x % 1000 >= 1 && x % 1000 <= plan.drawsPerDay;
}

// The walk over every issue number, one text search each: the reference the fast parser must agree with.
Lines walk(const std::string& text, const UpdatePlan& plan) {
    Lines out;
    const size_t w = static_cast<size_t>(plan.width);
    size_t pos = 0;  // 1-based position of the last hit, 0 for none
    for (int64_t x = *plan.start; x <= plan.end; ++x) {
        size_t f = text.find(std::to_string(x), pos);
        while (f != std::string::npos && !plausibleAt(text, f, x, plan)) f = text.find(std::to_string(x), f + 1);
        pos = f == std::string::npos ? 0 : f + 1;
        // Date issues: dice at f + w + 2k. Running numbers: right after the issue's digits, or after one
        // character more, then each a lone digit.
        size_t first = f + w + 2;
        bool apart = false;
        if (plan.runningNumbers) {
            first = f + std::to_string(x).size();
            apart = first < text.size() && !isDigit(text[first]);
            first += apart;
        }
        std::string dice;
        bool lone = true;
        for (size_t k = 0; pos && k < 3; ++k) {
            const size_t at = first + 2 * k;
            if (at < text.size() && text[at] >= '1' && text[at] <= '6') dice += text[at];
            if (apart && (at + 1 < text.size() ? isDigit(text[at + 1]) : k < 2)) lone = false;
        }
        if (dice.size() == 3 && lone) out.push_back(std::to_string(x) + " " + dice);
    }
    return out;
}

UpdatePlan datePlan(int64_t start, int64_t end) {
    UpdatePlan p;
    p.start = start;
    p.end = end;
    return p;
}

Lines parse(const std::string& text, UpdatePlan p) {
    Lines out;
    for (const auto& d : parseUpdatePage(text, p, 1)) out.push_back(std::to_string(d.sqqh) + " " + d.txtHisLst);
    return out;
}
Lines parse(const std::string& text, int64_t start = 130325001, int64_t end = 130325078) {
    return parse(text, datePlan(start, end));
}

}  // namespace

TEST(UpdatePlanTest, WindowInYearsAndRange) {
    UpdatePlan p = planUpdate(std::nullopt, false, 78, 6, kToday);
    EXPECT_EQ(p.days, 2192);  // 2007-03-26 .. 2013-03-26
    EXPECT_EQ(p.count, 2192 * 78);
    EXPECT_EQ(*p.start, 70326001);
    EXPECT_EQ(p.end, 130326078);
    EXPECT_EQ(*p.deleteBelow, 70326000);
    p = planUpdate(130324050, false, 78, 6, kToday);
    EXPECT_EQ(*p.start, 130324051);
    EXPECT_EQ(p.count, 3 * 78);  // from the newest draw's own day, so its later draws are not missed
    EXPECT_EQ(planUpdate(130326078, false, 78, 6, kToday).count, 78);
    p = planUpdate(100000, true, 78, 2, kToday);  // running numbers
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.end, 100001 + p.count);
    EXPECT_EQ(expandUrl("http://{code}.x/?n={n}&c={code}", "fj", 468), "http://fj.x/?n=468&c=fj");
}

TEST(UpdatePageTest, DiceFollowTheIssue) {
    // Separators of any kind, also wide ones (positions count characters); a die 7; a draw cut off.
    EXPECT_EQ(parse("x1303250012,5,3 1303250022 5 3 1303250037,1,1 1303250046，6，6 1303250051,2"),
              (Lines{"130325001 253", "130325002 253", "130325004 666"}));
    // Descending: a larger number is searched only after the last hit.
    EXPECT_EQ(parse("1303250031,1,1 1303250022,2,2 1303250013,3,3"), (Lines{"130325001 333", "130325003 111"}));
    FetchedPage html{
        "<html><head><title>130325009</title></head><body><p>1303250012,5,3</p>"
        "<script>var a='1303250021,1,1';</script><div>1303250036,6,6</div></body></html>",
        "text/html"};
    EXPECT_EQ(parse(pageText(html)), (Lines{"130325001 253", "130325003 666"}));

    // Running numbers, empty history: the first issue is the digit run after "开奖时间" without its die.
    UpdatePlan b = planUpdate(std::nullopt, true, 78, 2, kToday);
    auto d = parseUpdatePage("12345 开奖时间 555551 2 3 555561 1 1", b, 1);
    EXPECT_EQ(*b.start, 55555);
    EXPECT_EQ(d.size(), 2u);
}

TEST(UpdatePageTest, OnlyPlausibleIssues) {
    // Date issues: 29 February 2013, 31 February and draw 79 of a 78-draw day are no issues; the walk goes on
    // as if they were not on the page.
    EXPECT_EQ(parse("1302280781,1,1 1302290051,1,1 1302310024,4,4 1302280796,6,6 1303010012,3,4", 130228078, 130301078),
              (Lines{"130228078 111", "130301001 234"}));
    EXPECT_EQ(parse("1202290051,1,1", 120229001, 120229078), (Lines{"120229005 111"}));  // a leap day
    // Running numbers: the issue begins a run of digits, and the run is the issue and its first die.
    UpdatePlan b = planUpdate(19, true, 78, 2, kToday);
    EXPECT_EQ(parse("200001,2,3", b), (Lines{"20000 123"}));
    EXPECT_EQ(parse("7200001,2,3 x200011 2 3", b), (Lines{"20001 123"}));
}

TEST(UpdatePageTest, RunningNumbersOfAnyLength) {
    // The dice follow the issue's own digits, glued to it or apart, whatever its length.
    for (const char* page : {"开奖时间 <p>1234576,3,4</p>", "123457 6 3 4", "1234576 3 4", "1234576，3，4"}) {
        UpdatePlan b = planUpdate(123456, true, 78, 2, kToday);
        EXPECT_EQ(parse(page, b), (Lines{"123457 634"})) << page;
    }
    UpdatePlan four = planUpdate(1233, true, 78, 2, kToday);
    EXPECT_EQ(parse("1234 5 6 1 12355,6,6", four), (Lines{"1234 561", "1235 566"}));
    // Five digits as before; a list of issues is no dice.
    UpdatePlan five = planUpdate(12344, true, 78, 2, kToday);
    EXPECT_EQ(parse("123456,3,4", five), (Lines{"12345 634"}));
    EXPECT_TRUE(parseUpdatePage("12345 12346 12347", five, 1).empty());
    EXPECT_EQ(five.emptyReason, "页面中找到了期号 12345，但它后面没有三个 1～6 的号码");
    EXPECT_TRUE(parseUpdatePage("开奖 99999,1,1", five, 1).empty());
    EXPECT_EQ(five.emptyReason, "页面中没有找到要更新的期号（从 12345 起）");
    // Empty history: the issue after "开奖时间" is the run without its die, or the whole run apart from them.
    for (const char* page : {"开奖时间 1234576,3,4", "开奖时间 123457 6 3 4"}) {
        UpdatePlan e = planUpdate(std::nullopt, true, 78, 2, kToday);
        EXPECT_EQ(parse(page, e), (Lines{"123457 634"})) << page;
    }
    UpdatePlan none = planUpdate(std::nullopt, true, 78, 2, kToday);
    EXPECT_TRUE(parseUpdatePage("123457 6 3 4", none, 1).empty());
    EXPECT_EQ(none.emptyReason, "页面中没有“开奖时间”，找不到第一期的期号");
}

TEST(UpdatePageTest, AgreesWithTheWalkOnRandomPages) {
    std::mt19937 rng(7);
    size_t found = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 40); i < n; ++i) {
            const int64_t near = rng() % 2 ? 130325060 + rng() % 30 : 130326000 + rng() % 15;
            switch (rng() % 6) {
                case 0: text += std::to_string(near); break;
                case 1: text += std::to_string(rng() % 10); break;
                case 2: text += " ,;"[rng() % 3]; break;
                case 3: text += std::to_string(130325060 + rng() % 960); break;
                default:
                    text += std::to_string(near) + std::to_string(1 + rng() % 7) + "," + std::to_string(1 + rng() % 7) +
                            "," + std::to_string(rng() % 8);
            }
        }
        const UpdatePlan plan = datePlan(130325070, 130326010);
        ASSERT_EQ(parse(text, plan), walk(text, plan)) << text;
        found += walk(text, plan).size();
    }
    EXPECT_GT(found, 100u);
    found = 0;
    // Running numbers: issues of four to six digits around the range, within longer runs too.
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 40); i < n; ++i) {
            switch (rng() % 5) {
                case 0: text += std::to_string(5550 + rng() % 30); break;
                case 1: text += std::to_string(rng() % 10); break;
                case 2: text += " ,;"[rng() % 3]; break;
                case 3:  // the dice apart from the issue
                    text += std::to_string(55540 + rng() % 40) + " " + std::to_string(1 + rng() % 7) + " " +
                            std::to_string(1 + rng() % 7) + " " + std::to_string(rng() % 8);
                    break;
                default:
                    text += std::to_string(55540 + rng() % 40) + std::to_string(1 + rng() % 7) + "," +
                            std::to_string(1 + rng() % 7) + " " + std::to_string(rng() % 8);
            }
        }
        UpdatePlan plan = planUpdate(55549, true, 78, 2, kToday);
        plan.end = 55575;
        ASSERT_EQ(parse(text, plan), walk(text, plan)) << text;
        found += walk(text, plan).size();
    }
    EXPECT_GT(found, 100u);
}

TEST_F(UpdateServerTest, AppendsTheNewDrawsAndDropsTheOldInOneGo) {
    k3test::HttpServer server(k3test::HttpServer::always(
        200, "text/html", "<html><body>1303250771,1,1 1303250782,5,3<br>1303260016,6,6 1303260027,1,1</body></html>"));
    EXPECT_EQ(update(server), 2u);  // 130325077 is stored already; 130326002 shows a die 7
    EXPECT_EQ(stored(), (Lines{"130325077", "130325078", "130326001"}));
    EXPECT_EQ(server.targets().at(0), "/fj/?n=" + std::to_string(2 * 78));
}

TEST_F(UpdateServerTest, PageInDescendingOrder) {
    // After the hit on 130325078 (last line) the misses up to the next day send the search back to the
    // beginning, so 130326001 is found; 130326002 is searched only after that hit and is not.
    k3test::HttpServer server(
        k3test::HttpServer::always(200, "text/plain", "1303260023,3,3\n1303260012,2,2\n1303250781,1,1\n"));
    EXPECT_EQ(update(server), 2u);
    EXPECT_EQ(stored(), (Lines{"130325077", "130325078", "130326001"}));
}

TEST_F(UpdateServerTest, FailuresChangeNothing) {
    const Lines before = stored();
    {  // an error status, even with draws in its body
        k3test::HttpServer server(k3test::HttpServer::always(500, "text/plain", "1303250782,5,3"));
        EXPECT_THROW(update(server), FetchError);
    }
    {  // a connection dropped in the middle of the page
        k3test::HttpServer server([](int fd, const std::string&) {
            k3test::HttpServer::sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n1303250782,5,3 ");
        });
        EXPECT_THROW(update(server), FetchError);
    }
    {  // no draws on the page: the old draw is not trimmed either
        k3test::HttpServer server(k3test::HttpServer::always(200, "text/html", "<p>维护中</p>"));
        EXPECT_EQ(update(server), 0u);
    }
    {  // past the time limit, and cancelled
        k3test::HttpServer server([](int, const std::string&) { std::this_thread::sleep_for(milliseconds(1500)); });
        req.timeoutSeconds = 1;
        EXPECT_THROW(update(server), FetchError);
        std::atomic<bool> cancel{true};
        req.cancel = &cancel;
        EXPECT_THROW(update(server), FetchError);
    }
    req.urlTemplate = "ftp://127.0.0.1/?n={n}";
    EXPECT_THROW(updateHistory(store, req), FetchError);
    EXPECT_EQ(stored(), before);
}

// A file: address naming the history database (or its log) is refused before the file is opened: reading
// it outside SQLite would drop this process's locks on it.
TEST_F(UpdateServerTest, AFileAddressNeverReadsTheHistoryDatabase) {
    const Lines before = stored();
    for (const char* name : {"gapbook.db", "gapbook.db-wal", "gapbook.db-shm"}) {
        const std::string why = failure("file://" + dir.file(name));
        EXPECT_NE(why.find("历史数据库"), std::string::npos) << name << ": " << why;
        EXPECT_TRUE(k3test::sqliteLockHolders(dir.file("gapbook.db")).count(::getpid())) << name;
    }
    EXPECT_EQ(stored(), before);
}
