#include "overview_window.h"

#include <QAbstractTableModel>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "export/workbook.h"
#include "omission_chart.h"
#include "overview/gap_series.h"

namespace k3 {

// The table's cells as texts, in the order shown.
class OverviewModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setGrid(Grid g) {
        beginResetModel();
        grid_ = std::move(g);
        endResetModel();
    }
    const Grid& grid() const { return grid_; }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(grid_.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kOverviewColumns; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::TextAlignmentRole)
            return index.column() < 2 ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole) return {};
        return QString::fromStdString(
            grid_.rows[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())]);
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, o, role);
        static const std::vector<std::string> header = overviewHeader();
        return section >= 0 && section < kOverviewColumns ? QString::fromStdString(header[size_t(section)])
                                                          : QVariant();
    }

private:
    Grid grid_;
};

OverviewWindow::OverviewWindow(QString dataDir, QWidget* parent) : QWidget(parent), dataDir_(std::move(dataDir)) {
    setWindowFlag(Qt::Window);
    setObjectName("frmOverview");
    setWindowTitle("遗漏总表");
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    model_ = new OverviewModel(this);
    view_ = new QTableView;
    view_->setObjectName("gridOverview");
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setSectionsClickable(true);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->horizontalHeader()->setResizeContentsPrecision(-1);
    view_->setToolTip("单击列标题按该列排序（再单击反序），双击表格导出到 Zongbiao.xlsx，选中一行显示其遗漏走势图");

    chart_ = new OmissionChart;
    chart_->setObjectName("chartOverview");
    status_ = new QLabel;
    status_->setObjectName("lblOverviewStatus");

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(view_);
    split->addWidget(chart_);
    split->setSizes({340, 400});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(split, 1);
    layout->addWidget(status_);
    // 900 x 760 where the screen's free area holds it with room for a frame, else that area.
    const QRect available = screen() ? screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
    resize(std::min(900, available.width() - 16), std::min(760, available.height() - 40));

    connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this, &OverviewWindow::sortBy);
    connect(view_, &QTableView::doubleClicked, this, &OverviewWindow::exportWorkbook);
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        const int row = current.isValid() ? current.row() : -1;
        selectedItem_ = row >= 0 && size_t(row) < order_.size() ? order_[size_t(row)] : -1;
        showChart();
    });
}

void OverviewWindow::setHistory(std::shared_ptr<const Snapshot> snap) {
    snap_ = std::move(snap);
    recompute();
}

void OverviewWindow::setRange(const QString& from, const QString& to) {
    from_ = from;
    to_ = to;
    recompute();
}

void OverviewWindow::setHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to) {
    snap_ = std::move(snap);
    from_ = from;
    to_ = to;
    recompute();
}

void OverviewWindow::say(const QString& text, bool warning) {
    status_->setText(text);
    emit message(text, warning);
}

void OverviewWindow::tellState(const QString& text, bool failed) {
    status_->setText(text);
    // Only an open window speaks up: when the table cannot be made, and when it can be again.
    if (isVisible() && (failed || failed_)) emit message(text, failed);
    failed_ = failed;
}

void OverviewWindow::recompute() {
    std::optional<OverviewTable> table;
    QString error;
    try {
        if (!snap_) throw AnalysisError("还没有打开历史数据库");
        table = computeOverview(*snap_, from_.toStdString(), to_.toStdString());
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    showComputed(snap_, from_, to_, std::move(table), error);
}

void OverviewWindow::showComputed(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to,
                                  std::optional<OverviewTable> table, const QString& error) {
    snap_ = std::move(snap);
    from_ = from;
    to_ = to;
    valid_ = table.has_value();
    table_ = table ? std::move(*table) : OverviewTable{};
    if (!valid_) {
        showRows();
        tellState(error, true);
        return;
    }
    showRows();
    tellState(QString("遗漏总表：检索范围 %1～%2，共 %3 期").arg(from_, to_).arg(table_.draws), false);
}

void OverviewWindow::showRows(bool sorted) {
    order_.clear();
    if (valid_) {
        if (sortColumn_ >= 0) {
            order_ = overviewOrder(table_, sortColumn_, descending_);
        } else {
            for (size_t i = 0; i < table_.rows.size(); ++i) order_.push_back(int(i));
        }
    }
    const int keep = selectedItem_;
    model_->setGrid(valid_ ? overviewGrid(table_, order_) : Grid{overviewHeader(), {}, {}});
    if (!sorted) fitColumns();
    // The selected item stays selected wherever the new order puts it; a sort shows the first rows.
    selectedItem_ = -1;
    auto row = std::find(order_.begin(), order_.end(), keep);
    if (keep >= 0 && row != order_.end()) {
        const QModelIndex index = model_->index(int(row - order_.begin()), 0);
        view_->selectionModel()->setCurrentIndex(index,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (!sorted) view_->scrollTo(index);
    }
    if (sorted) view_->scrollToTop();
    if (selectedItem_ < 0) chart_->clear();
}

// Widths from every row, not only those in view, with room for the sort arrow; they only ever grow, so
// a sort or a new table never moves a column under the pointer.
void OverviewWindow::fitColumns() {
    QHeaderView* header = view_->horizontalHeader();
    const int arrow = header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 8;
    const int columns = model_->columnCount();
    std::vector<int> before(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) before[static_cast<size_t>(c)] = columnsFitted_ ? header->sectionSize(c) : 0;
    view_->resizeColumnsToContents();
    for (int c = 0; c < columns; ++c)
        header->resizeSection(c, std::max(before[static_cast<size_t>(c)], header->sectionSize(c) + arrow));
    columnsFitted_ = true;
}

void OverviewWindow::showChart() {
    if (!valid_ || selectedItem_ < 0) {
        chart_->clear();
        return;
    }
    try {
        GapSeries series = itemGapSeries(*snap_, from_.toStdString(), to_.toStdString(), selectedItem_);
        series.runningNumbers = runningNumbers_;
        chart_->setSeries(std::move(series));
    } catch (const std::exception& e) {
        chart_->clear();
        say(QString::fromUtf8(e.what()), true);
    }
}

void OverviewWindow::sortBy(int column) {
    if (column < 0 || column >= kOverviewColumns) return;
    descending_ = column == sortColumn_ ? !descending_ : false;
    sortColumn_ = column;
    view_->horizontalHeader()->setSortIndicatorShown(true);
    view_->horizontalHeader()->setSortIndicator(column, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    showRows(true);
}

void OverviewWindow::exportWorkbook() {
    if (!valid_) {
        say("遗漏总表是空的，没有导出", true);
        return;
    }
    const QString path = QDir(dataDir_).filePath("Zongbiao.xlsx");
    const Grid& g = model_->grid();
    try {
        writeWorkbook(g, QFile::encodeName(path).toStdString(), QFile::encodeName(dataDir_).toStdString());
    } catch (const std::exception& e) {
        say(QString::fromUtf8(e.what()), true);
        return;
    }
    const QString done = QString("已导出 %1 行到 %2").arg(g.rowCount()).arg(path);
    if (openUrl && !openUrl(QUrl::fromLocalFile(path))) {
        say(done + "；本机没有可以打开此文件的程序，请到上述位置自行打开", true);
        return;
    }
    say(done, false);
}

}  // namespace k3
