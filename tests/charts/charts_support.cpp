#include "charts_support.h"

#include <random>

#include "qt_support.h"
#include "test_support.h"

namespace k3test {

QApplication& chartApp() { return testApp(); }

k3::Snapshot generatedSnapshot(size_t n, unsigned seed) {
    return k3::snapshotOf(generateDraws(n, 78, 130101001, 1, seed));
}

k3::GapSeries syntheticSeries(size_t n) {
    std::mt19937 rng(11);
    k3::GapSeries s;
    s.title = "测试";
    int32_t position = 0;
    for (size_t i = 0; i < n; ++i) {
        int32_t o = 1 + static_cast<int32_t>(rng() % 40);
        if (rng() % 1000 == 0) o += 200;
        position += o;
        s.hits.push_back({position, 130101001 + position, o});
    }
    s.lastOmission = 7;
    s.nextPosition = position + 7;
    int32_t maximum = 0;
    for (auto& h : s.hits) maximum = std::max(maximum, h.omission);
    s.maximum = maximum;
    s.average = static_cast<double>(position) / static_cast<double>(n);
    s.theoretical = 20;
    return s;
}

}  // namespace k3test
