#include "omission_chart.h"

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

    stems_ = lineSeries(chart, QColor(0x1f, 0x77, 0xb4), Qt::SolidLine, 1);
    stems_->setName("遗漏次数");
    tops_ = new QScatterSeries(chart);
    tops_->setLightMarker(dot(QColor(0x1f, 0x77, 0xb4)));
    tops_->setMarkerSize(7);
    chart->addSeries(tops_);
    last_ = lineSeries(chart, QColor(0xff, 0x7f, 0x0e), Qt::SolidLine, 3);
    last_->setPointsVisible(true);
    last_->setMarkerSize(8);
    average_ = lineSeries(chart, QColor(0x2c, 0xa0, 0x2c), Qt::DashLine, 1.5);
    theoretical_ = lineSeries(chart, QColor(0x7f, 0x7f, 0x7f), Qt::DashDotLine, 1.5);
    maximum_ = lineSeries(chart, QColor(0xd6, 0x27, 0x28), Qt::DotLine, 1.5);

    axisX_ = new QCategoryAxis(chart);
    axisX_->setTitleText("期号");
    axisX_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisY_ = new QValueAxis(chart);
    axisY_->setTitleText("遗漏次数");
    // Blanks after the number keep one-digit labels as wide as the axis needs for its title.
    axisY_->setLabelFormat("%d  ");
    chart->addAxis(axisX_, Qt::AlignBottom);
    chart->addAxis(axisY_, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(axisX_);
        s->attachAxis(axisY_);
    }
    legend_ = new QWidget(this);
    legend_->setObjectName("chartLegend");
    legend_->setAttribute(Qt::WA_TransparentForMouseEvents);
    for (QLineSeries* s : {stems_, last_, average_, theoretical_, maximum_})
        legendLabels_.push_back({s, new QLabel(legend_)});
    // The stems depend on the width of the plot: one per pixel column at most.
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        if (static_cast<int>(plotWidth()) != builtWidth_) rebuild();
    });
    clear();
}

void OmissionChart::clear() { setSeries(GapSeries{}); }

void OmissionChart::setSeries(GapSeries series) {
    data_ = std::move(series);
    const bool any = !data_.empty();
    // Before the first search the chart only says what it will show.
    chart()->setTitle(any ? QString::fromStdString(data_.title) + " 遗漏走势" : QString("检索后，这里显示遗漏走势"));
    axisX_->setVisible(any);
    axisY_->setVisible(any);
    fullLo_ = data_.start;
    // Room right of the growing last omission, so it stands clear of the border.
    fullHi_ = std::max<double>(data_.nextPosition + std::max(1.0, (data_.nextPosition - fullLo_) / 100.0),
                               fullLo_ + kMinSpan);
    double top = std::max<double>(data_.lastOmission, data_.maximum.value_or(0));
    top = std::max({top, data_.average.value_or(0), data_.theoretical.value_or(0), 1.0});
    // A round step between 1/8 and 1/4 of the highest value, and the axis a whole number of steps.
    const double magnitude = std::pow(10.0, std::floor(std::log10(top / 5)));
    double step = magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude * 5 >= top) {
            step = std::max(1.0, m * magnitude);
            break;
        }
    const double steps = std::ceil(top * 1.04 / step);
    axisY_->setRange(0, steps * step);
    axisY_->setTickCount(static_cast<int>(steps) + 1);

    last_->setVisible(any);
    last_->setName(QString("最后遗漏 %1（未完）").arg(data_.lastOmission));
    last_->replace(
        any ? QList<QPointF>{{double(data_.nextPosition), 0}, {double(data_.nextPosition), double(data_.lastOmission)}}
            : QList<QPointF>{});
    setLevel(average_, any ? data_.average : std::nullopt, fullLo_, fullHi_, "平均遗漏 %1");
    setLevel(theoretical_, any ? data_.theoretical : std::nullopt, fullLo_, fullHi_, "理论遗漏 %1");
    maximum_->clear();
    maximum_->setVisible(data_.maximum.has_value());
    if (data_.maximum) {
        maximum_->setName(QString("最大遗漏 %1").arg(*data_.maximum));
        maximum_->replace(QList<QPointF>{{fullLo_, double(*data_.maximum)}, {fullHi_, double(*data_.maximum)}});
    }
    stems_->setVisible(any);
    fillLegend();
    placeLegend();
    lo_ = fullLo_;
    hi_ = fullHi_;
    rebuild();
}

QList<QLabel*> OmissionChart::legendEntries() const {
    QList<QLabel*> shown;
    for (const auto& [series, label] : legendLabels_)
        if (series->isVisible()) shown << label;
    return shown;
}

// One entry per visible line: a stroke in the line's colour, then its name.
void OmissionChart::fillLegend() {
    for (const auto& [series, label] : legendLabels_) {
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
        legend_->hide();
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
    const int nextLabel = QFontMetrics(axisX_->labelsFont()).horizontalAdvance("下一期") / 2 + kChartMargin;
    legendBelow_ = area.width() - besideWidth < kMinPlotWidth;
    const int count = static_cast<int>(shown.size());
    const int columns =
        legendBelow_ ? std::clamp((area.width() - 2 * kLegendPadding + kLegendGap) / (widest + kLegendGap), 1, count)
                     : 1;
    const int rows = (count + columns - 1) / columns;
    const int height = rows * tallest + 2 * kLegendPadding;
    for (int i = 0; i < count; ++i)
        shown[i]->setGeometry(kLegendPadding + (i % columns) * (widest + kLegendGap),
                              kLegendPadding + (i / columns) * tallest, widest, tallest);
    if (legendBelow_) {
        legend_->setGeometry(area.left(), area.bottom() + 1 - height, area.width(), height);
        chart()->setMargins(QMargins(kChartMargin, kChartMargin, nextLabel, height));
    } else {
        legend_->setGeometry(area.right() + 1 - besideWidth, area.top() + (area.height() - height) / 2, besideWidth,
                             height);
        chart()->setMargins(QMargins(kChartMargin, kChartMargin, besideWidth + nextLabel, kChartMargin));
    }
    legend_->show();
    legend_->raise();
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
    const double full = fullHi_ - fullLo_;
    double span = std::clamp(hi - lo, std::min(kMinSpan, full), full);
    lo = std::clamp(lo, fullLo_, fullHi_ - span);
    if (lo == lo_ && lo + span == hi_) return;
    lo_ = lo;
    hi_ = lo + span;
    rebuild();
}

void OmissionChart::zoomAt(double x, double factor) { setVisibleRange(x - (x - lo_) * factor, x + (hi_ - x) * factor); }

void OmissionChart::showAll() { setVisibleRange(fullLo_, fullHi_); }

double OmissionChart::plotWidth() const {
    const double w = chart()->plotArea().width();
    return w > 1 ? w : std::max(1, width() - 80);
}

void OmissionChart::rebuild() {
    const double width = plotWidth();
    builtWidth_ = static_cast<int>(width);
    axisX_->setRange(lo_, hi_);
    const auto& hits = data_.hits;
    auto byPosition = [](const GapPoint& p, double x) { return p.position < x; };
    const size_t first = std::lower_bound(hits.begin(), hits.end(), lo_, byPosition) - hits.begin();
    const size_t last =
        std::upper_bound(hits.begin(), hits.end(), hi_, [](double x, const GapPoint& p) { return x < p.position; }) -
        hits.begin();
    const size_t n = last - first;
    const auto columns = static_cast<size_t>(std::max(1.0, width));

    QList<QPointF> stems, tops;
    auto stem = [&stems](const GapPoint& p) {
        stems.append({double(p.position), 0});
        stems.append({double(p.position), double(p.omission)});
        stems.append({double(p.position), 0});
    };
    everyHit_ = n <= columns;
    if (everyHit_) {
        stems.reserve(static_cast<qsizetype>(3 * n));
        for (size_t i = first; i < last; ++i) stem(hits[i]);
        if (n * 6 <= columns)
            for (size_t i = first; i < last; ++i) tops.append({double(hits[i].position), double(hits[i].omission)});
    } else {
        // One stem per pixel column: the column's largest omission, at the hit that has it.
        stems.reserve(static_cast<qsizetype>(3 * columns));
        const double scale = static_cast<double>(columns) / (hi_ - lo_);
        size_t column = SIZE_MAX, best = first;
        for (size_t i = first; i < last; ++i) {
            const auto c = std::min(columns - 1, static_cast<size_t>((hits[i].position - lo_) * scale));
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
    stems_->replace(stems);
    tops_->replace(tops);
    relabel(first, last, width);
}

void OmissionChart::relabel(size_t first, size_t last, double width) {
    for (const QString& label : axisX_->categoriesLabels()) axisX_->remove(label);
    axisX_->setStartValue(lo_);
    const auto& hits = data_.hits;
    const double pixels = width / (hi_ - lo_);  // per position
    // The axis gives each label its share of the axis (the width over the labels plus one) and cuts
    // a longer label: only as many issue labels as fit whole, the label of the next issue among them.
    const double labelWidth = QFontMetricsF(axisX_->labelsFont()).horizontalAdvance("000000000") + 16;
    const int count = static_cast<int>(width / labelWidth) - 2;
    // An issue label half its width from either end of the axis at least, so none reaches past the chart.
    const double inset = labelWidth / 2 / pixels;
    double previous = -1e18;
    auto add = [&](double x, const QString& label) {
        if ((x - previous) * pixels < labelWidth || x < lo_ || x > hi_) return;
        axisX_->append(label, x);
        previous = x;
    };
    if (first < last && count > 0) {
        auto byPosition = [](const GapPoint& p, double x) { return p.position < x; };
        for (int k = 0; k < count; ++k) {
            // The hit nearest to evenly spaced places: its issue is exact.
            const double target = lo_ + (k + 0.5) * (hi_ - lo_) / count;
            size_t i = std::lower_bound(hits.begin() + long(first), hits.begin() + long(last), target, byPosition) -
                       hits.begin();
            if (i == last || (i > first && target - hits[i - 1].position < hits[i].position - target)) --i;
            if (hits[i].position < lo_ + inset || hits[i].position > hi_ - inset) continue;
            // The label of the next issue keeps its place.
            if (!data_.empty() && (data_.nextPosition - hits[i].position) * pixels < labelWidth) continue;
            add(hits[i].position, issueLabel(hits[i].issue));
        }
    }
    if (!data_.empty()) add(data_.nextPosition, "下一期");
}

QString OmissionChart::issueLabel(int32_t issue) const {
    return QString::fromStdString(issueText(issue, data_.runningNumbers));
}

QPointF OmissionChart::viewPointOf(double x, double y) const {
    return mapFromScene(chart()->mapToScene(chart()->mapToPosition(QPointF(x, y))));
}

double OmissionChart::valueAt(QPoint viewPos) const {
    return chart()->mapToValue(chart()->mapFromScene(mapToScene(viewPos))).x();
}

QString OmissionChart::tooltipAt(QPoint viewPos) const {
    if (data_.empty() || !chart()->plotArea().contains(chart()->mapFromScene(mapToScene(viewPos)))) return {};
    const double x = valueAt(viewPos);
    auto near = [&](int32_t position) { return std::abs(viewPointOf(position, 0).x() - viewPos.x()) <= kHoverPixels; };
    if (near(data_.nextPosition)) return QString("下一期（未开奖）\n最后遗漏 %1，仍在增长").arg(data_.lastOmission);
    const auto& hits = data_.hits;
    auto it = std::lower_bound(hits.begin(), hits.end(), x, [](const GapPoint& p, double v) { return p.position < v; });
    const GapPoint* best = nullptr;
    for (auto c : {it, it == hits.begin() ? it : it - 1})
        if (c != hits.end() && (!best || std::abs(c->position - x) < std::abs(best->position - x))) best = &*c;
    if (!best || !near(best->position)) return {};
    // Zoomed out, a column's stem stands for its tallest hit: name that one.
    if (!everyHit_) {
        const double half = kHoverPixels * (hi_ - lo_) / plotWidth();
        auto a = std::lower_bound(hits.begin(), hits.end(), x - half,
                                  [](const GapPoint& p, double v) { return p.position < v; });
        for (; a != hits.end() && a->position <= x + half; ++a)
            if (a->omission > best->omission) best = &*a;
    }
    return QString("期号 %1\n遗漏 %2").arg(issueLabel(best->issue)).arg(best->omission);
}

void OmissionChart::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (data_.empty() || notches == 0) return QChartView::wheelEvent(e);
    const QPoint at = e->position().toPoint();
    const double x =
        chart()->plotArea().contains(chart()->mapFromScene(mapToScene(at))) ? valueAt(at) : (lo_ + hi_) / 2;
    zoomAt(x, std::pow(0.8, notches));
    e->accept();
}

void OmissionChart::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || data_.empty()) return QChartView::mousePressEvent(e);
    dragging_ = true;
    dragX_ = e->position().toPoint().x();
    dragRange_ = {lo_, hi_};
    setCursor(Qt::ClosedHandCursor);
    e->accept();
}

void OmissionChart::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    if (dragging_) {
        const double shift = (dragX_ - at.x()) * (dragRange_.second - dragRange_.first) / plotWidth();
        setVisibleRange(dragRange_.first + shift, dragRange_.second + shift);
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
    if (!dragging_) return QChartView::mouseReleaseEvent(e);
    dragging_ = false;
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
