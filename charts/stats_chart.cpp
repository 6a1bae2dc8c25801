#include "charts/stats_chart.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QGraphicsLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "overview/overview.h"
#include "stats/stats_range.h"

namespace k3 {

namespace {

// The points, their intervals and the theory each in a colour of its own, in the chart and its legend.
const QColor kRateColour(0x1f, 0x77, 0xb4);
const QColor kIntervalColour(0x8c, 0x8c, 0x8c);
const QColor kTheoryColour(0xd6, 0x27, 0x28);

// The smallest omission of bin j: ⌈j × 216 / c⌉, at least 1.
int64_t binStart(const HitRateByOmission& d, int j) {
    const int64_t c = std::llround(d.theoretical * kOutcomeCount);
    return std::max<int64_t>(1, (int64_t{j} * kOutcomeCount + c - 1) / c);
}

}  // namespace

QString omissionBinLabel(const HitRateByOmission& data, int bin) {
    const int64_t lo = binStart(data, bin);
    if (bin >= kOmissionBins - 1) return QString("≥%1").arg(lo);
    const int64_t hi = binStart(data, bin + 1) - 1;
    return lo == hi ? QString::number(lo) : QString("%1–%2").arg(lo).arg(hi);
}

HitRateChart::HitRateChart(QWidget* parent) : QChartView(new QChart, parent) {
    QChart* chart = this->chart();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    setRenderHint(QPainter::Antialiasing, true);
    setMinimumSize(320, 220);

    m_axisX = new QCategoryAxis(chart);
    m_axisX->setTitleText("下注前的遗漏（期）");
    m_axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    m_axisX->setRange(0, kOmissionBins);
    m_axisY = new QValueAxis(chart);
    m_axisY->setTitleText("命中率（%）");
    m_axisY->setLabelFormat("%.1f");
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);

    for (int j = 0; j < kOmissionBins; ++j) {
        auto* s = new QLineSeries(chart);
        s->setPen(QPen(kIntervalColour, 2));
        s->setName("95% 区间");
        chart->addSeries(s);
        m_intervals.push_back(s);
    }
    m_rates = new QScatterSeries(chart);
    m_rates->setName("实际命中率");
    m_rates->setColor(kRateColour);
    m_rates->setBorderColor(kRateColour);
    m_rates->setMarkerSize(10);
    chart->addSeries(m_rates);
    m_theoretical = new QLineSeries(chart);
    m_theoretical->setName("理论命中率");
    m_theoretical->setPen(QPen(kTheoryColour, 2, Qt::DashLine));
    chart->addSeries(m_theoretical);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }
    for (size_t j = 1; j < m_intervals.size(); ++j)
        for (QLegendMarker* m : chart->legend()->markers(m_intervals[j])) m->setVisible(false);
    clear();
}

void HitRateChart::clear() {
    m_data.reset();
    chart()->setTitle("选中一行，这里显示该号码按遗漏分段的命中率");
    for (QLineSeries* s : m_intervals) s->clear();
    m_rates->clear();
    m_theoretical->clear();
    for (const QString& l : m_axisX->categoriesLabels()) m_axisX->remove(l);
    m_axisX->setVisible(false);
    m_axisY->setVisible(false);
    chart()->legend()->setVisible(false);
}

void HitRateChart::setData(HitRateByOmission data) {
    clear();
    m_data = std::move(data);
    const HitRateByOmission& d = *m_data;
    chart()->setTitle(QString::fromStdString(d.title) +
                      QString("：遗漏多久之后下注，命中率是否更高（理论遗漏 %1 期）").arg(d.T, 0, 'f', 2));
    double top = 100 * d.theoretical;
    for (int j = 0; j < kOmissionBins; ++j) {
        const OmissionBin& b = d.bins[static_cast<size_t>(j)];
        m_axisX->append(omissionBinLabel(d, j) + QString("（%1次）").arg(b.draws), j + 1);
        if (b.draws == 0) continue;
        const double x = j + 0.5;
        const Interval w = wilsonInterval(b.hits, b.draws);
        m_rates->append(x, 100.0 * static_cast<double>(b.hits) / static_cast<double>(b.draws));
        m_intervals[static_cast<size_t>(j)]->append(x, 100 * w.lower);
        m_intervals[static_cast<size_t>(j)]->append(x, 100 * w.upper);
        top = std::max(top, 100 * w.upper);
    }
    m_theoretical->append(0, 100 * d.theoretical);
    m_theoretical->append(kOmissionBins, 100 * d.theoretical);
    m_axisX->setStartValue(0);
    m_axisX->setRange(0, kOmissionBins);
    m_axisY->setRange(0, top * 1.1);
    m_axisX->setVisible(true);
    m_axisY->setVisible(true);
    chart()->legend()->setVisible(true);
}

QImage renderHitRateChart(const HitRateByOmission& data, QSize size) {
    HitRateChart view;
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.setFrameShape(QFrame::NoFrame);
    view.resize(size);
    view.setData(data);
    view.show();
    view.chart()->layout()->activate();
    return view.grab().toImage();
}

QByteArray hitRateChartPng(const HitRateByOmission& data, QSize size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    renderHitRateChart(data, size).save(&buffer, "PNG");
    return bytes;
}

}  // namespace k3
