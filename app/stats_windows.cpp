#include "stats_windows.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "background_task.h"
#include "export/output_file.h"
#include "export/workbook.h"
#include "grid_models.h"
#include "stats_chart.h"

namespace k3 {

namespace {

QString what(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return "计算失败";
}

}  // namespace

StatsWindow::StatsWindow(QString dataDir, QString workbookName, QWidget* parent)
    : QWidget(parent), dataDir_(std::move(dataDir)), workbookName_(std::move(workbookName)) {
    setWindowFlag(Qt::Window);
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    summary_ = new QLabel;
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = summary_->font();
    bold.setBold(true);
    summary_->setFont(bold);
    status_ = new QLabel;

    model_ = new GridModel(this);
    view_ = new QTableView;
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
    view_->setToolTip(QString("单击列标题按该列排序（再单击反序），双击表格导出到 %1").arg(workbookName_));

    connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this, &StatsWindow::sortBy);
    connect(view_, &QTableView::doubleClicked, this, &StatsWindow::exportWorkbook);
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        const int row = current.isValid() ? current.row() : -1;
        selected_ = row >= 0 && size_t(row) < order_.size() ? order_[size_t(row)] : -1;
        selectionChanged(selected_);
    });
}

void StatsWindow::setHistory(std::shared_ptr<const Snapshot> snap) {
    snap_ = std::move(snap);
    recompute();
}

void StatsWindow::setRange(const QString& from, const QString& to) {
    from_ = from;
    to_ = to;
    recompute();
}

void StatsWindow::setHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to) {
    snap_ = std::move(snap);
    from_ = from;
    to_ = to;
    recompute();
}

void StatsWindow::say(const QString& text, bool warning) {
    status_->setText(text);
    emit message(text, warning);
}

void StatsWindow::recompute() {
    ++generation_;
    if (!snap_) {
        finish(generation_, "还没有打开历史数据库", {});
        return;
    }
    ++pending_;
    status_->setText("正在计算…");
    launch(snap_, from_.toStdString(), to_.toStdString(), generation_);
}

void StatsWindow::finish(int generation, const QString& error, const QString& summary) {
    if (generation != generation_) return;  // a newer computation is under way
    valid_ = error.isEmpty();
    if (!valid_) clearTable();
    summary_->setText(valid_ ? summary : QString());
    showRows();
    const QString text = valid_ ? QString("%1：检索范围 %2～%3").arg(windowTitle(), from_, to_) : error;
    status_->setText(text);
    // Only an open window speaks up: when the table cannot be made, and when it can be again.
    if (isVisible() && (!valid_ || failed_)) emit message(text, !valid_);
    failed_ = !valid_;
    emit computed();
}

void StatsWindow::showRows() {
    order_.clear();
    if (valid_) {
        if (sortColumn_ >= 0) {
            order_ = orderBy(sortColumn_, descending_);
        } else {
            const size_t n = grid({}).rows.size();
            for (size_t i = 0; i < n; ++i) order_.push_back(int(i));
        }
    }
    const int keep = selected_;
    model_->setGrid(valid_ ? grid(order_) : emptyGrid());
    view_->resizeColumnsToContents();
    // The selected row stays selected wherever the new order puts it.
    selected_ = -1;
    auto row = std::find(order_.begin(), order_.end(), keep);
    if (keep >= 0 && row != order_.end()) {
        const QModelIndex index = model_->index(int(row - order_.begin()), 0);
        view_->selectionModel()->setCurrentIndex(index,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view_->scrollTo(index);
    }
    if (selected_ < 0) selectionChanged(-1);
}

void StatsWindow::sortBy(int column) {
    if (column < 0 || column >= columns()) return;
    descending_ = column == sortColumn_ ? !descending_ : false;
    sortColumn_ = column;
    view_->horizontalHeader()->setSortIndicatorShown(true);
    view_->horizontalHeader()->setSortIndicator(column, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    showRows();
}

void StatsWindow::exportWorkbook() {
    if (!valid_) {
        say(windowTitle() + "是空的，没有导出", true);
        return;
    }
    const QString path = QDir(dataDir_).filePath(workbookName_);
    const Grid g = model_->grid();
    try {
        writeOutputFile(QFile::encodeName(path).toStdString(), QFile::encodeName(dataDir_).toStdString(),
                        [&g](const std::string& side) { writeWorkbook(g, side); });
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

// ---------------------------------------------------------------- 公平性检验

FairnessWindow::FairnessWindow(QString dataDir, QWidget* parent)
    : StatsWindow(std::move(dataDir), "Jianyan.xlsx", parent) {
    setObjectName("frmFairness");
    setWindowTitle("公平性检验");
    summary_->setObjectName("lblFairnessSummary");
    status_->setObjectName("lblFairnessStatus");
    view_->setObjectName("gridFairness");
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    QString text =
        "这些检验问的是：检索范围内的开奖号码，像不像公平的骰子掷出来的？每项检验给出 p值，"
        "即公平的骰子掷出至少这样偏的结果的机会；p值小于 0.01 记为“偏离”，否则“符合”。<ul>";
    for (const FairnessTest& t : fairnessOf({}).tests)
        text +=
            QString("<li><b>%1</b>：%2</li>").arg(QString::fromStdString(t.name), QString::fromStdString(t.question));
    text +=
        "</ul>七项检验一起做，公平的骰子也时常会有一项 p值 小于 0.01（每项约有百分之一的机会），"
        "偶尔一项偏离不说明什么；多项同时偏离、换个范围仍然偏离，才值得怀疑历史号码有误。"
        "检验说的是已经开出的号码，不能预测下一期。";
    auto* explain = new QLabel(text);
    explain->setObjectName("lblFairnessExplain");
    explain->setWordWrap(true);
    explain->setTextFormat(Qt::RichText);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(summary_);
    layout->addWidget(view_, 1);
    layout->addWidget(explain);
    layout->addWidget(status_);
    resize(720, 600);
}

void FairnessWindow::launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to, int generation) {
    runThenCallback(
        this, [snap, from, to](TaskControl&) { return computeFairness(*snap, from, to); },
        [this, generation](TaskOutcome<FairnessReport>& outcome) {
            taskEnded();
            if (!current(generation)) return;
            if (outcome.failed()) return finish(generation, what(outcome.error()), {});
            report_ = std::move(outcome.value());
            finish(generation, {}, QString::fromStdString(fairnessSummary(report_)));
        });
}

// ---------------------------------------------------------------- 遗漏回测

BacktestWindow::BacktestWindow(QString dataDir, QWidget* parent)
    : StatsWindow(std::move(dataDir), "Huice.xlsx", parent) {
    setObjectName("frmBacktest");
    setWindowTitle("遗漏回测");
    summary_->setObjectName("lblBacktestSummary");
    status_->setObjectName("lblBacktestStatus");
    view_->setObjectName("gridBacktest");

    thresholdBox_ = new QComboBox;
    thresholdBox_->setObjectName("cmbThreshold");
    for (int half = 1; half <= 10; ++half) thresholdBox_->addItem(QString("理论遗漏的 %1 倍").arg(half / 2.0));
    thresholdBox_->addItem("固定遗漏期数");
    thresholdBox_->setCurrentIndex(3);  // twice T
    omissionBox_ = new QSpinBox;
    omissionBox_->setObjectName("spnMinOmission");
    omissionBox_->setRange(1, 100000);
    omissionBox_->setValue(10);
    omissionBox_->setSuffix(" 期");
    omissionBox_->setEnabled(false);
    auto* rule = new QLabel("遗漏达到门槛才下注，门槛为：");
    auto* controls = new QHBoxLayout;
    controls->addWidget(rule);
    controls->addWidget(thresholdBox_);
    controls->addWidget(omissionBox_);
    controls->addStretch(1);

    auto* note = new QLabel(
        "每个号码在检索范围内逐期回放：下注前遗漏达到门槛就买一注（2元），统计中奖期数、命中率（95% 区间）"
        "与公平骰子的理论命中率、p值（公平骰子至少中这么多次的机会）和按全国奖金表的返奖率。"
        "公平的骰子没有记忆，遗漏再久，下一期的机会也不变；这里回看的是历史，不预测开奖。");
    note->setObjectName("lblBacktestExplain");
    note->setWordWrap(true);

    chart_ = new HitRateChart;
    chart_->setObjectName("chartBacktest");
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(view_);
    split->addWidget(chart_);
    split->setSizes({340, 360});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(controls);
    layout->addWidget(summary_);
    layout->addWidget(split, 1);
    layout->addWidget(note);
    layout->addWidget(status_);
    resize(1100, 800);

    connect(thresholdBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        omissionBox_->setEnabled(index == thresholdBox_->count() - 1);
        recompute();
    });
    connect(omissionBox_, &QSpinBox::valueChanged, this, [this] {
        if (omissionBox_->isEnabled()) recompute();
    });
}

Threshold BacktestWindow::threshold() const {
    Threshold t;
    const int index = thresholdBox_->currentIndex();
    if (index == thresholdBox_->count() - 1)
        t.fixed = omissionBox_->value();
    else
        t.times = (index + 1) / 2.0;
    return t;
}

void BacktestWindow::launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to, int generation) {
    const Threshold t = threshold();
    runThenCallback(
        this, [snap, from, to, t](TaskControl&) { return computeBacktest(*snap, from, to, t); },
        [this, generation](TaskOutcome<BacktestTable>& outcome) {
            taskEnded();
            if (!current(generation)) return;
            if (outcome.failed()) return finish(generation, what(outcome.error()), {});
            table_ = std::move(outcome.value());
            finish(generation, {}, QString::fromStdString(backtestSummaryText(table_)));
        });
}

void BacktestWindow::selectionChanged(int item) {
    if (!valid() || item < 0 || !snapshot()) {
        chart_->clear();
        return;
    }
    try {
        chart_->setData(hitRateByOmission(*snapshot(), from().toStdString(), to().toStdString(), item));
    } catch (const std::exception& e) {
        chart_->clear();
        say(QString::fromUtf8(e.what()), true);
    }
}

}  // namespace k3
