// The hit-rate chart of the omission backtest: for one item, the share of draws that hit it by the
// item's omission before the draw (bins of its theoretical omission T), each with its 95 % interval,
// against the rate fair dice give at any omission, a flat line.
#pragma once
#include <QByteArray>
#include <QChartView>
#include <QImage>
#include <optional>

#include "stats/backtest.h"

class QCategoryAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace k3 {

class HitRateChart : public QChartView {
    Q_OBJECT
public:
    explicit HitRateChart(QWidget* parent = nullptr);

    void setData(HitRateByOmission data);
    void clear();
    const std::optional<HitRateByOmission>& data() const { return data_; }

    // The series as drawn, for tests.
    QScatterSeries* rates() const { return rates_; }
    QLineSeries* theoreticalLine() const { return theoretical_; }
    const std::vector<QLineSeries*>& intervals() const { return intervals_; }
    QCategoryAxis* omissionAxis() const { return axisX_; }

private:
    std::optional<HitRateByOmission> data_;
    QScatterSeries* rates_;
    QLineSeries* theoretical_;
    std::vector<QLineSeries*> intervals_;  // one vertical segment per bin
    QCategoryAxis* axisX_;
    QValueAxis* axisY_;
};

// The label of a bin of omissions, e.g. "8–15" or "≥40".
QString omissionBinLabel(const HitRateByOmission& data, int bin);

// The chart drawn offscreen, and as the bytes of a PNG file.
QImage renderHitRateChart(const HitRateByOmission& data, QSize size = {900, 520});
QByteArray hitRateChartPng(const HitRateByOmission& data, QSize size = {900, 520});

}  // namespace k3
