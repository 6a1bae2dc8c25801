// k3gap-cli overview and the charts of the command line, run as a user's shell would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli_runner.h"
#include "test_support.h"

namespace {

using k3test::CliRun;
using k3test::TempDir;

CliRun cli(const TempDir& dir, const std::string& args) {
    return k3test::runCli(dir.path().string(), dir.file("config"), args);
}

void addExample(const TempDir& dir) {
    for (const char* d : {"130325001 253", "130325002 666"}) ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        out.push_back(text.substr(at, nl - at));
    return out;
}

// Width and height of a PNG file, from its header; {0, 0} when it is not one.
std::pair<uint32_t, uint32_t> pngSize(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    unsigned char h[24] = {};
    f.read(reinterpret_cast<char*>(h), sizeof h);
    if (!f || h[1] != 'P' || h[2] != 'N' || h[3] != 'G') return {0, 0};
    auto be = [&h](int i) {
        return uint32_t(h[i]) << 24 | uint32_t(h[i + 1]) << 16 | uint32_t(h[i + 2]) << 8 | h[i + 3];
    };
    return {be(16), be(20)};
}

TEST(CliOverview, PrintsTheTableInTheFixedOrder) {
    TempDir dir;
    addExample(dir);
    CliRun r = cli(dir, "overview");
    ASSERT_EQ(r.rc, 0) << r.err;
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), 102u);
    EXPECT_EQ(l[0], "玩法\t号码\t出现次数\t最小遗漏\t最大遗漏\t最后遗漏\t平均遗漏\t理论遗漏\t欲出几率\t遗漏概率（%）");
    EXPECT_EQ(l[8], "和值\t10\t1\t1\t1\t2\t1.00\t8.00\t2.00\t87.50");
    EXPECT_EQ(l[23], "三同号通选\t通选\t1\t2\t2\t1\t2.00\t36.00\t0.50\t100.00");
    EXPECT_EQ(l[101], "单号\t6\t1\t2\t2\t1\t2.00\t2.37\t0.50\t100.00");
    // A range from the second draw; an end past the history.
    l = lines(cli(dir, "overview --from 130325002 --to 130399001").out);
    EXPECT_EQ(l[8], "和值\t10\t0\t32767\t32767\t2\t\t8.00\t\t87.50");

    const std::string book = dir.file("Zongbiao.xlsx");
    r = cli(dir, "overview --xlsx " + book);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_GT(std::filesystem::file_size(book), 1000u);
}

TEST(CliOverview, ChartsToPng) {
    TempDir dir;
    addExample(dir);
    for (const char* d : {"130325003 136", "130325004 442", "130325005 235"})
        ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0);
    // Drawn offscreen when there is no display at all.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string saved = platform ? platform : "";
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const std::string item = dir.file("item.png"), search = dir.file("search.png"), partial = dir.file("partial.png");
    CliRun r = cli(dir, "overview --item 和值:10 --png " + item);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 102u);
    r = cli(dir, "search --pos 1=2 --png " + search);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(lines(r.out)[1], "130325001\t2\t5\t3\t1\t1");
    EXPECT_EQ(cli(dir, "partial --values 2,3,5 --width 2 --png " + partial).rc, 0);
    EXPECT_EQ(cli(dir, "overview --item 三同号通选：通选 --png " + item).rc, 0);
    if (!saved.empty()) setenv("QT_QPA_PLATFORM", saved.c_str(), 1);
    for (const std::string& f : {item, search, partial}) EXPECT_EQ(pngSize(f), std::make_pair(1200u, 600u)) << f;
}

TEST(CliOverview, BadInputAndUsage) {
    TempDir dir;
    EXPECT_EQ(cli(dir, "overview").rc, 1);  // an empty history
    addExample(dir);
    for (auto [args, rc] : std::vector<std::pair<std::string, int>>{
             {"overview --from 13032x", 1},
             {"overview --from 130325002 --to 130325001", 1},
             {"overview --from 130325002 --to 130325001 --item 和值:10 --png " + dir.file("x.png"), 1},
             {"overview --item 和值:2 --png " + dir.file("x.png"), 1},
             {"overview --item 和值 --png " + dir.file("x.png"), 2},
             {"overview --item 和值:10", 2},
             {"overview --png " + dir.file("x.png"), 2},
             {"overview --item 和值:10 --png " + dir.file("no/such/x.png"), 1},
             {"overview 10", 2},
             {"search --pos 1=2 --png", 2}}) {
        CliRun r = cli(dir, args);
        EXPECT_EQ(r.rc, rc) << args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
        // A reversed range is refused as the statistics refuse it, not counted as a range of no draws.
        if (args.find("--to 130325001") != std::string::npos) {
            EXPECT_NE(r.err.find("起始期号大于结束期号"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.png")));
}

}  // namespace
