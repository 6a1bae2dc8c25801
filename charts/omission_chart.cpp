#include "charts/omission_chart.h"

#include <QCategoryAxis>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "store/issue.h"

namespace k3 {

namespace {

constexpr double kMinSpan = 10;     // the narrowest view, in positions
constexpr int kHoverPixels = 6;     // how near the pointer must be to a stem
constexpr int kMinPlotWidth = 420;  // narrower than this beside the legend, the legend goes below
constexpr int kLegendPadding = 4;   // around the legend's entries
constexpr int kLegendGap = 12;      // between entries side by side
constexpr int kChartMargin = 4;

QLineSeries* lineSeries(QChart* chart, const QColor& colour, Qt::PenStyle style, qreal width) {
    auto* s = new QLineSeries(chart);
    QPen pen(colour, width, style);
    pen.setCosmetic(true);
    s->setPen(pen);
    chart->addSeries(s);
    return s;
}

void setLevel(QLineSeries* line, std::optional<double> y, double lo, double hi, const QString& name) {
    line->clear();
    line->setVisible(y.has_value());
    if (!y) return;
    line->setName(name.arg(*y, 0, 'f', 2));
    line->replace(QList<QPointF>{{lo, *y}, {hi, *y}});
}

// The image of a small filled circle, drawn for each hit when zoomed in.
QImage dot(const QColor& colour) {
    QImage img(7, 7, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(0.5, 0.5, 6, 6));
    return img;
}

}  // namespace

// The view owns a chart given to its constructor; one given later by setChart() would leave the view's
// own first chart to the caller.
OmissionChart::OmissionChart(QWidget* parent) : QChartView(new QChart, parent) {
    QChart* chart = this->chart();
    chart->setAnimationOptions(QChart::NoAnimation);
    // The chart's own legend cuts entries that do not fit; this one places them where they fit.
    chart->legend()->hide();
    chart->setMargins(QMargins(kChartMargin, kChartMargin, kChartMargin, kChartMargin));
    setRenderHint(QPainter::Antialiasing, false);
    setDragMode(QGraphicsView::NoDrag);
    setRubberBand(QChartView::NoRubberBand);
    setMinimumSize(320, 220);
    viewport()->setMouseTracking(true);  // tooltips without a button held

    m_stems = lineSeries(chart, QColor(0x1f, 0x77, 0xb4), Qt::SolidLine, 1);
    m_stems->setName("遗漏次数");
    m_tops = new QScatterSeries(chart);
    m_tops->setLightMarker(dot(QColor(0x1f, 0x77, 0xb4)));
    m_tops->setMarkerSize(7);
    chart->addSeries(m_tops);
    m_last = lineSeries(chart, QColor(0xff, 0x7f, 0x0e), Qt::SolidLine, 3);
    m_last->setPointsVisible(true);
    m_last->setMarkerSize(8);
    m_average = lineSeries(chart, QColor(0x2c, 0xa0, 0x2c), Qt::DashLine, 1.5);
    m_theoretical = lineSeries(chart, QColor(0x7f, 0x7f, 0x7f), Qt::DashDotLine, 1.5);
    m_maximum = lineSeries(chart, QColor(0xd6, 0x27, 0x28), Qt::DotLine, 1.5);

    m_axisX = new QCategoryAxis(chart);
    m_axisX->setTitleText("期号");
    m_axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_axisY = new QValueAxis(chart);
    m_axisY->setTitleText("遗漏次数");
    // Blanks after the number keep one-digit labels as wide as the axis needs for its title.
    m_axisY->setLabelFormat("%d  ");
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }
    m_legend = new QWidget(this);
    m_legend->setObjectName("chartLegend");
    m_legend->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (QLineSeries* s : {m_stems, m_last, m_average, m_theoretical, m_maximum})
        m_legendLabels.push_back({s, new QLabel(m_legend)});
    // The stems depend on the width of the plot: one per pixel column at most.
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        if (static_cast<int>(plotWidth()) != m_builtWidth) rebuild();
    });
    clear();
}

void OmissionChart::clear() { setSeries(GapSeries{}); }

void OmissionChart::setEmptyTitle(const QString& title) {
    m_emptyTitle = title;
    if (m_data.empty()) chart()->setTitle(m_emptyTitle);
}

void OmissionChart::setSeries(GapSeries series) {
    m_data = std::move(series);
    const bool any = !m_data.empty();
    // Before the first search the chart only says what it will show.
    chart()->setTitle(any ? QString::fromStdString(m_data.title) + " 遗漏走势" : m_emptyTitle);
    m_axisX->setVisible(any);
    m_axisY->setVisible(any);
    m_fullLo = m_data.start;
    // Room right of the growing last omission, so it stands clear of the border.
    m_fullHi = std::max<double>(m_data.nextPosition + std::max(1.0, (m_data.nextPosition - m_fullLo) / 100.0),
                                m_fullLo + kMinSpan);
    double top = std::max<double>(m_data.lastOmission, m_data.maximum.value_or(0));
    top = std::max({top, m_data.average.value_or(0), m_data.theoretical.value_or(0), 1.0});
    // A round step between 1/8 and 1/4 of the highest value, and the axis a whole number of steps.
    const double magnitude = std::pow(10.0, std::floor(std::log10(top / 5)));
    double step = magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude * 5 >= top) {
            step = std::max(1.0, m * magnitude);
            break;
        }
    const double steps = std::ceil(top * 1.04 / step);
    m_axisY->setRange(0, steps * step);
    m_axisY->setTickCount(static_cast<int>(steps) + 1);

    m_last->setVisible(any);
    m_last->setName(QString("最后遗漏 %1（未完）").arg(m_data.lastOmission));
    m_last->replace(any ? QList<QPointF>{{double(m_data.nextPosition), 0},
                                         {double(m_data.nextPosition), double(m_data.lastOmission)}}
                        : QList<QPointF>{});
    setLevel(m_average, any ? m_data.average : std::nullopt, m_fullLo, m_fullHi, "平均遗漏 %1");
    setLevel(m_theoretical, any ? m_data.theoretical : std::nullopt, m_fullLo, m_fullHi, "理论遗漏 %1");
    m_maximum->clear();
    m_maximum->setVisible(m_data.maximum.has_value());
    if (m_data.maximum) {
        m_maximum->setName(QString("最大遗漏 %1").arg(*m_data.maximum));
        m_maximum->replace(QList<QPointF>{{m_fullLo, double(*m_data.maximum)}, {m_fullHi, double(*m_data.maximum)}});
    }
    m_stems->setVisible(any);
    fillLegend();
    placeLegend();
    m_lo = m_fullLo;
    m_hi = m_fullHi;
    rebuild();
}

QList<QLabel*> OmissionChart::legendEntries() const {
    QList<QLabel*> shown;
    for (const auto& [series, label] : m_legendLabels)
        if (series->isVisible()) shown << label;
    return shown;
}

// One entry per visible line: a stroke in the line's colour, then its name.
void OmissionChart::fillLegend() {
    for (const auto& [series, label] : m_legendLabels) {
        label->setText(QString("<span style=\"color:%1\">━━</span> %2")
                           .arg(series->pen().color().name(), series->name().toHtmlEscaped()));
        label->setVisible(series->isVisible());
        label->adjustSize();
    }
}

// Right of the plot when the plot keeps kMinPlotWidth beside it, one entry a line; else below the
// plot, as many entries a row as fit. The chart's margin on that side makes room for it.
void OmissionChart::placeLegend() {
    const QList<QLabel*> shown = legendEntries();
    const QRect area = viewport()->geometry();
    if (shown.isEmpty()) {
        m_legend->hide();
        chart()->setMargins(QMargins(kChartMargin, kChartMargin, kChartMargin, kChartMargin));
        return;
    }
    int widest = 0, tallest = 0;
    for (QLabel* l : shown) {
        widest = std::max(widest, l->sizeHint().width());
        tallest = std::max(tallest, l->sizeHint().height());
    }
    const int besideWidth = widest + 2 * kLegendPadding;
    // Room right of the plot for half the label of the next issue, which stands at its right end.
    const int nextLabel = QFontMetrics(m_axisX->labelsFont()).horizontalAdvance("下一期") / 2 + kChartMargin;
    m_legendBelow = area.width() - besideWidth < kMinPlotWidth;
    const int count = static_cast<int>(shown.size());
    const int columns =
        m_legendBelow ? std::clamp((area.width() - 2 * kLegendPadding + kLegendGap) / (widest + kLegendGap), 1, count)
                      : 1;
    const int rows = (count + columns - 1) / columns;
    const int height = rows * tallest + 2 * kLegendPadding;
    for (int i = 0; i < count; ++i)
        shown[i]->setGeometry(kLegendPadding + (i % columns) * (widest + kLegendGap),
                              kLegendPadding + (i / columns) * tallest, widest, tallest);
    if (m_legendBelow) {
        m_legend->setGeometry(area.left(), area.bottom() + 1 - height, area.width(), height);
        chart()->setMargins(QMargins(kChartMargin, kChartMargin, nextLabel, height));
    } else {
        m_legend->setGeometry(area.right() + 1 - besideWidth, area.top() + (area.height() - height) / 2, besideWidth,
                              height);
        chart()->setMargins(QMargins(kChartMargin, kChartMargin, besideWidth + nextLabel, kChartMargin));
    }
    m_legend->show();
    m_legend->raise();
}

void OmissionChart::resizeEvent(QResizeEvent* e) {
    QChartView::resizeEvent(e);
    placeLegend();
}

// A resting pointer asks for a tooltip again after a while; the graphics view would answer that no
// item has one and hide it. The stem under the pointer answers instead, so the tooltip stays.
bool OmissionChart::viewportEvent(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QChartView::viewportEvent(e);
    auto* help = static_cast<QHelpEvent*>(e);
    const QString tip = tooltipAt(help->pos());
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, this);
    return true;
}

void OmissionChart::setVisibleRange(double lo, double hi) {
    const double full = m_fullHi - m_fullLo;
    double span = std::clamp(hi - lo, std::min(kMinSpan, full), full);
    lo = std::clamp(lo, m_fullLo, m_fullHi - span);
    if (lo == m_lo && lo + span == m_hi) return;
    m_lo = lo;
    m_hi = lo + span;
    rebuild();
}

void OmissionChart::zoomAt(double x, double factor) {
    setVisibleRange(x - (x - m_lo) * factor, x + (m_hi - x) * factor);
}

void OmissionChart::showAll() { setVisibleRange(m_fullLo, m_fullHi); }

double OmissionChart::plotWidth() const {
    const double w = chart()->plotArea().width();
    return w > 1 ? w : std::max(1, width() - 80);
}

void OmissionChart::rebuild() {
    const double width = plotWidth();
    m_builtWidth = static_cast<int>(width);
    m_axisX->setRange(m_lo, m_hi);
    const auto& hits = m_data.hits;
    auto byPosition = [](const GapPoint& p, double x) { return p.position < x; };
    const size_t first = std::lower_bound(hits.begin(), hits.end(), m_lo, byPosition) - hits.begin();
    const size_t last =
        std::upper_bound(hits.begin(), hits.end(), m_hi, [](double x, const GapPoint& p) { return x < p.position; }) -
        hits.begin();
    const size_t n = last - first;
    const auto columns = static_cast<size_t>(std::max(1.0, width));

    QList<QPointF> stems, tops;
    auto stem = [&stems](const GapPoint& p) {
        stems.append({double(p.position), 0});
        stems.append({double(p.position), double(p.omission)});
        stems.append({double(p.position), 0});
    };
    m_everyHit = n <= columns;
    if (m_everyHit) {
        stems.reserve(static_cast<qsizetype>(3 * n));
        for (size_t i = first; i < last; ++i) stem(hits[i]);
        if (n * 6 <= columns)
            for (size_t i = first; i < last; ++i) tops.append({double(hits[i].position), double(hits[i].omission)});
    } else {
        // One stem per pixel column: the column's largest omission, at the hit that has it.
        stems.reserve(static_cast<qsizetype>(3 * columns));
        const double scale = static_cast<double>(columns) / (m_hi - m_lo);
        size_t column = SIZE_MAX, best = first;
        for (size_t i = first; i < last; ++i) {
            const auto c = std::min(columns - 1, static_cast<size_t>((hits[i].position - m_lo) * scale));
            if (c != column) {
                if (column != SIZE_MAX) stem(hits[best]);
                column = c;
                best = i;
            } else if (hits[i].omission > hits[best].omission) {
                best = i;
            }
        }
        if (column != SIZE_MAX) stem(hits[best]);
    }
    m_stems->replace(stems);
    m_tops->replace(tops);
    relabel(first, last, width);
}

void OmissionChart::relabel(size_t first, size_t last, double width) {
    for (const QString& label : m_axisX->categoriesLabels()) m_axisX->remove(label);
    m_axisX->setStartValue(m_lo);
    const auto& hits = m_data.hits;
    const double pixels = width / (m_hi - m_lo);  // per position
    // The axis gives each label its share of the axis (the width over the labels plus one) and cuts
    // a longer label: only as many issue labels as fit whole, the label of the next issue among them.
    const double labelWidth = QFontMetricsF(m_axisX->labelsFont()).horizontalAdvance("000000000") + 16;
    const int count = static_cast<int>(width / labelWidth) - 2;
    // An issue label half its width from either end of the axis at least, so none reaches past the chart.
    const double inset = labelWidth / 2 / pixels;
    double previous = -1e18;
    auto add = [&](double x, const QString& label) {
        if ((x - previous) * pixels < labelWidth || x < m_lo || x > m_hi) return;
        m_axisX->append(label, x);
        previous = x;
    };
    if (first < last && count > 0) {
        auto byPosition = [](const GapPoint& p, double x) { return p.position < x; };
        for (int k = 0; k < count; ++k) {
            // The hit nearest to evenly spaced places: its issue is exact.
            const double target = m_lo + (k + 0.5) * (m_hi - m_lo) / count;
            size_t i = std::lower_bound(hits.begin() + long(first), hits.begin() + long(last), target, byPosition) -
                       hits.begin();
            if (i == last || (i > first && target - hits[i - 1].position < hits[i].position - target)) --i;
            if (hits[i].position < m_lo + inset || hits[i].position > m_hi - inset) continue;
            // The label of the next issue keeps its place.
            if (!m_data.empty() && (m_data.nextPosition - hits[i].position) * pixels < labelWidth) continue;
            add(hits[i].position, issueLabel(hits[i].issue));
        }
    }
    if (!m_data.empty()) add(m_data.nextPosition, "下一期");
}

QString OmissionChart::issueLabel(int32_t issue) const {
    return QString::fromStdString(issueText(issue, m_data.runningNumbers));
}

QPointF OmissionChart::viewPointOf(double x, double y) const {
    return mapFromScene(chart()->mapToScene(chart()->mapToPosition(QPointF(x, y))));
}

double OmissionChart::valueAt(QPoint viewPos) const {
    return chart()->mapToValue(chart()->mapFromScene(mapToScene(viewPos))).x();
}

QString OmissionChart::tooltipAt(QPoint viewPos) const {
    if (m_data.empty() || !chart()->plotArea().contains(chart()->mapFromScene(mapToScene(viewPos)))) return {};
    const double x = valueAt(viewPos);
    auto near = [&](int32_t position) { return std::abs(viewPointOf(position, 0).x() - viewPos.x()) <= kHoverPixels; };
    if (near(m_data.nextPosition)) return QString("下一期（未开奖）\n最后遗漏 %1，仍在增长").arg(m_data.lastOmission);
    const auto& hits = m_data.hits;
    auto it = std::lower_bound(hits.begin(), hits.end(), x, [](const GapPoint& p, double v) { return p.position < v; });
    const GapPoint* best = nullptr;
    for (auto c : {it, it == hits.begin() ? it : it - 1})
        if (c != hits.end() && (!best || std::abs(c->position - x) < std::abs(best->position - x))) best = &*c;
    if (!best || !near(best->position)) return {};
    // Zoomed out, a column's stem stands for its tallest hit: name that one.
    if (!m_everyHit) {
        const double half = kHoverPixels * (m_hi - m_lo) / plotWidth();
        auto a = std::lower_bound(hits.begin(), hits.end(), x - half,
                                  [](const GapPoint& p, double v) { return p.position < v; });
        for (; a != hits.end() && a->position <= x + half; ++a)
            if (a->omission > best->omission) best = &*a;
    }
    return QString("期号 %1\n遗漏 %2").arg(issueLabel(best->issue)).arg(best->omission);
}

void OmissionChart::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (m_data.empty() || notches == 0) return QChartView::wheelEvent(e);
    const QPoint at = e->position().toPoint();
    const double x =
        chart()->plotArea().contains(chart()->mapFromScene(mapToScene(at))) ? valueAt(at) : (m_lo + m_hi) / 2;
    zoomAt(x, std::pow(0.8, notches));
    e->accept();
}

void OmissionChart::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || m_data.empty()) return QChartView::mousePressEvent(e);
    m_dragging = true;
    m_dragX = e->position().toPoint().x();
    m_dragRange = {m_lo, m_hi};
    setCursor(Qt::ClosedHandCursor);
    e->accept();
}

void OmissionChart::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (m_dragging) {
        const double shift = (m_dragX - at.x()) * (m_dragRange.second - m_dragRange.first) / plotWidth();
        setVisibleRange(m_dragRange.first + shift, m_dragRange.second + shift);
        e->accept();
        return;
    }
    const QString tip = tooltipAt(at);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(e->globalPosition().toPoint(), tip, this);
    QChartView::mouseMoveEvent(e);
}

void OmissionChart::mouseReleaseEvent(QMouseEvent* e) {
    if (!m_dragging) return QChartView::mouseReleaseEvent(e);
    m_dragging = false;
    unsetCursor();
    e->accept();
}

void OmissionChart::mouseDoubleClickEvent(QMouseEvent* e) {
    showAll();
    e->accept();
}

QImage renderChart(const GapSeries& series, QSize size) {
    OmissionChart view;
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.setFrameShape(QFrame::NoFrame);
    view.resize(size);
    view.setSeries(series);
    view.show();
    view.chart()->layout()->activate();
    return view.grab().toImage();
}

bool writeChartPng(const GapSeries& series, const QString& path, QSize size) {
    return renderChart(series, size).save(path, "PNG");
}

}  // namespace k3
