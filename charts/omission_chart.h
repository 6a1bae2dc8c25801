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
    // What the empty chart says it will show (by default: after a search).
    void setEmptyTitle(const QString& title);
    const GapSeries& series() const { return m_data; }

    // The positions shown, and the whole span of the series.
    std::pair<double, double> visibleRange() const { return {m_lo, m_hi}; }
    std::pair<double, double> fullRange() const { return {m_fullLo, m_fullHi}; }
    // Shows [lo, hi], kept inside the whole span and at least a few positions wide.
    void setVisibleRange(double lo, double hi);
    // Zooms by `factor` (below 1 zooms in) keeping the position x where it is.
    void zoomAt(double x, double factor);
    void showAll();

    // The tooltip text at a point of the view; empty where there is no stem.
    QString tooltipAt(QPoint viewPos) const;
    // Whether every visible hit has its own stem (else one stem per pixel column).
    bool drawsEveryHit() const { return m_everyHit; }

    // The series as drawn, for tests and for the legend.
    QLineSeries* stems() const { return m_stems; }
    QScatterSeries* tops() const { return m_tops; }
    QLineSeries* lastStem() const { return m_last; }
    QLineSeries* averageLine() const { return m_average; }
    QLineSeries* theoreticalLine() const { return m_theoretical; }
    QLineSeries* maximumLine() const { return m_maximum; }
    QCategoryAxis* issueAxis() const { return m_axisX; }
    QValueAxis* omissionAxis() const { return m_axisY; }
    // The legend's entries shown (one per visible line), and whether it stands below the plot.
    QList<QLabel*> legendEntries() const;
    bool legendBelow() const { return m_legendBelow; }

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

    GapSeries m_data;
    QCategoryAxis* m_axisX;
    QValueAxis* m_axisY;
    QLineSeries *m_stems, *m_last, *m_average, *m_theoretical, *m_maximum;
    QScatterSeries* m_tops;
    QWidget* m_legend;
    std::vector<std::pair<QLineSeries*, QLabel*>> m_legendLabels;
    bool m_legendBelow = false;
    double m_lo = 0, m_hi = 1, m_fullLo = 0, m_fullHi = 1;
    int m_builtWidth = -1;
    bool m_everyHit = true;
    QString m_emptyTitle = "检索后，这里显示遗漏走势";
    bool m_dragging = false;
    int m_dragX = 0;
    std::pair<double, double> m_dragRange;
};

// The chart of a series drawn offscreen at a fixed size.
QImage renderChart(const GapSeries& series, QSize size = {1200, 600});
// The same, written to a PNG file; false when the file cannot be written.
bool writeChartPng(const GapSeries& series, const QString& path, QSize size = {1200, 600});

}  // namespace k3
