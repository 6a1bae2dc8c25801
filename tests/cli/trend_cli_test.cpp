// k3gap-cli trend: the chart as text, the newest N draws, the refusals, the workbook and the picture.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli_runner.h"
#include "test_support.h"

namespace {

using k3test::CliRun;
using k3test::TempDir;

CliRun cli(const TempDir& dir, const std::string& args) {
    return k3test::runCli(dir.path().string(), dir.file("config"), args);
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t end; (end = text.find(sep, at)) != std::string::npos; at = end + 1)
        out.push_back(text.substr(at, end - at));
    if (sep != '\n') out.push_back(text.substr(at));
    return out;
}

// The manual's nine draws.
void addNine(const TempDir& dir) {
    for (const char* d : {"130325001 253", "130325002 146", "130325003 665", "130325004 314", "130325005 551",
                          "130325006 426", "130325007 336", "130325008 112", "130325009 645"})
        ASSERT_EQ(cli(dir, std::string("add ") + d).rc, 0);
}

// Column `name` of the printed chart, top to bottom, the header left out.
std::vector<std::string> column(const std::string& out, const std::string& name) {
    auto rows = split(out, '\n');
    auto header = split(rows.at(0), '\t');
    const size_t c = size_t(std::find(header.begin(), header.end(), name) - header.begin());
    std::vector<std::string> cells;
    for (size_t r = 1; r < rows.size(); ++r) cells.push_back(split(rows[r], '\t').at(c));
    return cells;
}

TEST(CliTrend, PrintsTheChartOfTheRange) {
    TempDir dir;
    addNine(dir);
    CliRun r = cli(dir, "trend");
    ASSERT_EQ(r.rc, 0) << r.err;
    auto rows = split(r.out, '\n');
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(rows[0].substr(0, rows[0].find("\t和值4")), "期号\t开奖号码\t和值\t和值3");
    EXPECT_EQ(split(rows[0], '\t').size(), 39u);
    EXPECT_EQ(rows[1].substr(0, 20), "130325001\t253\t10\t1\t1");
    EXPECT_EQ(column(r.out, "号码2"),
              (std::vector<std::string>{"*1", "1", "2", "3", "4", "*5", "1", "*2", "1", "3", "2.67", "5", "1"}));
    EXPECT_EQ(column(r.out, "三同号").back(), "0");  // 最大连出
    EXPECT_EQ(rows[10].rfind("出现次数\t\t\t0\t1\t0", 0), 0u) << rows[10];
    // From a draw in the middle: the first omission counts from the draw before it.
    r = cli(dir, "trend --from 130325004 --to 130325008");
    EXPECT_EQ(column(r.out, "号码2"), (std::vector<std::string>{"1", "2", "*3", "1", "*2", "2", "2.50", "3", "1"}));
    // A start that is not a stored issue counts from the beginning of the history.
    r = cli(dir, "trend --from 130325000 --to 130325002");
    EXPECT_EQ(column(r.out, "号码1"), (std::vector<std::string>{"1", "*2", "1", "2.00", "2", "1"}));
}

TEST(CliTrend, TheNewestDraws) {
    TempDir dir;
    addNine(dir);
    CliRun r = cli(dir, "trend --last 1");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(split(r.out, '\n').size(), 6u);
    EXPECT_EQ(column(r.out, "号码2"), (std::vector<std::string>{"1", "0", "", "1", "0"}));  // counts from draw 8
    // --last overrides the range; more than the history is all of it.
    EXPECT_EQ(cli(dir, "trend --from 130325001 --to 130325002 --last 3").out, cli(dir, "trend --last 3").out);
    EXPECT_EQ(cli(dir, "trend --last 100").out, cli(dir, "trend").out);
    EXPECT_EQ(column(cli(dir, "trend --last 3").out, "期号").front(), "130325007");
}

TEST(CliTrend, Refusals) {
    TempDir dir;
    CliRun r = cli(dir, "trend");  // an empty history
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(cli(dir, "trend --last 5").rc, 1);
    addNine(dir);
    for (auto [args, rc] : std::vector<std::pair<std::string, int>>{{"trend --last 0", 1},
                                                                    {"trend --last -2", 1},
                                                                    {"trend --last 1.5", 1},
                                                                    {"trend --last abc", 1},
                                                                    {"trend --from 130325009 --to 130325001", 1},
                                                                    {"trend --from 130326001 --to 130326050", 1},
                                                                    {"trend --from 1303x", 1},
                                                                    {"trend --xlsx " + dir.file("gapbook.db"), 1},
                                                                    {"trend --last", 2},
                                                                    {"trend 5", 2},
                                                                    {"trend --rows 5", 2}}) {
        r = cli(dir, args);
        EXPECT_EQ(r.rc, rc) << args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
    EXPECT_EQ(cli(dir, "trend --last 1").rc, 0);  // the database is still there and whole
}

TEST(CliTrend, WorkbookAndPicture) {
    TempDir dir;
    addNine(dir);
    const std::string book = dir.file("Zoushi.xlsx"), png = dir.file("trend.png");
    CliRun r = cli(dir, "trend --xlsx " + book);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_GT(std::filesystem::file_size(book), 1000u);

    // Drawn offscreen when there is no display at all.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string saved = platform ? platform : "";
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    r = cli(dir, "trend --last 5 --png " + png);
    if (!saved.empty()) setenv("QT_QPA_PLATFORM", saved.c_str(), 1);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(split(r.out, '\n').size(), 10u);  // printed as well
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.height(), 40 + 5 * 22 + 4 * 22);
    // Not blank: the balls' colours are there, not only white and greys.
    int coloured = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            coloured += c.saturation() > 120 && c.value() > 100;
        }
    EXPECT_GT(coloured, 500);

    // A picture of more draws than it can hold is refused, before anything is printed or written.
    TempDir big;
    k3::HistoryStore(big.file("gapbook.db")).append(k3test::generateDraws(1001));
    r = cli(big, "trend --png " + big.file("all.png"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("1001"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(big.file("all.png")));
    EXPECT_EQ(cli(big, "trend --last 1000 --png " + big.file("all.png")).rc, 0);
}

}  // namespace

namespace {

// A history long enough that its workbook takes a moment.
void addMany(const TempDir& dir, size_t n) {
    std::string text;
    for (const auto& d : k3test::generateDraws(n)) text += std::to_string(d.sqqh) + " " + d.txtHisLst + "\n";
    std::ofstream(dir.file("many.txt")) << text;
    ASSERT_EQ(cli(dir, "import '" + dir.file("many.txt") + "'").rc, 0);
}

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

}  // namespace

// The workbook of a long chart: stopped by a signal with nothing written, not even its side files; the
// rows written so far shown on a terminal only.
TEST(CliTrend, ALongWorkbookCanBeStoppedAndShowsProgressOnATerminal) {
    TempDir dir;
    addMany(dir, 60000);
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    const std::string run = "XDG_CONFIG_HOME='" + dir.file("config") + "' '" K3GAP_CLI "' --data '" +
                            dir.path().string() + "' trend --xlsx '" + out + "/Zoushi.xlsx'";
    // Stopped once it has begun its file (a hidden side file beside the target).
    std::ofstream(dir.file("stop.sh")) << run << " 2>'" << dir.file("err") << "' &\n"
                                       << "pid=$!\n"
                                       << "for i in $(seq 1000); do ls -A '" << out
                                       << "' | grep -q . && break; sleep 0.01; done\n"
                                       << "kill -TERM $pid; wait $pid; echo $? >'" << dir.file("rc") << "'\n";
    ASSERT_EQ(std::system(("sh '" + dir.file("stop.sh") + "'").c_str()), 0);
    EXPECT_EQ(slurp(dir.file("rc")), "1\n") << slurp(dir.file("err"));
    EXPECT_NE(slurp(dir.file("err")).find("已取消导出走势图，未写入"), std::string::npos) << slurp(dir.file("err"));
    EXPECT_TRUE(std::filesystem::is_empty(out));
    // Without a terminal the messages stay as they were; on one, the rows go by.
    CliRun plain = cli(dir, "trend --last 300 --xlsx '" + out + "/a.xlsx'");
    EXPECT_EQ(plain.rc, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    const std::string onTerminal = dir.file("tty");
    ASSERT_EQ(std::system(("script -qec \"" + run + "\" /dev/null >'" + onTerminal + "' 2>&1").c_str()), 0);
    const std::string shown = slurp(onTerminal);
    EXPECT_NE(shown.find("走势图工作簿：已写 0/60000 期"), std::string::npos) << shown;
    EXPECT_NE(shown.find("正在压缩成文件"), std::string::npos) << shown;
    EXPECT_TRUE(std::filesystem::exists(out + "/Zoushi.xlsx"));
}
