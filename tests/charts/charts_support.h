// The application object of the chart tests (offscreen platform) and a history to chart.
#pragma once
#include <QApplication>

#include "overview/gap_series.h"
#include "store/snapshot.h"

namespace k3test {

QApplication& chartApp();

// A snapshot of n generated draws, ranked 1..n.
k3::Snapshot generatedSnapshot(size_t n, unsigned seed = 5);

// A series of n hits with omissions 1..40 (a few far longer), positions from 1 up, issues 130101001 + position.
k3::GapSeries syntheticSeries(size_t n);

}  // namespace k3test
