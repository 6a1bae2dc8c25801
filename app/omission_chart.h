// The omission chart (遗漏走势图): one stem per hit at its place in the history, as high as its
// omission, the still growing last omission apart, and lines for the average, the theoretical and the
// largest omission. The wheel zooms, a drag pans, a double-click shows everything again; hovering a
// stem tells its issue and omission for as long as the pointer rests there. Zoomed out, one stem per
// pixel column shows that column's largest omission, so a history of any length draws in the same
// time; zoomed in, every hit is drawn. The legend stands right of the plot where the chart is wide,
// below it where it is narrow, its entries whole; issue labels are as many as fit whole.
#pragma once
#include <QChartView>
#include <QImage>
#include <QString>
#include <utility>
#include <vector>

#include "overview/gap_series.h"

class QCategoryAxis;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace k3 {

class OmissionChart : public QChartView {
    Q_OBJECT
public:
    explicit OmissionChart(QWidget* parent = nullptr);

    void setSeries(GapSeries series);
    void clear();
    const GapSeries& series() const { return data_; }

    // The positions shown, and the whole span of the series.
    std::pair<double, double> visibleRange() const { return {lo_, hi_}; }
    std::pair<double, double> fullRange() const { return {fullLo_, fullHi_}; }
    // Shows [lo, hi], kept inside the whole span and at least a few positions wide.
    void setVisibleRange(double lo, double hi);
    // Zooms by `factor` (below 1 zooms in) keeping the position x where it is.
    void zoomAt(double x, double factor);
    void showAll();

    // The tooltip text at a point of the view; empty where there is no stem.
    QString tooltipAt(QPoint viewPos) const;
    // Whether every visible hit has its own stem (else one stem per pixel column).
    bool drawsEveryHit() const { return everyHit_; }

    // The series as drawn, for tests and for the legend.
    QLineSeries* stems() const { return stems_; }
    QScatterSeries* tops() const { return tops_; }
    QLineSeries* lastStem() const { return last_; }
    QLineSeries* averageLine() const { return average_; }
    QLineSeries* theoreticalLine() const { return theoretical_; }
    QLineSeries* maximumLine() const { return maximum_; }
    QCategoryAxis* issueAxis() const { return axisX_; }
    QValueAxis* omissionAxis() const { return axisY_; }
    // The legend's entries shown (one per visible line), and whether it stands below the plot.
    QList<QLabel*> legendEntries() const;
    bool legendBelow() const { return legendBelow_; }

protected:
    bool viewportEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void rebuild();
    void relabel(size_t first, size_t last, double plotWidth);
    double plotWidth() const;
    double valueAt(QPoint viewPos) const;
    QPointF viewPointOf(double x, double y) const;
    QString issueLabel(int32_t issue) const;
    void fillLegend();
    void placeLegend();

    GapSeries data_;
    QCategoryAxis* axisX_;
    QValueAxis* axisY_;
    QLineSeries *stems_, *last_, *average_, *theoretical_, *maximum_;
    QScatterSeries* tops_;
    QWidget* legend_;
    std::vector<std::pair<QLineSeries*, QLabel*>> legendLabels_;
    bool legendBelow_ = false;
    double lo_ = 0, hi_ = 1, fullLo_ = 0, fullHi_ = 1;
    int builtWidth_ = -1;
    bool everyHit_ = true;
    bool dragging_ = false;
    int dragX_ = 0;
    std::pair<double, double> dragRange_;
};

// The chart of a series drawn offscreen at a fixed size.
QImage renderChart(const GapSeries& series, QSize size = {1200, 600});
// The same, written to a PNG file; false when the file cannot be written.
bool writeChartPng(const GapSeries& series, const QString& path, QSize size = {1200, 600});

}  // namespace k3
