// Reading update pages of awkward shapes up to the size the program accepts (64 MB): one start tag with
// millions of attributes, millions of elements, deep nesting, end tags that close nothing. Each case
// reports its time; the peak memory of the process (maxrss_mb) is that of all cases run so far, so run
// one case per process (--benchmark_filter) to read one case's memory. And the pages result services
// serve, 5,000 draws each, read to the draws as an update reads them: a JSON answer and an HTML table with
// the dice as elements of one cell.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "history/online_update.h"
#include "history/update_page.h"
#include "store/issue.h"

using namespace k3;

namespace {

constexpr size_t kMaxPage = 64u << 20;

std::string repeatTo(const std::string& head, const std::string& unit, const std::string& tail, size_t bytes) {
    std::string s = head;
    s.reserve(bytes);
    while (s.size() + unit.size() + tail.size() <= bytes) s += unit;
    return s + tail;
}

std::string page(int shape, size_t bytes) {
    switch (shape) {
        case 0: {  // one tag with many attributes
            std::string s = "<html><body><p";
            s.reserve(bytes);
            for (size_t i = 0; s.size() + 40 < bytes; ++i) s += " a" + std::to_string(i) + "=x";
            return s + ">1303250782,5,3</p></body></html>";
        }
        case 1: return repeatTo("<html><body>", "<b>1</b>", "</body></html>", bytes);               // many elements
        case 2: return repeatTo("<html><body>", "<div>", "1303250782,5,3", bytes);                  // deep nesting
        case 3: return repeatTo("<html><body>" + std::string(1 << 20, ' '), "<i></p>", "", bytes);  // unmatched
        case 4: return repeatTo("<html><body>", "<div a=\"1\" b='2'>x", "", bytes);                 // deep, attributes
        default: {  // end tags of an element deep below blocks they may not close
            std::string head = "<html><body><p>";
            for (int i = 0; i < 1000; ++i) head += "<div>";
            return repeatTo(head, "</p>", "", bytes);
        }
    }
}

void BM_PageText(benchmark::State& state) {
    const std::string body = page(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
    const FetchedPage p{body, "text/html; charset=utf-8"};
    for (auto _ : state) benchmark::DoNotOptimize(pageText(p));
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    state.counters["maxrss_mb"] = static_cast<double>(ru.ru_maxrss) / 1024.0;
    state.counters["page_mb"] = static_cast<double>(body.size()) / (1 << 20);
}

constexpr int kPageDraws = 5000;

// 5,000 draws of 78 a day from 2019-10-01 on, each as `row(issue11, date, dice)`.
template <class Row>
std::string drawsPage(const std::string& head, const std::string& tail, Row row) {
    std::string s = head;
    int64_t issue = 191001001;
    for (int i = 0; i < kPageDraws; ++i) {
        const std::string text = "20" + std::to_string(issue);
        const std::string date = text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2);
        const std::string dice{char('1' + i % 6), char('1' + (i / 6) % 6), char('1' + (i / 36) % 6)};
        s += row(text, date, dice, i);
        issue = nextIssue(issue, 78, false);
    }
    return s + tail;
}

void readDraws(benchmark::State& state, const FetchedPage& page) {
    size_t found = 0;
    for (auto _ : state) {
        UpdatePlan plan = planUpdate(
            191000999, false, 78, 6,
            std::chrono::year_month_day{std::chrono::year{2019}, std::chrono::month{12}, std::chrono::day{31}});
        const auto draws = parsePage(readPage(page), plan, 1);
        found = draws.size();
        benchmark::DoNotOptimize(draws.data());
    }
    if (found != kPageDraws) state.SkipWithError(("read " + std::to_string(found) + " draws").c_str());
    state.counters["draws"] = static_cast<double>(found);
    state.counters["page_kb"] = static_cast<double>(page.body.size()) / 1024;
}

void BM_JsonPage5000(benchmark::State& state) {
    const std::string body = drawsPage("{\"code\":0,\"data\":[", "]}", [](auto& issue, auto& date, auto& dice, int i) {
        return std::string(i ? "," : "") + "{\"expect\":\"" + issue + "\",\"opencode\":\"" + dice[0] + "," + dice[1] +
               "," + dice[2] + "\",\"opentime\":\"" + date + " 08:40:00\"}";
    });
    readDraws(state, {body, "application/json"});
}

void BM_TablePage5000(benchmark::State& state) {
    const std::string body = drawsPage(
        "<html><body><table><tr><th>开奖时间</th><th>期号</th><th>开奖号码</th><th>和值</th></tr>",
        "</table></body></html>", [](auto& issue, auto& date, auto& dice, int) {
            return "<tr><td>" + date + " 08:40</td><td>" + issue + "</td><td><span class=\"ball\">" + dice[0] +
                   "</span><span class=\"ball\">" + dice[1] + "</span><span class=\"ball\">" + dice[2] +
                   "</span></td><td>" + std::to_string(dice[0] + dice[1] + dice[2] - 3 * '0') + "</td></tr>\n";
        });
    readDraws(state, {body, "text/html; charset=utf-8"});
}

}  // namespace

BENCHMARK(BM_JsonPage5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TablePage5000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PageText)
    ->ArgNames({"shape", "bytes"})
    ->Args({0, 900 * 1024})
    ->Args({0, 15 << 20})
    ->Args({0, kMaxPage})
    ->Args({1, 60 << 20})
    ->Args({1, kMaxPage})
    ->Args({2, kMaxPage})
    ->Args({3, kMaxPage})
    ->Args({4, kMaxPage})
    ->Args({5, kMaxPage})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
