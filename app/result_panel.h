// The result panel: result grid 2 (one row per match of a search) with the omission chart of the
// search beside it, above result grid 3 (the summary of a search or the group table). A click on a
// column of grid 3 asks for the group table sorted by it.
#pragma once
#include <QSplitter>

#include "overview/gap_series.h"
#include "store/grid.h"

class QTableView;

namespace k3 {

class GridModel;
class OmissionChart;
class OneRowWheel;

class ResultPanel : public QSplitter {
    Q_OBJECT

public:
    explicit ResultPanel(OneRowWheel& wheel, QWidget* parent = nullptr);

    // Fills a grid, hidden from repainting meanwhile, with the grid's column widths.
    void showMatches(Grid grid);
    void showSummary(Grid grid);
    const Grid& matches() const;
    const Grid& summary() const;
    // The chart of the gaps listed in grid 2; cleared when there is none.
    void showChart(GapSeries series);
    void clearChart();

signals:
    void summaryColumnClicked(int column);
    void matchesExportRequested();
    void summaryExportRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitMatchesWidth();

    QTableView* m_matchesGrid = nullptr;
    OmissionChart* m_chart = nullptr;
    QTableView* m_summaryGrid = nullptr;
    GridModel* m_matchesModel = nullptr;
    GridModel* m_summaryModel = nullptr;
};

}  // namespace k3
