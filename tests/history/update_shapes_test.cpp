// Update pages in the shapes real sources serve, each a real page served on 127.0.0.1 or read from a file:
// result tables (one die a cell, the dice as elements of one cell, as one text), JSON answers (also as
// callback(…)), and the page text of the program's first form read exactly as before. A die is never taken
// from another cell's or row's draw; another province's page is named, not stored.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "history/json_page.h"
#include "update_fixture.h"

using namespace k3;
using namespace std::chrono;

namespace {

constexpr year_month_day k20191028{year{2019}, month{10}, day{28}};

// A history that ends at 191027078, updated on 2019-10-28 from a page.
struct ShapeTest : ::testing::Test {
    k3test::TempDir dir;
    HistoryStore store{dir.file("gapbook.db")};
    UpdateRequest req;
    void SetUp() override {
        req.code = "fj";
        req.caption = "福建快3";
        req.today = k20191028;
        req.timeoutSeconds = 10;
        store.append(k3test::draws({{191027077, "111"}, {191027078, "222"}}));
    }
    std::set<int32_t> base{191027077, 191027078};  // the history's own draws, left out of added()
    // The draws stored after the update, "ISSUE DDD", beyond those of the history.
    Lines update(const std::string& body, const std::string& type = "text/html") {
        k3test::HttpServer server(k3test::HttpServer::always(200, type, body));
        req.urlTemplate = server.base() + "/?n={n}";
        updateHistory(store, req);
        return added();
    }
    Lines added() {
        Lines out;
        auto snap = store.snapshot();
        for (const SnapRow& r : snap->rows)
            if (!base.count(r.sqqh))
                out.push_back(std::to_string(r.sqqh) + " " + std::to_string(r.die(1) * 100 + r.die(2) * 10 + r.die(3)));
        return out;
    }
    // What the page would add, read as the update reads it.
    FetchedUpdate dryRun(const std::string& body, const std::string& type = "text/html") {
        k3test::HttpServer server(k3test::HttpServer::always(200, type, body));
        req.urlTemplate = server.base() + "/?n={n}";
        return fetchUpdate(planRequest(store, req), req);
    }
};

const Lines kThree{"191028001 263", "191028002 145", "191028003 662"};

std::string table(const std::string& rows) { return "<html><body><table>" + rows + "</table></body></html>"; }

}  // namespace

// A result table with one die a cell and the sum after them: read as cells, no die taken from the sum or
// the next row (the cells run together used to store 191028001 as 2 3 1, 191028003 as 6 2 4 and lose 002).
TEST_F(ShapeTest, OneDieACellIsReadFromItsOwnRow) {
    const std::string page = table(
        "<tr><td>191028001</td><td>2</td><td>6</td><td>3</td><td>11</td></tr>\n"
        "<tr><td>191028002</td><td>1</td><td>4</td><td>5</td><td>10</td></tr>\n"
        "<tr><td>191028003</td><td>6</td><td>6</td><td>2</td><td>14</td></tr>\n");
    EXPECT_EQ(update(page), kThree);
    // The same through a file: address, as the issue's player ran it.
    store.deleteNewest(3);
    std::ofstream(dir.file("p.html")) << page;
    req.urlTemplate = "file://" + dir.file("p.html");
    updateHistory(store, req);
    EXPECT_EQ(added(), kThree);
}

TEST_F(ShapeTest, ThePageTextKeepsTheBoundariesOfCellsRowsAndBlocks) {
    EXPECT_EQ(pageText({table("<tr><td>191028001</td><td>2</td><td>6</td></tr><tr><td>x</td></tr>"), "text/html"}),
              "191028001\t2\t6\nx\n");
    EXPECT_EQ(pageText({"<body>a<div>b</div>c<p>d</p><span>e</span><b>f</b></body>", "text/html"}), "a\nb\nc\nd\nef");
}

// Eleven-digit issues, a date cell before them, the dice as three <span>s: five days of such a page after a
// history that ends the day before, 65 draws, every one with its own dice (they used to be stored with dice
// read from the digits of the next cells).
TEST_F(ShapeTest, DiceAsElementsOfOneCell) {
    store.deleteNewest(2);
    store.append(k3test::draws({{191023078, "111"}}));
    base = {191023078};
    std::string rows;
    Lines want;
    for (int d = 24; d <= 28; ++d) {
        for (int k = 1; k <= 13; ++k) {
            const int issue = 191000000 + d * 1000 + k;
            const std::string dice{char('1' + k % 6), char('1' + (k + d) % 6), char('1' + (k * d) % 6)};
            rows += "<tr><td>2019-10-" + std::to_string(d) + " 08:40</td><td>20" + std::to_string(issue) +
                    "</td><td><span class=\"b\">" + dice.substr(0, 1) + "</span><span>" + dice.substr(1, 1) +
                    "</span><span>" + dice.substr(2, 1) + "</span></td></tr>";
            want.push_back(std::to_string(issue) + " " + dice);
        }
    }
    FetchedUpdate f = dryRun(table(rows));
    EXPECT_EQ(f.plan.shape, "期号 11 位，号码各为一个元素，第 2、3 列（网页表格）");
    EXPECT_EQ(update(table(rows)), want);
}

TEST_F(ShapeTest, EveryTableShape) {
    const struct {
        const char* what;
        std::string rows;
        const char* shape;
    } cases[]{
        {"one text with commas",
         "<tr><th>期号</th><th>号码</th></tr><tr><td>191028001</td><td>2,6,3</td></tr>"
         "<tr><td>191028002</td><td>1,4,5</td></tr><tr><td>191028003</td><td>6,6,2</td></tr>",
         "期号 9 位，号码以逗号分隔，第 1、2 列（网页表格）"},
        {"together, newest first",
         "<tr><td>191028003</td><td>662</td></tr><tr><td>191028002</td><td>145</td></tr>"
         "<tr><td>191028001</td><td>263</td></tr>",
         "期号 9 位，号码 3 位相连"},
        {"<i> and <em>, a dashed issue",
         "<tr><td>20191028-001</td><td><i>2</i><i>6</i><i>3</i><em>和值11</em></td></tr>"
         "<tr><td>20191028-002</td><td><em>1</em> <em>4</em> <em>5</em></td></tr>"
         "<tr><td>20191028-003</td><td><i>6</i><i>6</i><i>2</i></td></tr>",
         "期号 8 位日期加短横和 3 位期数，号码各为一个元素"},
        {"a row without dice does not borrow the next row's",
         "<tr><td>191028001</td><td>2 6 3</td></tr><tr><td>191028004</td><td>待开奖</td></tr>"
         "<tr><td>191028002</td><td>1 4 5</td></tr><tr><td>191028003</td><td>6 6 2</td></tr>",
         "期号 9 位，号码以空格分隔"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.deleteNewest(store.count() - 2);
        FetchedUpdate f = dryRun(table(c.rows));
        EXPECT_EQ(f.plan.shape.rfind(c.shape, 0), 0u) << f.plan.shape;
        EXPECT_EQ(update(table(c.rows)), kThree);
    }
}

TEST_F(ShapeTest, JsonAnswers) {
    const struct {
        const char* what;
        std::string body;
        const char* type;
        const char* shape;
    } cases[]{
        {"strings",
         R"({"code":0,"data":[{"expect":"20191028001","opencode":"2,6,3","time":"2019-10-28 08:40"},)"
         R"({"expect":"20191028002","opencode":"1,4,5"},{"expect":"20191028003","opencode":"6,6,2"}]})",
         "application/json", "JSON：期号在“expect”（期号 11 位），号码在“opencode”（号码以逗号分隔）"},
        {"numbers and arrays, any names",
         R"([{"qh":191028003,"n":[6,6,2],"id":7},{"qh":191028002,"n":[1,4,5]},)"
         R"({"qh":191028001,"n":[2,6,3]}])",
         "text/plain", "JSON：期号在“qh”（期号 9 位），号码在“n”"},
        {"wrapped as a callback, deep inside",
         R"(jQuery123_456({"result":{"list":[{"a":"20191028-001","b":"263"},{"a":"20191028-002","b":"145"},)"
         R"({"a":"20191028-003","b":"662"}]}});)",
         "application/javascript", "JSON：期号在“a”（期号 8 位日期加短横和 3 位期数），号码在“b”（号码 3 位相连）"},
        {"the array with the most draws",
         R"({"latest":[{"i":"191028003","d":"6 6 2"}],"list":[{"i":"191028001","d":"2 6 3"},)"
         R"({"i":"191028002","d":"1 4 5"},{"i":"191028003","d":"6 6 2"}]})",
         "application/json", "JSON：期号在“i”"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store.deleteNewest(store.count() - 2);
        FetchedUpdate f = dryRun(c.body, c.type);
        EXPECT_EQ(f.plan.shape.rfind(c.shape, 0), 0u) << f.plan.shape;
        EXPECT_EQ(update(c.body, c.type), kThree);
    }
    EXPECT_FALSE(jsonDraws("{\"a\": [1, 2, 3]}"));
    EXPECT_FALSE(jsonDraws("{not json"));
    EXPECT_FALSE(jsonDraws("<html>"));
    EXPECT_EQ(jsonPart(" cb ( [1] ) ; "), "[1]");
    // Deeper than any stack would allow a recursive walk.
    EXPECT_FALSE(jsonDraws(std::string(200000, '[') + std::string(200000, ']')));
}

// The text of the first form reads as before: the issue right before its dice.
TEST_F(ShapeTest, TheFirstFormReadsAsBefore) {
    FetchedUpdate f = dryRun("<html><body>1910280012,6,3 1910280021 4 5<br>1910280036,6,2</body></html>");
    EXPECT_EQ(f.plan.shape, "期号后紧跟三个号码（页面文字）");
    EXPECT_EQ(update("<html><body>1910280012,6,3 1910280021 4 5<br>1910280036,6,2</body></html>"), kThree);
    // A plain text page of lines with columns: read by the shapes of players' files.
    store.deleteNewest(3);
    EXPECT_EQ(update("20191028001;2;6;3\n20191028002;1;4;5\n20191028003;6;6;2\n", "text/plain"), kThree);
}

// Another province's page (江苏快3, 82 draws a day) fetched for 福建快3 (78): its draws 079-082 are named
// and nothing is stored unless the request takes the draws that fit anyway.
TEST_F(ShapeTest, AnotherProvincesPageIsNamedNotStored) {
    std::string rows, text;
    for (int k = 76; k <= 82; ++k) {
        rows += "<tr><td>1910270" + std::to_string(k) + "</td><td>1,2,3</td></tr>";
        text += "1910270" + std::to_string(k) + "1,2,3 ";
    }
    for (const std::string& page : {table(rows), "<html><body>" + text + "</body></html>"}) {
        store.deleteNewest(store.count());
        store.append(k3test::draws({{191027075, "111"}}));
        k3test::HttpServer server(k3test::HttpServer::always(200, "text/html", page));
        req.urlTemplate = server.base() + "/?n={n}";
        try {
            updateHistory(store, req);
            ADD_FAILURE() << "stored another province's draws";
        } catch (const MismatchError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "页面中的期号 191027079 超过了福建快3每天的 78 期：这些号码可能是另一个省的，历史号码未作改动");
        }
        EXPECT_EQ(store.count(), 1);
        req.acceptMismatch = true;
        updateHistory(store, req);
        EXPECT_EQ(store.count(), 4);  // 076-078
        req.acceptMismatch = false;
    }
}

TEST_F(ShapeTest, AddressForms) {
    std::ofstream(dir.file("p.txt")) << "20191028001;2;6;3\n";
    req.urlTemplate = "file:" + dir.file("p.txt");  // file:/path, without an authority
    EXPECT_EQ(updateHistory(store, req).added, 1u);
    EXPECT_EQ(expandUrl("http://x/{code}/{date}?n={n}&d={date}", "fj", 78, k20191028),
              "http://x/fj/2019-10-28?n=78&d=2019-10-28");
    EXPECT_EQ(expandUrl("http://x/{date}", "fj", 78), "http://x/{date}");
}

// 北京快3 with an empty history: a table's running numbers from the lowest on, as many as the request asks
// for; a number far beyond them (another column's, a typing error) is not an issue of this update.
TEST_F(ShapeTest, RunningNumbersOfAnEmptyHistoryStartAtTheLowest) {
    store.deleteNewest(2);
    base.clear();
    req.runningNumbers = true;
    req.caption = "北京快3";
    req.years = 2;
    EXPECT_EQ(update(table("<tr><td>123457</td><td>2 4 6</td></tr><tr><td>123456</td><td>1 3 5</td></tr>"
                           "<tr><td>999999</td><td>6 6 6</td></tr>")),
              (Lines{"123456 135", "123457 246"}));
}
