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
    const std::optional<HitRateByOmission>& data() const { return m_data; }

    // The series as drawn, for tests.
    QScatterSeries* rates() const { return m_rates; }
    QLineSeries* theoreticalLine() const { return m_theoretical; }
    const std::vector<QLineSeries*>& intervals() const { return m_intervals; }
    QCategoryAxis* omissionAxis() const { return m_axisX; }

private:
    std::optional<HitRateByOmission> m_data;
    QScatterSeries* m_rates;
    QLineSeries* m_theoretical;
    std::vector<QLineSeries*> m_intervals;  // one vertical segment per bin
    QCategoryAxis* m_axisX;
    QValueAxis* m_axisY;
};

// The label of a bin of omissions, e.g. "8–15" or "≥40".
QString omissionBinLabel(const HitRateByOmission& data, int bin);

// The chart drawn offscreen, and as the bytes of a PNG file.
QImage renderHitRateChart(const HitRateByOmission& data, QSize size = {900, 520});
QByteArray hitRateChartPng(const HitRateByOmission& data, QSize size = {900, 520});

}  // namespace k3
