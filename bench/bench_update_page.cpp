// Reading update pages of awkward shapes up to the size the program accepts (64 MB): one start tag with
// millions of attributes, millions of elements, deep nesting, end tags that close nothing. Each case
// reports its time; the peak memory of the process (maxrss_mb) is that of all cases run so far, so run
// one case per process (--benchmark_filter) to read one case's memory.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "history/update_page.h"

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

}  // namespace

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
