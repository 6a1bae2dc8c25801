// The trend-chart window (走势图): one row per draw of the newest 30…500 draws, the search range or the
// whole history, the hits as coloured balls. Not modal: it follows the history and the range it is
// given, and a double-click writes "Zoushi.xlsx". The chart is drawn on one viewport (no widget per
// cell) from the cells of the rows in view; the work over the whole range runs in the background.
#pragma once
#include <QAbstractScrollArea>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "analysis_window.h"
#include "background_task.h"
#include "charts/trend_painter.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace k3 {

class TaskControl;

// The painted chart with its scroll bars; the header, the left columns and the statistic rows stay in
// place.
class TrendView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TrendView(QWidget* parent = nullptr);
    // Shows a chart; `toNewest` scrolls to its last row.
    void setChart(std::shared_ptr<const TrendChart> chart, bool toNewest);
    const std::shared_ptr<const TrendChart>& chart() const { return m_chart; }
    void setOptions(const TrendPaintOptions& options);
    const TrendPaintOptions& options() const { return m_options; }
    // Scrolls so that the row is in view.
    void scrollToRow(size_t row);
    bool atNewest() const;
    // The row and item column at a point of the viewport: row -1 for the header, rowCount().. for the
    // statistic rows; column -1 for the left columns.
    struct Spot {
        long long row = -1;
        int column = -1;
    };
    std::optional<Spot> spotAt(QPoint at) const;
    // The viewport point at the centre of a cell of the body (for tests and the tooltip), when in view.
    std::optional<QPoint> cellCentre(size_t row, int column) const;
    QString toolTipAt(QPoint at) const;

signals:
    void cellDoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // One notch of the vertical wheel moves one row, as in the history grid; small steps add up.
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateBars();
    int bodyHeight() const;

    TrendGeometry m_geometry;
    std::shared_ptr<const TrendChart> m_chart;
    TrendPaintOptions m_options;
    std::vector<TrendCell> m_cells;
    int m_wheelSteps = 0;  // angle delta of the vertical wheel not yet making a notch
};

class TrendWindow : public AnalysisWindow {
    Q_OBJECT
public:
    explicit TrendWindow(QString dataDir, QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Writes the chart to "Zoushi.xlsx" in the data folder (in the background) and opens it.
    void exportWorkbook();

    TrendView* view() const { return m_view; }
    QComboBox* rowsChoice() const { return m_rows; }
    // The chart shown; null before the first is made.
    std::shared_ptr<const TrendChart> chart() const { return m_view->chart(); }
    // The chart being made or the workbook being written.
    bool busy() const override { return m_charts.running() || m_exporting; }

signals:
    // A new chart is shown.
    void chartShown();

private:
    void recompute() override;
    void applyOptions();

    NewestRequest m_charts{this};  // the chart asked for last; older ones are dropped
    bool m_exporting = false;
    std::shared_ptr<TaskControl> m_export;  // the workbook being written
    QComboBox* m_rows;
    QCheckBox* m_showOmission;
    QCheckBox* m_layers;
    QCheckBox* m_line;
    TrendView* m_view;
};

}  // namespace k3
