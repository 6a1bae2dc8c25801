#include "overview_window.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "charts/omission_chart.h"
#include "grid_view.h"
#include "overview/gap_series.h"
#include "window_fit.h"

namespace k3 {

// The table's cells as texts, in the order shown.
class OverviewModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setGrid(Grid g) {
        beginResetModel();
        m_grid = std::move(g);
        endResetModel();
    }
    const Grid& grid() const { return m_grid; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_grid.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kOverviewColumns; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::TextAlignmentRole)
            return index.column() < 2 ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole) return {};
        return QString::fromStdString(
            m_grid.rows[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())]);
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
            return QAbstractTableModel::headerData(section, o, role);
        // The title, and on hover what the column is.
        static const std::vector<std::string> header = overviewHeader();
        static const std::vector<std::string> tips = overviewHeaderTips();
        if (section < 0 || section >= kOverviewColumns) return QVariant();
        if (role == Qt::DisplayRole) return QString::fromStdString(header[size_t(section)]);
        // As rich text, so that a long tip wraps instead of running past a small screen's edge.
        return QString("<p>%1</p>").arg(QString::fromStdString(tips[size_t(section)]).toHtmlEscaped());
    }

private:
    Grid m_grid;
};

OverviewWindow::OverviewWindow(QString dataDir, QWidget* parent)
    : AnalysisWindow(std::move(dataDir), "frmOverview", "遗漏总表", "lblOverviewStatus", parent) {
    m_model = new OverviewModel(this);
    m_view = makeResultTable(
        m_model, "单击列标题按该列排序（再单击反序），双击表格导出到 Zongbiao.xlsx，选中一行显示其遗漏走势图");
    m_view->setObjectName("gridOverview");
    m_view->horizontalHeader()->setResizeContentsPrecision(-1);

    m_chart = new OmissionChart;
    m_chart->setObjectName("chartOverview");
    m_chart->setEmptyTitle("选中一行，这里显示该号码的遗漏走势");

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_view);
    split->addWidget(m_chart);
    split->setSizes({340, 400});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(split, 1);
    layout->addWidget(m_status);
    fitWindowIntoItsScreen(*this, {900, 760});

    connect(m_view->horizontalHeader(), &QHeaderView::sectionClicked, this, &OverviewWindow::sortBy);
    connect(m_view, &QTableView::doubleClicked, this, &OverviewWindow::exportWorkbook);
    m_view->viewport()->installEventFilter(this);
    m_rowMenu = new QMenu(this);
    m_rowMenu->setObjectName("mnuOverviewRow");
    QAction* watch = m_rowMenu->addAction("加入遗漏提醒");
    watch->setObjectName("mnuAddToWatch");
    connect(watch, &QAction::triggered, this, [this] {
        if (m_menuItem >= 0) emit watchRequested(m_menuItem);
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const int row = current.isValid() ? current.row() : -1;
                m_selectedItem = row >= 0 && size_t(row) < m_order.size() ? m_order[size_t(row)] : -1;
                showChart();
            });
}

// The table is made in the background; only the newest request's table is shown.
void OverviewWindow::recompute() {
    const std::shared_ptr<const Snapshot> snap = snapshot();
    if (!snap) {
        m_tables.supersede();
        showTable(std::nullopt, "还没有打开历史数据库");
        return;
    }
    m_tables.run([snap, from = from().toStdString(),
                  to = to().toStdString()](TaskControl&) { return computeOverview(*snap, from, to); },
                 [this](TaskOutcome<OverviewTable>& outcome) {
                     std::optional<OverviewTable> table;
                     if (!outcome.failed()) table = std::move(outcome.value());
                     showTable(std::move(table), outcome.errorText());
                 });
}

void OverviewWindow::showTable(std::optional<OverviewTable> table, const QString& error) {
    m_valid = table.has_value();
    m_table = table ? std::move(*table) : OverviewTable{};
    showRows();
    if (!m_valid)
        tellState(error, true);
    else
        tellState(QString("遗漏总表：检索范围 %1～%2，共 %3 期").arg(from(), to()).arg(m_table.draws), false);
}

void OverviewWindow::showRows(bool sorted) {
    m_order.clear();
    if (m_valid) {
        if (m_sortColumn >= 0) {
            m_order = overviewOrder(m_table, m_sortColumn, m_descending);
        } else {
            for (size_t i = 0; i < m_table.rows.size(); ++i) m_order.push_back(int(i));
        }
    }
    const int keep = m_selectedItem;
    m_model->setGrid(m_valid ? overviewGrid(m_table, m_order) : Grid{overviewHeader(), {}, {}});
    if (!sorted) fitColumns();
    // The selected item stays selected wherever the new order puts it; a sort shows the first rows.
    m_selectedItem = -1;
    auto row = std::find(m_order.begin(), m_order.end(), keep);
    if (keep >= 0 && row != m_order.end()) {
        const QModelIndex index = m_model->index(int(row - m_order.begin()), 0);
        m_view->selectionModel()->setCurrentIndex(index,
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (!sorted) m_view->scrollTo(index);
    }
    if (sorted) m_view->scrollToTop();
    if (m_selectedItem < 0) m_chart->clear();
}

// Widths from every row, not only those in view, with room for the sort arrow; they only ever grow, so
// a sort or a new table never moves a column under the pointer. The last column is left to stretch over
// the rest of the row: kept as it was stretched, it would grow by an arrow's room with every table.
void OverviewWindow::fitColumns() {
    QHeaderView* header = m_view->horizontalHeader();
    const int arrow = header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 8;
    const int columns = m_model->columnCount() - 1;
    std::vector<int> before(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) before[static_cast<size_t>(c)] = m_columnsFitted ? header->sectionSize(c) : 0;
    m_view->resizeColumnsToContents();
    for (int c = 0; c < columns; ++c)
        header->resizeSection(c, std::max(before[static_cast<size_t>(c)], header->sectionSize(c) + arrow));
    m_columnsFitted = true;
}

void OverviewWindow::showChart() {
    if (!m_valid || m_selectedItem < 0) {
        m_chart->clear();
        return;
    }
    try {
        GapSeries series = itemGapSeries(*snapshot(), from().toStdString(), to().toStdString(), m_selectedItem);
        series.runningNumbers = runningNumbers();
        m_chart->setSeries(std::move(series));
    } catch (const std::exception& e) {
        m_chart->clear();
        say(QString::fromUtf8(e.what()), true);
    }
}

void OverviewWindow::sortBy(int column) {
    if (column < 0 || column >= kOverviewColumns) return;
    m_descending = column == m_sortColumn ? !m_descending : false;
    m_sortColumn = column;
    m_view->horizontalHeader()->setSortIndicatorShown(true);
    m_view->horizontalHeader()->setSortIndicator(column, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    showRows(true);
}

void OverviewWindow::exportWorkbook() {
    if (!m_valid) {
        say("遗漏总表是空的，没有导出", true);
        return;
    }
    exportGrid(m_model->grid(), "Zongbiao.xlsx");
}

// A right-click on a row opens its menu (加入遗漏提醒); on the release, as the history grid's does.
bool OverviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = m_view->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::RightButton && index.isValid() &&
            static_cast<size_t>(index.row()) < m_order.size()) {
            m_menuItem = m_table.rows[static_cast<size_t>(m_order[static_cast<size_t>(index.row())])].item;
            m_rowMenu->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace k3
