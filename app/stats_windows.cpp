#include "stats_windows.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

#include "background_task.h"
#include "charts/stats_chart.h"
#include "export/output_file.h"
#include "grid_models.h"
#include "grid_view.h"
#include "window_fit.h"

namespace k3 {

StatsWindow::StatsWindow(QString dataDir, QString workbookName, const QString& name, const QString& title,
                         QWidget* parent)
    : AnalysisWindow(std::move(dataDir), "frm" + name, title, "lbl" + name + "Status", parent),
      m_workbookName(std::move(workbookName)) {
    m_summary = new QLabel;
    m_summary->setObjectName("lbl" + name + "Summary");
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);

    m_model = new GridModel(this);
    m_view =
        makeResultTable(m_model, QString("单击列标题按该列排序（再单击反序），双击表格导出到 %1").arg(m_workbookName));
    m_view->setObjectName("grid" + name);

    connect(m_view->horizontalHeader(), &QHeaderView::sectionClicked, this, &StatsWindow::sortBy);
    connect(m_view, &QTableView::doubleClicked, this, &StatsWindow::exportWorkbook);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const int row = current.isValid() ? current.row() : -1;
                m_selected = row >= 0 && size_t(row) < m_order.size() ? m_order[size_t(row)] : -1;
                selectionChanged(m_selected);
            });
}

void StatsWindow::recompute() {
    if (!snapshot()) {
        m_requests.supersede();
        finish("还没有打开历史数据库", {});
        return;
    }
    m_status->setText("正在计算…");
    launch(snapshot(), from().toStdString(), to().toStdString());
}

void StatsWindow::finish(const QString& error, const QString& summary) {
    m_valid = error.isEmpty();
    if (!m_valid) clearTable();
    m_summary->setText(m_valid ? summary : QString());
    showRows();
    tellState(m_valid ? QString("%1：检索范围 %2～%3").arg(windowTitle(), from(), to()) : error, !m_valid);
    emit computed();
}

void StatsWindow::showRows() {
    m_order.clear();
    if (m_valid) {
        if (m_sortColumn >= 0) {
            m_order = orderBy(m_sortColumn, m_descending);
        } else {
            const size_t n = grid({}).rows.size();
            for (size_t i = 0; i < n; ++i) m_order.push_back(int(i));
        }
    }
    const int keep = m_selected;
    m_model->setGrid(m_valid ? grid(m_order) : emptyGrid());
    // Columns that share the table's width keep sharing it (sized to their contents, they would stay
    // narrow until the window is resized).
    if (m_view->horizontalHeader()->sectionResizeMode(0) != QHeaderView::Stretch) m_view->resizeColumnsToContents();
    // The selected row stays selected wherever the new order puts it.
    m_selected = -1;
    auto row = std::find(m_order.begin(), m_order.end(), keep);
    if (keep >= 0 && row != m_order.end()) {
        const QModelIndex index = m_model->index(int(row - m_order.begin()), 0);
        m_view->selectionModel()->setCurrentIndex(index,
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_view->scrollTo(index);
    }
    if (m_selected < 0) selectionChanged(-1);
}

void StatsWindow::sortBy(int column) {
    if (column < 0 || column >= columns()) return;
    m_descending = column == m_sortColumn ? !m_descending : false;
    m_sortColumn = column;
    m_view->horizontalHeader()->setSortIndicatorShown(true);
    m_view->horizontalHeader()->setSortIndicator(column, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    showRows();
}

void StatsWindow::exportWorkbook() {
    if (!m_valid) {
        say(windowTitle() + "是空的，没有导出", true);
        return;
    }
    exportGrid(m_model->grid(), m_workbookName);
}

// ---------------------------------------------------------------- 公平性检验

FairnessWindow::FairnessWindow(QString dataDir, QWidget* parent)
    : StatsWindow(std::move(dataDir), "Jianyan.xlsx", "Fairness", "公平性检验", parent) {
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    QString text =
        "这些检验问的是：检索范围内的开奖号码，像不像公平的骰子掷出来的？每项检验给出 p值，"
        "即公平的骰子掷出至少这样偏的结果的机会；p值小于 0.01 记为“偏离”，否则“符合”。<ul>";
    const std::vector<FairnessTest> tests = fairnessOf({}).tests;
    for (const FairnessTest& t : tests)
        text +=
            QString("<li><b>%1</b>：%2</li>").arg(QString::fromStdString(t.name), QString::fromStdString(t.question));
    // Each test alone falls below 0.01 once in a hundred on fair dice; that at least one of them does is
    // 1 − 0.99^n (the tests taken as independent).
    const double anyBelow = 1 - std::pow(0.99, static_cast<double>(tests.size()));
    text += QString(
                "</ul>每项检验在公平的骰子下有 1% 的机会 p值 小于 0.01；这 %1 项一起做，"
                "公平的骰子约有 %2% 的时候（1 − 0.99<sup>%3</sup>）至少有一项小于 0.01，"
                "所以偶尔一项偏离不说明什么；多项同时偏离、换个范围仍然偏离，才值得怀疑历史号码有误。"
                "检验说的是已经开出的号码，不能预测下一期。")
                .arg(QString::number(tests.size()))
                .arg(100 * anyBelow, 0, 'f', 1)
                .arg(tests.size());
    auto* explain = new QLabel(text);
    explain->setObjectName("lblFairnessExplain");
    explain->setWordWrap(true);
    explain->setTextFormat(Qt::RichText);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_summary);
    layout->addWidget(m_view, 1);
    layout->addWidget(explain);
    layout->addWidget(m_status);
    fitWindowIntoItsScreen(*this, {720, 600});
}

void FairnessWindow::launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to) {
    m_requests.run([snap, from, to](TaskControl&) { return computeFairness(*snap, from, to); },
                   [this](TaskOutcome<FairnessReport>& outcome) {
                       if (outcome.failed()) return finish(outcome.errorText(), {});
                       m_report = std::move(outcome.value());
                       finish({}, QString::fromStdString(fairnessSummary(m_report)));
                   });
}

// ---------------------------------------------------------------- 遗漏回测

BacktestWindow::BacktestWindow(QString dataDir, QWidget* parent)
    : StatsWindow(std::move(dataDir), "Huice.xlsx", "Backtest", "遗漏回测", parent) {
    m_thresholdBox = new QComboBox;
    m_thresholdBox->setObjectName("cmbThreshold");
    for (int half = 1; half <= 10; ++half) m_thresholdBox->addItem(QString("理论遗漏的 %1 倍").arg(half / 2.0));
    m_thresholdBox->addItem("固定遗漏期数");
    m_thresholdBox->setCurrentIndex(3);  // twice T
    m_omissionBox = new QSpinBox;
    m_omissionBox->setObjectName("spnMinOmission");
    m_omissionBox->setRange(1, 100000);
    m_omissionBox->setValue(10);
    m_omissionBox->setSuffix(" 期");
    m_omissionBox->setEnabled(false);
    auto* rule = new QLabel("遗漏达到门槛才下注，门槛为：");
    auto* controls = new QHBoxLayout;
    controls->addWidget(rule);
    controls->addWidget(m_thresholdBox);
    controls->addWidget(m_omissionBox);
    controls->addStretch(1);

    auto* note = new QLabel(
        "每个号码在检索范围内逐期回放：下注前遗漏达到门槛就买一注（2元），统计中奖期数、命中率（95% 区间）"
        "与公平骰子的理论命中率、p值（公平骰子至少中这么多次的机会）和按全国奖金表的返奖率。"
        "公平的骰子没有记忆，遗漏再久，下一期的机会也不变；这里回看的是历史，不预测开奖。");
    note->setObjectName("lblBacktestExplain");
    note->setWordWrap(true);

    m_chart = new HitRateChart;
    m_chart->setObjectName("chartBacktest");
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_view);
    split->addWidget(m_chart);
    split->setSizes({340, 360});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(controls);
    layout->addWidget(m_summary);
    layout->addWidget(split, 1);
    layout->addWidget(note);
    layout->addWidget(m_status);
    fitWindowIntoItsScreen(*this, {1100, 800});

    connect(m_thresholdBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_omissionBox->setEnabled(index == m_thresholdBox->count() - 1);
        recompute();
    });
    connect(m_omissionBox, &QSpinBox::valueChanged, this, [this] {
        if (m_omissionBox->isEnabled()) recompute();
    });
}

Threshold BacktestWindow::threshold() const {
    Threshold t;
    const int index = m_thresholdBox->currentIndex();
    if (index == m_thresholdBox->count() - 1)
        t.fixed = m_omissionBox->value();
    else
        t.times = (index + 1) / 2.0;
    return t;
}

void BacktestWindow::launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to) {
    const Threshold t = threshold();
    m_requests.run([snap, from, to, t](TaskControl&) { return computeBacktest(*snap, from, to, t); },
                   [this](TaskOutcome<BacktestTable>& outcome) {
                       if (outcome.failed()) return finish(outcome.errorText(), {});
                       m_table = std::move(outcome.value());
                       finish({}, QString::fromStdString(backtestSummaryText(m_table)));
                   });
}

void BacktestWindow::selectionChanged(int item) {
    if (!valid() || item < 0 || !snapshot()) {
        m_chart->clear();
        return;
    }
    try {
        m_chart->setData(hitRateByOmission(*snapshot(), from().toStdString(), to().toStdString(), item));
    } catch (const std::exception& e) {
        m_chart->clear();
        say(QString::fromUtf8(e.what()), true);
    }
}

}  // namespace k3
