// The online update: the plan, the page parser against the specified walk, and whole updates against a
// real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "http_server.h"
#include "history/online_update.h"
#include "test_support.h"

using namespace k3;
using namespace std::chrono;

namespace {

// The walk over every issue number, as specified: the reference the fast parser must agree with.
std::vector<std::string> walk(const std::string& text, int64_t start, int64_t end, int width) {
    std::vector<std::string> out;
    size_t pos = 0;  // 1-based position of the last hit, 0 for none
    for (int64_t x = start; x <= end; ++x) {
        size_t f = text.find(std::to_string(x), pos);
        if (f == std::string::npos) {
            pos = 0;
            continue;
        }
        pos = f + 1;
        std::string dice;
        for (int k = 1; k <= 3; ++k) {
            size_t at = f + static_cast<size_t>(width + 2 * k);
            if (at < text.size() && text[at] >= '1' && text[at] <= '6') dice += text[at];
        }
        if (dice.size() == 3) out.push_back(std::to_string(x) + " " + dice);
    }
    return out;
}

std::vector<std::string> lines(const std::vector<DerivedDraw>& d) {
    std::vector<std::string> out;
    for (const auto& x : d) out.push_back(std::to_string(x.sqqh) + " " + x.txtHisLst);
    return out;
}

UpdatePlan rangePlan(int64_t start, int64_t end) {
    UpdatePlan p;
    p.start = start;
    p.end = end;
    return p;
}

constexpr year_month_day kToday{year{2013}, month{3}, day{26}};

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
    EXPECT_EQ(p.count, 3 * 78);  // the newest draw's day, yesterday and today
    p = planUpdate(130326078, false, 78, 6, kToday);
    EXPECT_EQ(p.count, 78);
    EXPECT_EQ(expandUrl("http://{code}.x/?n={n}&c={code}", "fj", 468), "http://fj.x/?n=468&c=fj");

    p = planUpdate(std::nullopt, true, 78, 2, kToday);
    EXPECT_FALSE(p.start.has_value());
    EXPECT_EQ(p.width, 3);
    p = planUpdate(100000, true, 78, 2, kToday);
    EXPECT_EQ(*p.start, 100001);
    EXPECT_EQ(p.end, 100001 + p.count);
}

TEST(UpdatePageTest, DiceFollowTheIssue) {
    UpdatePlan p = rangePlan(130325001, 130325078);
    EXPECT_EQ(lines(parseUpdatePage("x1303250012,5,3 1303250022 5 3 1303250037,1,1 1303250046，6，6", p, 1)),
              (std::vector<std::string>{"130325001 253", "130325002 253", "130325004 666"}));
    // Descending order: a larger number is found only after the last hit.
    p = rangePlan(130325001, 130325078);
    EXPECT_EQ(lines(parseUpdatePage("1303250031,1,1 1303250022,2,2 1303250013,3,3", p, 1)),
              (std::vector<std::string>{"130325001 333", "130325003 111"}));
    // A draw cut off at the end of the page is not taken.
    p = rangePlan(130325001, 130325078);
    EXPECT_TRUE(parseUpdatePage("1303250012,5", p, 1).empty());
}

TEST(UpdatePageTest, AgreesWithTheWalkOnRandomPages) {
    std::mt19937 rng(7);
    const int64_t start = 130325070, end = 130326010;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        int items = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < items; ++i) {
            switch (rng() % 5) {
                case 0: text += std::to_string(130325060 + rng() % 30); break;
                case 1: text += std::to_string(130326000 + rng() % 15); break;
                case 2: text += std::to_string(rng() % 10); break;
                case 3: text += " ,;"[rng() % 3]; break;
                default: text += std::to_string(130325060 + rng() % 960) + std::to_string(1 + rng() % 7) + "," +
                                 std::to_string(1 + rng() % 7) + "," + std::to_string(rng() % 8);
            }
        }
        UpdatePlan p = rangePlan(start, end);
        ASSERT_EQ(lines(parseUpdatePage(text, p, 1)), walk(text, start, end, 7)) << text;
    }
}

TEST(UpdatePageTest, HtmlBodyAndRunningNumbers) {
    FetchedPage page{"<html><head><title>130325009</title></head><body><p>1303250012,5,3</p>"
                     "<script>var a='1303250021,1,1';</script><div>1303250036,6,6</div></body></html>",
                     "text/html; charset=utf-8"};
    UpdatePlan p = rangePlan(130325001, 130325078);
    EXPECT_EQ(lines(parseUpdatePage(pageText(page), p, 1)),
              (std::vector<std::string>{"130325001 253", "130325003 666"}));

    // Beijing, empty history: the first issue is the digit run after "开奖时间" without its last die.
    UpdatePlan b = planUpdate(std::nullopt, true, 78, 2, kToday);
    auto d = parseUpdatePage("12345 开奖时间 555551 2 3 555561 1 1 555574 4 4", b, 1);
    EXPECT_EQ(*b.start, 55555);
    EXPECT_EQ(lines(d), (std::vector<std::string>{"55555 123", "55556 111", "55557 444"}));
}

struct UpdateServerTest : ::testing::Test {
    k3test::TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    UpdateRequest req;
    void SetUp() override {
        req.code = "fj";
        req.years = 2;
        req.today = kToday;
        req.timeoutSeconds = 5;
        // One draw outside the two-year window, and the newest stored draw.
        store.append(k3test::draws({{110301001, "111"}, {130325077, "222"}}));
    }
    std::vector<std::string> stored() {
        std::vector<std::string> out;
        auto snap = store.snapshot();
        for (const SnapRow& r : snap->rows)
            out.push_back(std::to_string(r.sqqh) + " " + std::to_string(r.die(1)) + std::to_string(r.die(2)) +
                          std::to_string(r.die(3)));
        return out;
    }
};

TEST_F(UpdateServerTest, AppendsTheNewDrawsAndDropsTheOldInOneGo) {
    k3test::HttpServer server([](int fd, const std::string&) {
        k3test::HttpServer::sendAll(fd, k3test::HttpServer::response(
            200, "text/html", "<html><body>开奖 1303250771,1,1 1303250782,5,3<br>1303260016,6,6 "
                              "1303260027,1,1</body></html>"));
    });
    req.urlTemplate = server.base() + "/{code}/?n={n}";
    UpdateOutcome r = updateHistory(store, req);
    // 130325077 is stored already; 130326002 shows a die 7 and is skipped.
    EXPECT_EQ(r.added, 2u);
    EXPECT_EQ(r.removed, 1u);
    EXPECT_EQ(stored(), (std::vector<std::string>{"130325077 222", "130325078 253", "130326001 666"}));
    ASSERT_EQ(server.targets().size(), 1u);
    EXPECT_EQ(server.targets()[0], "/fj/?n=" + std::to_string(2 * 78));
}

TEST_F(UpdateServerTest, PageInDescendingOrder) {
    // Newest first: after the hit on 130325078 (last line) the misses up to the next day send the search
    // back to the beginning, so 130326001 is found; 130326002 is searched only after that hit and is lost.
    k3test::HttpServer server([](int fd, const std::string&) {
        k3test::HttpServer::sendAll(fd, k3test::HttpServer::response(
            200, "text/plain", "1303260023,3,3\n1303260012,2,2\n1303250781,1,1\n"));
    });
    req.urlTemplate = server.base() + "/?n={n}";
    EXPECT_EQ(updateHistory(store, req).added, 2u);
    EXPECT_EQ(stored(), (std::vector<std::string>{"130325077 222", "130325078 111", "130326001 222"}));
}

TEST_F(UpdateServerTest, FailuresChangeNothing) {
    auto before = stored();
    // An error status, even with draws in its body.
    {
        k3test::HttpServer server([](int fd, const std::string&) {
            k3test::HttpServer::sendAll(fd, k3test::HttpServer::response(500, "text/plain", "1303250782,5,3"));
        });
        req.urlTemplate = server.base() + "/?n={n}";
        EXPECT_THROW(updateHistory(store, req), FetchError);
    }
    // A connection dropped in the middle of the page.
    {
        k3test::HttpServer server([](int fd, const std::string&) {
            k3test::HttpServer::sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5000\r\n\r\n"
                                            "1303250782,5,3 ");
        });
        req.urlTemplate = server.base() + "/?n={n}";
        EXPECT_THROW(updateHistory(store, req), FetchError);
    }
    // A page without draws: nothing appended, and the old draw is not trimmed either.
    {
        k3test::HttpServer server([](int fd, const std::string&) {
            k3test::HttpServer::sendAll(fd, k3test::HttpServer::response(200, "text/html", "<p>维护中</p>"));
        });
        req.urlTemplate = server.base() + "/?n={n}";
        EXPECT_EQ(updateHistory(store, req).added, 0u);
    }
    // A server that does not answer within the time limit, and an address of another kind.
    {
        k3test::HttpServer server([](int, const std::string&) { std::this_thread::sleep_for(milliseconds(1500)); });
        req.urlTemplate = server.base() + "/?n={n}";
        req.timeoutSeconds = 1;
        EXPECT_THROW(updateHistory(store, req), FetchError);
    }
    req.urlTemplate = "ftp://127.0.0.1/?n={n}";
    EXPECT_THROW(updateHistory(store, req), FetchError);
    EXPECT_EQ(stored(), before);
}

TEST_F(UpdateServerTest, SavedPageAndCancel) {
    std::string page = dir.file("page.txt");
    {
        std::ofstream f(page, std::ios::binary);
        f << "1303250782 5 3\n";
    }
    req.urlTemplate = "file://" + page;
    EXPECT_EQ(updateHistory(store, req).added, 1u);

    std::atomic<bool> cancel{true};
    k3test::HttpServer server([](int, const std::string&) { std::this_thread::sleep_for(milliseconds(500)); });
    req.urlTemplate = server.base() + "/";
    req.cancel = &cancel;
    EXPECT_THROW(updateHistory(store, req), FetchError);
}
