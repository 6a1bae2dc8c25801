// Fetching and reading the update page: pages in other encodings and deep pages read whole; unreadable pages,
// file addresses that are no regular files, the time limit and the cancel (while the page is read or waits
// to be stored) fail and change nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <thread>

#include "update_fixture.h"

using namespace k3;
using namespace std::chrono;

namespace {

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// A start tag with n attributes: libxml2's HTML parser alone needs time quadratic in n for it.
std::string attributesPage(int n) {
    std::string page = "<html><body><p";
    for (int i = 0; i < n; ++i) page += " a" + std::to_string(i) + "=x";
    return page + ">1303250782,5,3</p></body></html>";
}

// A page near the largest accepted, of millions of elements: seconds to read.
std::string slowPage() {
    std::string page = "<html><body>";
    page.reserve(60u << 20);
    while (page.size() < (60u << 20)) page += "<b>1</b>";
    return page + "</body></html>";
}

// Whether a failure message says what it should.
::testing::AssertionResult says(const std::string& message, const std::string& part) {
    if (message.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << message << "\" does not say \"" << part << "\"";
}

}  // namespace

std::string utf16(const std::u16string& s, bool bigEndian) {
    std::string out;
    for (char16_t c : s) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

TEST(PageTextTest, EncodingsAsDeclared) {
    const std::string want = "开奖 1303250011，2，3";
    auto text = [](const std::string& body, const std::string& type) {
        std::string t = pageText(FetchedPage{body, type});
        while (!t.empty() && t.back() == '\n') t.pop_back();
        return t;
    };
    // UTF-16 with a byte-order mark, either order, as text or HTML.
    for (bool be : {false, true}) {
        EXPECT_EQ(text(utf16(u"\uFEFF开奖 1303250011，2，3", be), "text/plain"), want);
        EXPECT_EQ(text(utf16(u"\uFEFF<html><p>开奖 1303250011，2，3</p>", be), ""), want);
    }
    EXPECT_EQ(text(utf16(u"\uFEFF开奖 1303250011，2，3", true), "text/plain; charset=UTF-16"), want);
    // The page's own declaration when the header gives none; Latin-1 when the header says so.
    EXPECT_EQ(text("<meta charset=gbk><p>\xBF\xAA\xBD\xB1 1303250011\xA3\xAC"
                   "2\xA3\xAC"
                   "3</p>",
                   "text/html"),
              want);
    EXPECT_EQ(text("caf\xE9 1303250011", "text/plain; charset=ISO-8859-1"), "café 1303250011");
    // Far deeper than any stack would allow a recursive walk.
    EXPECT_EQ(text("<html><body>" + repeat("<b>", 200000) + "1303250011,1,1", "text/html"), "1303250011,1,1");
    EXPECT_EQ(contentTypeCharset("text/html;Charset=\"GB2312\"; q=1"), "GB2312");
    EXPECT_EQ(contentTypeCharset("text/html; format=charset"), "");
}

TEST_F(UpdateServerTest, PagesThatCannotBeReadAreFailures) {
    const Lines before = stored();
    struct Case {
        const char* type;
        std::string body;
        const char* says;
    };
    const Case cases[] = {
        {"text/html", "", "空"},
        {"text/plain", "", "空"},
        {"text/html; charset=x-no-such-charset", "<p>1303250782,5,3</p>", "x-no-such-charset"},
        {"text/plain; charset=\"x-no-such-charset\"", "1303250782,5,3", "x-no-such-charset"},
        {"text/plain; charset=utf-8", "1303250782,5,3 \xFF", "utf-8"},
        {"text/html; charset=Shift_JIS", "<p>1303250782,5,3 \x82</p>", "Shift_JIS"},
        // No charset, and not UTF-8: a GBK page that does not say so.
        {"text/html", "<p>\xBF\xAA\xBD\xB1 1303250782,5,3</p>", "没有说明字符集"},
        {"text/plain", "\xBF\xAA\xBD\xB1 1303250782,5,3", "没有说明字符集"},
    };
    for (const Case& c : cases) {
        k3test::HttpServer server(k3test::HttpServer::always(200, c.type, c.body));
        EXPECT_TRUE(says(failure(server), c.says)) << c.type << " " << c.body;
    }
    EXPECT_EQ(stored(), before);
}

TEST_F(UpdateServerTest, CharsetOfTheHeaderAndDeepPages) {
    // The page shows "开奖 1303250782，5，3": read as GBK, the wide commas are one character each.
    const std::string gbk =
        "\xBF\xAA\xBD\xB1 1303250782\xA3\xAC"
        "5\xA3\xAC"
        "3";
    {  // the header wins over the page's own declaration, as in a browser
        k3test::HttpServer server(k3test::HttpServer::always(
            200, "text/html; charset=GBK", "<head><meta charset=\"utf-8\"></head><p>" + gbk + "</p>"));
        EXPECT_EQ(update(server), 1u);
    }
    {
        k3test::HttpServer server(k3test::HttpServer::always(200, "text/plain;charset=gb18030",
                                                             "1303260011\xA3\xAC"
                                                             "2\xA3\xAC"
                                                             "3"));
        EXPECT_EQ(update(server), 1u);
    }
    {  // nested deeper than the parser's default limit of 256 levels
        k3test::HttpServer server(k3test::HttpServer::always(
            200, "text/html", "<html><body>" + repeat("<div>", 300) + "1303260022,2,2" + repeat("</div>", 300)));
        EXPECT_EQ(update(server), 1u);
    }
    EXPECT_EQ(stored(), (Lines{"130325077", "130325078", "130326001", "130326002"}));
}

TEST_F(UpdateServerTest, FileAddressesOnlyForRegularFiles) {
    std::ofstream(dir.file("page.html")) << "<p>1303250782,5,3</p>";
    EXPECT_EQ(update("file://" + dir.file("page.html")), 1u);
    const Lines before = stored();

    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_TRUE(says(failure("file://" + dir.file("folder")), "文件夹"));
    EXPECT_TRUE(says(failure("file://" + dir.file("missing.html")), "不存在"));
    std::ofstream(dir.file("empty.html")).close();
    EXPECT_TRUE(says(failure("file://" + dir.file("empty.html")), "空"));

    // A FIFO without a writer: opening it for reading in the usual way waits forever.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] { return failure("file://" + fifo); });
    if (pending.wait_for(seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the update waits for a writer of the FIFO";
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // let it go
    }
    EXPECT_TRUE(says(pending.get(), "不是普通文件"));
    EXPECT_EQ(stored(), before);
}

TEST_F(UpdateServerTest, TimeLimitAndCancelCoverReadingThePage) {
    const Lines before = stored();
    k3test::HttpServer server(k3test::HttpServer::always(200, "text/html", slowPage()));
    req.timeoutSeconds = 1;
    EXPECT_TRUE(says(failure(server), "超过时间限制（1 秒）"));

    // Cancelled once the page has arrived, while the parser works on it.
    std::atomic<bool> cancel{false};
    req.cancel = &cancel;
    req.timeoutSeconds = 600;
    std::thread canceller([&] {
        while (server.targets().size() < 2) std::this_thread::sleep_for(milliseconds(5));
        std::this_thread::sleep_for(milliseconds(300));
        cancel = true;
    });
    EXPECT_THROW(update(server), UpdateCancelled);
    canceller.join();
    EXPECT_EQ(stored(), before);
}

TEST_F(UpdateServerTest, CancelBeforeStoringStoresNothing) {
    const Lines before = stored();
    UpdatePlan plan = planUpdate(store.newestIssue(), false, 78, 2, kToday);
    const auto draws = parseUpdatePage("1303250782,5,3", plan, 1);
    ASSERT_EQ(draws.size(), 1u);
    std::atomic<bool> cancel{true};
    EXPECT_THROW(applyUpdate(store, plan, draws, &cancel), UpdateCancelled);
    EXPECT_THROW(applyUpdate(store, plan, {}, &cancel), UpdateCancelled);  // a cancel, not "nothing new"
    const UpdateGuard guard(60, &cancel);
    EXPECT_THROW(parseUpdatePage("1303250782,5,3", plan, 1, guard), UpdateCancelled);
    EXPECT_THROW(pageText(FetchedPage{"<p>1303250782,5,3</p>", "text/html"}, guard), UpdateCancelled);
    EXPECT_EQ(stored(), before);
}

TEST_F(UpdateServerTest, AddressesAndNetworkFailuresAreSaidInChinese) {
    const Lines before = stored();
    EXPECT_TRUE(says(failure("file://otherhost" + dir.file("page.html")), "主机「otherhost」不是本机"));
    EXPECT_TRUE(says(failure(std::string("file:page.html")), "file:// 加上本机文件的完整路径"));
    EXPECT_TRUE(says(failure(std::string("ftp://127.0.0.1/x")), "不支持「ftp」地址"));
    // A port nobody listens on: the server taken down again at once.
    std::string closed;
    {
        k3test::HttpServer gone(k3test::HttpServer::always(200, "text/plain", "x"));
        closed = gone.base();
    }
    const std::string refused = failure(closed + "/?n={n}");
    EXPECT_TRUE(says(refused, "无法连接服务器")) << refused;
    // Redirected to itself, again and again.
    k3test::HttpServer loop([](int fd, const std::string&) {
        k3test::HttpServer::sendAll(fd, "HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n");
    });
    const std::string redirects = failure(loop);
    EXPECT_TRUE(says(redirects, "转向次数太多")) << redirects;
    for (const std::string& m : {refused, redirects}) {  // the library's own words only in parentheses
        const size_t open = m.find("（");
        const std::string said = open == std::string::npos ? m : m.substr(0, open);
        EXPECT_EQ(said.find("Could not"), std::string::npos) << m;
        EXPECT_EQ(said.find("Maximum"), std::string::npos) << m;
    }
    EXPECT_EQ(stored(), before);
}

TEST(PageTextTest, ShapesThatCostTheParserMoreThanTheirSize) {
    // Attributes never reach the parser (but those of <meta>, which may name the charset); end tags that
    // close nothing neither; deep nesting is read as the text it holds.
    EXPECT_EQ(pageText(FetchedPage{attributesPage(200000), "text/html"}), "1303250782,5,3\n");
    std::string deep = "<html><body>";
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    deep += "1303250782,5,3";
    for (int i = 0; i < 100000; ++i) deep += "</p></span>";
    EXPECT_EQ(pageText(FetchedPage{deep, "text/html"}).substr(0, 14), "1303250782,5,3");
    const std::string gbk = "\xBF\xAA\xBD\xB1";  // 开奖
    EXPECT_EQ(pageText(FetchedPage{"<html><head><meta x=1 charset=\"gbk\"></head><body><p title='a>b' x=\"<p>\">" +
                                       gbk + "</p><script>if (a<b) x='</p>';</script>2</body></html>",
                                   "text/html"}),
              "开奖\n2");
}
