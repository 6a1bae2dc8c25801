#include "trend_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cstdlib>

#include "background_task.h"
#include "search/search.h"
#include "trend/trend_workbook.h"
#include "window_fit.h"

namespace k3 {

namespace {

constexpr int kRowHeight = TrendGeometry::kRowHeight;

// The choices of rows: the newest N draws, the search range, the whole history.
struct RowsChoice {
    const char* text;
    int newest;  // > 0: the newest N; 0: the search range; -1: all
};
constexpr RowsChoice kRowsChoices[] = {{"最近30期", 30},   {"最近50期", 50}, {"最近100期", 100}, {"最近200期", 200},
                                       {"最近500期", 500}, {"检索范围", 0},  {"全部", -1}};
constexpr int kDefaultChoice = 2;

}  // namespace

// ---------------------------------------------------------------- the view

TrendView::TrendView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName("viewTrend");
    viewport()->setObjectName("viewTrendViewport");
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(kRowHeight);
    horizontalScrollBar()->setSingleStep(24);
}

int TrendView::bodyHeight() const {
    return std::max(0, viewport()->height() - TrendGeometry::kHeaderHeight - m_geometry.statsHeight());
}

void TrendView::updateBars() {
    const long long rows = m_chart ? static_cast<long long>(m_chart->rowCount()) : 0;
    const long long body = bodyHeight();
    verticalScrollBar()->setPageStep(std::max(kRowHeight, static_cast<int>(body / kRowHeight) * kRowHeight));
    verticalScrollBar()->setRange(0, static_cast<int>(std::max(0LL, rows * kRowHeight - body)));
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width() - m_geometry.leftWidth()));
    horizontalScrollBar()->setRange(0, std::max(0, m_geometry.fullWidth() - viewport()->width()));
}

void TrendView::setChart(std::shared_ptr<const TrendChart> chart, bool toNewest) {
    m_chart = std::move(chart);
    m_geometry = m_chart ? TrendGeometry(*m_chart) : TrendGeometry();
    updateBars();
    if (toNewest) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void TrendView::setOptions(const TrendPaintOptions& options) {
    m_options = options;
    viewport()->update();
}

bool TrendView::atNewest() const { return verticalScrollBar()->value() >= verticalScrollBar()->maximum(); }

void TrendView::scrollToRow(size_t row) {
    const long long y = static_cast<long long>(row) * kRowHeight;
    const int top = verticalScrollBar()->value();
    if (y < top)
        verticalScrollBar()->setValue(static_cast<int>(y));
    else if (y + kRowHeight > top + bodyHeight())
        verticalScrollBar()->setValue(static_cast<int>(y + kRowHeight - bodyHeight()));
}

std::optional<TrendView::Spot> TrendView::spotAt(QPoint at) const {
    if (!m_chart || !viewport()->rect().contains(at)) return std::nullopt;
    Spot spot;
    const int statsTop = viewport()->height() - m_geometry.statsHeight();
    if (at.y() < TrendGeometry::kHeaderHeight) {
        spot.row = -1;
    } else if (at.y() >= statsTop) {
        spot.row = static_cast<long long>(m_chart->rowCount()) + (at.y() - statsTop) / kRowHeight;
    } else {
        spot.row = (at.y() - TrendGeometry::kHeaderHeight + verticalScrollBar()->value()) / kRowHeight;
        if (spot.row >= static_cast<long long>(m_chart->rowCount())) return std::nullopt;
    }
    if (at.x() >= m_geometry.leftWidth()) {
        auto c = m_geometry.itemAt(at.x() - m_geometry.leftWidth() + horizontalScrollBar()->value());
        if (!c) return std::nullopt;
        spot.column = *c;
    }
    return spot;
}

std::optional<QPoint> TrendView::cellCentre(size_t row, int column) const {
    if (!m_chart || row >= m_chart->rowCount() || column < 0 || column >= kTrendColumns) return std::nullopt;
    const int y = TrendGeometry::kHeaderHeight + static_cast<int>(row) * kRowHeight - verticalScrollBar()->value();
    const int x = m_geometry.leftWidth() + m_geometry.itemX(column) - horizontalScrollBar()->value();
    const QPoint at(x + m_geometry.itemWidth(column) / 2, y + kRowHeight / 2);
    if (at.y() < TrendGeometry::kHeaderHeight || at.y() >= TrendGeometry::kHeaderHeight + bodyHeight() ||
        at.x() < m_geometry.leftWidth() || at.x() >= viewport()->width())
        return std::nullopt;
    return at;
}

QString TrendView::toolTipAt(QPoint at) const {
    auto spot = spotAt(at);
    if (!spot || spot->column < 0 || spot->row < 0 || spot->row >= static_cast<long long>(m_chart->rowCount()))
        return {};
    const size_t row = static_cast<size_t>(spot->row);
    std::vector<TrendCell> cells;
    m_chart->cells(row, 1, cells);
    const TrendCell& cell = cells[static_cast<size_t>(spot->column)];
    const TrendItem& item = trendItems()[static_cast<size_t>(spot->column)];
    return QString("期号 %1\n%2：%3\n遗漏 %4\n理论遗漏 %5")
        .arg(QString::fromStdString(m_chart->issueText(row)), QString::fromStdString(item.header),
             cell.hit ? QString("开出") : QString("未开出"))
        .arg(cell.omission)
        .arg(trendTheoretical(spot->column), 0, 'f', 2);
}

void TrendView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    if (!m_chart) {
        p.fillRect(viewport()->rect(), Qt::white);
        return;
    }
    paintTrend(p, *m_chart, m_geometry, viewport()->size(), verticalScrollBar()->value(),
               horizontalScrollBar()->value(), m_options, m_cells);
}

void TrendView::resizeEvent(QResizeEvent* event) {
    const bool newest = atNewest();
    QAbstractScrollArea::resizeEvent(event);
    updateBars();
    if (newest) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

bool TrendView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TrendView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_chart) emit cellDoubleClicked();
}

void TrendView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    if (std::abs(delta.x()) >= std::abs(delta.y()) || (event->modifiers() & Qt::ShiftModifier)) {
        QAbstractScrollArea::wheelEvent(event);  // sideways: the columns, as the scroll area does
        return;
    }
    constexpr int kNotch = 120;
    if ((m_wheelSteps < 0) != (delta.y() < 0)) m_wheelSteps = 0;
    m_wheelSteps += delta.y();
    const int notches = m_wheelSteps / kNotch;
    m_wheelSteps -= notches * kNotch;
    // A wheel turned towards the user shows later rows.
    verticalScrollBar()->setValue(verticalScrollBar()->value() - notches * kRowHeight);
    event->accept();
}

void TrendView::scrollContentsBy(int, int) { viewport()->update(); }

// ---------------------------------------------------------------- the window

TrendWindow::TrendWindow(QString dataDir, QWidget* parent)
    : AnalysisWindow(std::move(dataDir), "frmTrend", "走势图", "lblTrendStatus", parent) {
    m_rows = new QComboBox;
    m_rows->setObjectName("cboTrendRows");
    for (const RowsChoice& c : kRowsChoices) m_rows->addItem(c.text);
    m_rows->setCurrentIndex(kDefaultChoice);
    m_rows->setToolTip("走势图显示哪些期：最近若干期、检索起止期数之内的期，或全部历史");
    m_showOmission = new QCheckBox("显示遗漏");
    m_showOmission->setObjectName("chkTrendOmission");
    m_showOmission->setChecked(true);
    m_layers = new QCheckBox("遗漏分层");
    m_layers->setObjectName("chkTrendLayers");
    m_layers->setToolTip("每一列最后一次开出之后的格子加底色");
    m_line = new QCheckBox("折线");
    m_line->setObjectName("chkTrendLine");
    m_line->setToolTip("把每期的和值连成折线");
    m_view = new TrendView;
    m_view->setToolTip("");

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel("显示："));
    bar->addWidget(m_rows);
    bar->addSpacing(12);
    bar->addWidget(m_showOmission);
    bar->addWidget(m_layers);
    bar->addWidget(m_line);
    bar->addStretch(1);
    bar->addWidget(new QLabel("双击图表导出到 Zoushi.xlsx"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    const TrendGeometry geo;
    fitWindowIntoItsScreen(*this, {geo.fullWidth() + 40, 760});

    connect(m_rows, &QComboBox::currentIndexChanged, this, &TrendWindow::recompute);
    for (QCheckBox* box : {m_showOmission, m_layers, m_line})
        connect(box, &QCheckBox::toggled, this, &TrendWindow::applyOptions);
    connect(m_view, &TrendView::cellDoubleClicked, this, &TrendWindow::exportWorkbook);
}

TrendWindow::~TrendWindow() {
    m_charts.supersede();
    // An export nobody will hear the end of is stopped, with nothing written.
    if (m_export) m_export->cancel();
}

void TrendWindow::applyOptions() {
    m_view->setOptions({m_showOmission->isChecked(), m_layers->isChecked(), m_line->isChecked()});
}

void TrendWindow::recompute() {
    const RowsChoice& choice = kRowsChoices[std::clamp(m_rows->currentIndex(), 0, int(std::size(kRowsChoices)) - 1)];
    TrendRange range;
    try {
        if (!snapshot()) throw AnalysisError("还没有打开历史数据库");
        if (choice.newest == 0)
            range = trendRange(*snapshot(), from().toStdString(), to().toStdString());
        else
            range = trendLast(*snapshot(), choice.newest > 0 ? choice.newest : int64_t(snapshot()->size()));
    } catch (const std::exception& e) {
        m_charts.supersede();
        m_view->setChart(nullptr, false);
        m_status->setText(QString::fromUtf8(e.what()));
        emit chartShown();
        return;
    }
    // A view at the newest row stays there when a draw is added; the first chart starts there.
    const auto& old = m_view->chart();
    const bool toNewest = !old || m_view->atNewest();
    const QString what =
        choice.newest == 0 ? QString("检索范围 %1～%2").arg(from(), to()) : QString::fromUtf8(choice.text);
    m_charts.run([snap = snapshot(), range, running = runningNumbers()](
                     TaskControl&) { return std::make_shared<const TrendChart>(snap, range, running); },
                 [this, toNewest, what](TaskOutcome<std::shared_ptr<const TrendChart>>& outcome) {
                     if (outcome.failed()) {
                         m_view->setChart(nullptr, false);
                         say(QString("无法画走势图：%1").arg(outcome.errorText()), true);
                         emit chartShown();
                         return;
                     }
                     const auto& chart = outcome.value();
                     m_view->setChart(chart, toNewest);
                     m_status->setText(QString("走势图：%1，共 %2 期").arg(what).arg(chart->rowCount()));
                     emit chartShown();
                 });
}

void TrendWindow::exportWorkbook() {
    const auto chart = m_view->chart();
    if (!chart) {
        say("走势图是空的，没有导出", true);
        return;
    }
    if (m_exporting) {
        say("正在导出 Zoushi.xlsx，请稍候", true);
        return;
    }
    const QString path = QDir(m_dataDir).filePath("Zoushi.xlsx");
    m_exporting = true;
    m_status->setText(QString("正在导出 %1 期到 %2 …").arg(chart->rowCount()).arg(path));
    // A million draws take a minute or more: the progress box follows the rows, and 取消 stops the
    // export with nothing written (once the library has packed the file, when it is already doing so).
    m_export = runWithProgress(
        this, this, {"导出走势图", QString("正在导出 %1 期走势图到 Zoushi.xlsx…").arg(chart->rowCount()), true},
        [chart, file = QFile::encodeName(path).toStdString(),
         dir = QFile::encodeName(m_dataDir).toStdString()](TaskControl& control) {
            writeTrendWorkbook(*chart, file, dir, [&control](const WorkbookStep& step) {
                // The rows take about a third of the time, packing the file the rest; a busy bar where
                // its progress cannot be told.
                if (!step.packing)
                    control.setProgress(static_cast<int>(step.done * 350 / std::max<size_t>(step.rows, 1)));
                else
                    control.setProgress(step.packed < 0 ? -1 : 350 + step.packed * 650 / 1000);
                return !control.cancelled();
            });
        },
        [this, path, rows = chart->rowCount()](TaskOutcome<NoValue>& outcome) {
            m_exporting = false;
            m_export.reset();
            if (outcome.failedWith<ExportCancelled>()) {
                say(QString("已取消导出，未写入 %1").arg(path), false);
                return;
            }
            if (outcome.failed()) {
                say(outcome.errorText(), true);
                return;
            }
            showWritten(path, QString("已导出 %1 期走势图").arg(rows));
        });
}

}  // namespace k3
