#include "result_panel.h"

#include <QChart>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLegend>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>

#include "charts/omission_chart.h"
#include "grid_models.h"
#include "grid_view.h"
#include "object_names.h"
#include "search/grids.h"

namespace k3 {

namespace {

void fill(QTableView* view, GridModel* model, Grid grid) {
    view->setUpdatesEnabled(false);
    const std::vector<int> widths = grid.widths;
    model->setGrid(std::move(grid));
    setColumnWidthsInTwips(view, widths);
    view->setUpdatesEnabled(true);
}

}  // namespace

ResultPanel::ResultPanel(OneRowWheel& wheel, QWidget* parent) : QSplitter(Qt::Vertical, parent) {
    setObjectName(names::kResultPanel);
    const QString exportTip = "鼠标双击列表可以将列表导出到EXCEL";
    auto* top = new QWidget(this);
    m_matchesGrid = makeGridView(top, names::kMatchesGrid, exportTip);
    m_matchesGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // the width stays that of the columns
    m_chart = new OmissionChart(top);
    m_chart->setObjectName(names::kSearchChart);
    m_chart->setMinimumWidth(260);
    auto* beside = new QHBoxLayout(top);
    beside->setContentsMargins(0, 0, 0, 0);
    beside->setSpacing(4);
    beside->addWidget(m_matchesGrid);
    beside->addWidget(m_chart, 1);

    m_summaryGrid = makeGridView(this, names::kSummaryGrid, QString());
    m_matchesModel = new GridModel(this);
    m_summaryModel = new GridModel(this);
    m_matchesGrid->setModel(m_matchesModel);
    m_summaryGrid->setModel(m_summaryModel);
    m_summaryGrid->horizontalHeader()->setStretchLastSection(true);  // room for a ratio of 15 digits
    wheel.watch(m_matchesGrid);
    wheel.watch(m_summaryGrid);
    addWidget(top);
    addWidget(m_summaryGrid);
    setStretchFactor(0, 3);
    setStretchFactor(1, 2);

    // Empty grids show their headers in the widths a search gives them.
    showMatches(resultGridEmpty());
    showSummary(summaryGridEmpty());

    connect(m_matchesGrid, &QTableView::doubleClicked, this, &ResultPanel::matchesExportRequested);
    // The first click of a double-click on grid 3 already rewrites it (the group table sorted by the
    // column), which drops the view's pressed cell, so the view would never report the double-click.
    m_summaryGrid->viewport()->installEventFilter(this);
    connect(m_summaryGrid, &QTableView::clicked, this,
            [this](const QModelIndex& index) { emit summaryColumnClicked(index.column()); });
    connect(m_summaryGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, &ResultPanel::summaryColumnClicked);
}

bool ResultPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_summaryGrid->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        emit summaryExportRequested();
    return QSplitter::eventFilter(watched, event);
}

void ResultPanel::showMatches(Grid grid) {
    fill(m_matchesGrid, m_matchesModel, std::move(grid));
    fitMatchesWidth();
}

// Grid 2 as wide as its columns; the chart takes the rest of the row.
void ResultPanel::fitMatchesWidth() {
    int width = 2 * m_matchesGrid->frameWidth() + m_matchesGrid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < m_matchesModel->columnCount(); ++c) width += m_matchesGrid->columnWidth(c);
    m_matchesGrid->setFixedWidth(width);
}

void ResultPanel::showChart(GapSeries series) { m_chart->setSeries(std::move(series)); }
void ResultPanel::clearChart() { m_chart->clear(); }
void ResultPanel::showSummary(Grid grid) { fill(m_summaryGrid, m_summaryModel, std::move(grid)); }
const Grid& ResultPanel::matches() const { return m_matchesModel->grid(); }
const Grid& ResultPanel::summary() const { return m_summaryModel->grid(); }

}  // namespace k3
