// k3gap-cli end to end on a history of 1,000,000 draws, each run a new process as a user starts it:
// the import of a history text file in issue order and shuffled; of the same draws as a CSV (eleven-digit
// issues, a date column, the dice separated by commas) and as an .xlsx, beside the program's own format
// (BM_ImportShapesAgainstOwn runs the three in turn and reports the ratios of their best times); and the
// group calculation of the
// six numbers in threes beside a plain C program (baseline_group.c) that reads the issue and dice of
// every draw with the SQLite C API and counts the same 20 groups. BM_GroupAgainstC runs both in turn
// and reports the ratio of their best times.
#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"
#include "test_support.h"

namespace {

constexpr size_t kDraws = 1000000;

struct Files {
    k3test::TempDir dir;
    std::string data = dir.file("data"), config = dir.file("config");
    std::string inOrder = dir.file("in-order.txt"), shuffled = dir.file("shuffled.txt");
    std::string csv = dir.file("draws.csv"), xlsx = dir.file("draws.xlsx");
};

// The draws as a site's download gives them: 20130101001,2013-01-01,"1,3,5".
void writeCsvAndXlsx(const Files& x, const std::vector<k3::DerivedDraw>& draws) {
    std::ofstream csv(x.csv, std::ios::binary);
    csv << "期号,开奖日期,开奖号码\r\n";
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(x.xlsx.c_str(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    worksheet_write_string(sheet, 0, 0, "期号", nullptr);
    worksheet_write_string(sheet, 0, 1, "开奖日期", nullptr);
    worksheet_write_string(sheet, 0, 2, "开奖号码", nullptr);
    lxw_row_t row = 1;
    for (const auto& d : draws) {
        const std::string issue = "20" + std::to_string(d.sqqh);
        const std::string date = issue.substr(0, 4) + "-" + issue.substr(4, 2) + "-" + issue.substr(6, 2);
        const std::string dice = {d.txtHisLst[0], ',', d.txtHisLst[1], ',', d.txtHisLst[2]};
        csv << issue << ',' << date << ",\"" << dice << "\"\r\n";
        worksheet_write_number(sheet, row, 0, std::stod(issue), nullptr);
        worksheet_write_string(sheet, row, 1, date.c_str(), nullptr);
        worksheet_write_string(sheet, row, 2, dice.c_str(), nullptr);
        ++row;
    }
    if (workbook_close(book) != LXW_NO_ERROR) std::abort();
}

const Files& files() {
    static Files* f = [] {
        auto* x = new Files;
        std::filesystem::create_directories(x->data);
        std::vector<std::string> lines;
        lines.reserve(kDraws);
        const auto draws = k3test::generateDraws(kDraws);
        for (const auto& d : draws) lines.push_back(std::to_string(d.sqqh) + " " + d.txtHisLst);
        writeCsvAndXlsx(*x, draws);
        auto write = [](const std::string& path, const std::vector<std::string>& ls) {
            std::ofstream out(path, std::ios::binary);
            for (const std::string& l : ls) out << l << "\r\n";
        };
        write(x->inOrder, lines);
        std::shuffle(lines.begin(), lines.end(), std::mt19937(7));
        write(x->shuffled, lines);
        if (k3bench::runProgram({K3GAP_CLI, "--data", x->data, "import", x->inOrder}, x->config) < 0) std::abort();
        return x;
    }();
    return *f;
}

void import(benchmark::State& state, const std::string& file) {
    const Files& f = files();
    for (auto _ : state) {
        const double s = k3bench::runProgram({K3GAP_CLI, "--data", f.data, "import", file}, f.config);
        if (s < 0) state.SkipWithError("import failed");
        state.SetIterationTime(s);
    }
    k3bench::runProgram({K3GAP_CLI, "--data", f.data, "import", f.inOrder},
                        f.config);  // the history in issue order again
}

void BM_ImportInOrder1M(benchmark::State& state) { import(state, files().inOrder); }
BENCHMARK(BM_ImportInOrder1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImportShuffled1M(benchmark::State& state) { import(state, files().shuffled); }
BENCHMARK(BM_ImportShuffled1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImportCsv1M(benchmark::State& state) { import(state, files().csv); }
BENCHMARK(BM_ImportCsv1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImportXlsx1M(benchmark::State& state) { import(state, files().xlsx); }
BENCHMARK(BM_ImportXlsx1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The program's own format, the CSV and the workbook in turn, so that a busy moment of the machine falls on
// all alike: the best time of each and the ratios CSV / own format and workbook / CSV.
void BM_ImportShapesAgainstOwn(benchmark::State& state) {
    const Files& f = files();
    double own = 1e9, csv = 1e9, xlsx = 1e9;
    auto run = [&f](const std::string& file) {
        return k3bench::runProgram({K3GAP_CLI, "--data", f.data, "import", file}, f.config);
    };
    for (auto _ : state) {
        const double a = run(f.inOrder), b = run(f.csv), c = run(f.xlsx);
        if (a < 0 || b < 0 || c < 0) state.SkipWithError("an import failed");
        own = std::min(own, a);
        csv = std::min(csv, b);
        xlsx = std::min(xlsx, c);
        state.SetIterationTime(b);
    }
    state.counters["own_ms"] = own * 1000;
    state.counters["csv_ms"] = csv * 1000;
    state.counters["xlsx_ms"] = xlsx * 1000;
    state.counters["csv_over_own"] = csv / own;
    state.counters["xlsx_over_csv"] = xlsx / csv;
    run(f.inOrder);
}
BENCHMARK(BM_ImportShapesAgainstOwn)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

std::vector<std::string> groupCommand() {
    return {K3GAP_CLI, "--data", files().data, "group", "--values", "1,2,3,4,5,6", "--size", "3"};
}

void BM_GroupCli1M(benchmark::State& state) {
    for (auto _ : state) {
        const double s = k3bench::runProgram(groupCommand(), files().config);
        if (s < 0) state.SkipWithError("k3gap-cli group failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_GroupCli1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

void BM_GroupBaselineC1M(benchmark::State& state) {
    for (auto _ : state) {
        const double s = k3bench::runProgram({BASELINE_GROUP, files().data}, files().config);
        if (s < 0) state.SkipWithError("baseline_group failed");
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_GroupBaselineC1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// Both in turn, so that a busy moment of the machine falls on both alike; the ratio of the best times.
void BM_GroupAgainstC(benchmark::State& state) {
    double cli = 1e9, c = 1e9;
    for (auto _ : state) {
        const double a = k3bench::runProgram(groupCommand(), files().config),
                     b = k3bench::runProgram({BASELINE_GROUP, files().data}, files().config);
        if (a < 0 || b < 0) state.SkipWithError("a run failed");
        cli = std::min(cli, a);
        c = std::min(c, b);
        state.SetIterationTime(a);
    }
    state.counters["cli_ms"] = cli * 1000;
    state.counters["c_ms"] = c * 1000;
    state.counters["ratio"] = cli / c;
}
BENCHMARK(BM_GroupAgainstC)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

}  // namespace

BENCHMARK_MAIN();
