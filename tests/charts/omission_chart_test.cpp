// The omission chart: what it draws against the grid it comes from, zooming, panning, the tooltip and
// the PNG.
#include <gtest/gtest.h>

#include <QCategoryAxis>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QSet>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include "charts/omission_chart.h"
#include "charts_support.h"
#include "qt_support.h"
#include "test_support.h"

namespace {

using k3::OmissionChart;

struct App {
    App() { k3test::chartApp(); }
};

// A chart laid out at a fixed size, offscreen.
struct ShownChart : App {
    OmissionChart chart;
    explicit ShownChart(QSize size = {1000, 500}) {
        chart.resize(size);
        chart.show();
        if (!QTest::qWaitForWindowExposed(&chart, 5000)) ADD_FAILURE() << "the chart was never shown";
    }
    void set(const k3::GapSeries& s) {
        chart.setSeries(s);
        QCoreApplication::processEvents();
    }
};

// The stems as (position, height) pairs; each stem is drawn base, top, base.
std::vector<std::pair<double, double>> stemsOf(const QLineSeries* s) {
    const auto pts = s->points();
    EXPECT_EQ(pts.size() % 3, 0);
    std::vector<std::pair<double, double>> out;
    for (qsizetype i = 0; i + 2 < pts.size(); i += 3) {
        EXPECT_EQ(pts[i].y(), 0);
        EXPECT_EQ(pts[i + 2].y(), 0);
        EXPECT_EQ(pts[i].x(), pts[i + 1].x());
        out.push_back({pts[i + 1].x(), pts[i + 1].y()});
    }
    return out;
}

TEST(OmissionChart, DrawsTheSearchGridItCameFrom) {
    ShownChart v;
    k3::Snapshot snap = k3test::generatedSnapshot(1500);
    k3::SearchInput in;
    in.free = false;
    in.selected = {true, true, false};
    in.values = {3, 4, 0};
    in.texts = {"3", "4", ""};
    in.from = std::to_string(snap.rows[20].sqqh);
    in.to = std::to_string(snap.rows.back().sqqh);
    k3::SearchOutput out = k3::runSearch(snap, in);
    ASSERT_GT(out.matches.rows.size(), 10u);
    v.set(k3::gapSeriesOf(out, k3::theoreticalOmission(in, 1)));

    ASSERT_TRUE(v.chart.drawsEveryHit());
    auto stems = stemsOf(v.chart.stems());
    ASSERT_EQ(stems.size(), out.matches.rows.size());
    int32_t position = 20, maximum = 0;
    for (size_t i = 0; i < stems.size(); ++i) {
        const int32_t o = std::stoi(out.matches.rows[i][4]);
        position += o;
        maximum = std::max(maximum, o);
        EXPECT_EQ(stems[i], std::make_pair(double(position), double(o)));
        EXPECT_EQ(snap.rows[size_t(position - 1)].sqqh, std::stoi(out.matches.rows[i][0]));
    }
    // Few hits: each top has its dot.
    ASSERT_EQ(v.chart.tops()->count(), int(stems.size()));
    EXPECT_EQ(v.chart.tops()->at(0), QPointF(stems[0].first, stems[0].second));
    // The last omission apart, at the next issue's place, and the three levels.
    EXPECT_EQ(v.chart.lastStem()->points(), (QList<QPointF>{{1501, 0}, {1501, double(out.stats.last)}}));
    EXPECT_EQ(v.chart.maximumLine()->at(0).y(), maximum);
    EXPECT_EQ(maximum, out.stats.maximum);
    EXPECT_DOUBLE_EQ(v.chart.averageLine()->at(0).y(), double(position - 20) / double(stems.size()));
    EXPECT_DOUBLE_EQ(v.chart.theoreticalLine()->at(1).y(), 36.0);
    EXPECT_EQ(v.chart.theoreticalLine()->name(), "理论遗漏 36.00");
    EXPECT_GE(v.chart.omissionAxis()->max(), double(std::max(maximum, out.stats.last)));
    // The issue labels are issues of hits, in order.
    const QStringList labels = v.chart.issueAxis()->categoriesLabels();
    ASSERT_GE(labels.size(), 3);
    for (const QString& l : labels) {
        if (l == "下一期") continue;
        const auto row = snap.find(l.toInt());
        ASSERT_TRUE(row) << l.toStdString();
        EXPECT_EQ(v.chart.issueAxis()->endValue(l), snap.rows[*row].idx);
    }
}

TEST(OmissionChart, LongHistoriesOneStemPerColumnExactWhenZoomedIn) {
    ShownChart v;
    k3::GapSeries s = k3test::syntheticSeries(70000);
    v.set(s);
    ASSERT_FALSE(v.chart.drawsEveryHit());
    auto stems = stemsOf(v.chart.stems());
    EXPECT_LE(stems.size(), 1000u);
    EXPECT_GT(stems.size(), 500u);
    // Every stem is a real hit, and the tallest hit is among them.
    std::map<double, double> byPosition;
    for (auto& h : s.hits) byPosition[h.position] = h.omission;
    for (auto& [x, y] : stems) ASSERT_EQ(byPosition.at(x), y);
    EXPECT_EQ(
        std::max_element(stems.begin(), stems.end(), [](auto& a, auto& b) { return a.second < b.second; })->second,
        *s.maximum);

    // Zoomed in: every hit of the view, exactly.
    const double lo = s.hits[30000].position - 0.5, hi = s.hits[30200].position + 0.5;
    v.chart.setVisibleRange(lo, hi);
    ASSERT_TRUE(v.chart.drawsEveryHit());
    stems = stemsOf(v.chart.stems());
    ASSERT_EQ(stems.size(), 201u);
    for (size_t i = 0; i < stems.size(); ++i)
        EXPECT_EQ(stems[i], std::make_pair(double(s.hits[30000 + i].position), double(s.hits[30000 + i].omission)));

    // The view stays inside the series and never narrower than a few positions.
    v.chart.setVisibleRange(-5000, -4000);
    EXPECT_EQ(v.chart.visibleRange().first, v.chart.fullRange().first);
    v.chart.setVisibleRange(100, 100.5);
    EXPECT_GE(v.chart.visibleRange().second - v.chart.visibleRange().first, 10);
    v.chart.showAll();
    EXPECT_EQ(v.chart.visibleRange(), v.chart.fullRange());
}

TEST(OmissionChart, WheelZoomsAndDragPans) {
    ShownChart v;
    k3::GapSeries s = k3test::syntheticSeries(2000);
    v.set(s);
    QWidget* port = v.chart.viewport();
    const QPoint centre = port->rect().center();
    const auto [lo0, hi0] = v.chart.visibleRange();
    QWheelEvent in(centre, port->mapToGlobal(centre), {}, {0, 120 * 3}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                   false);
    QApplication::sendEvent(port, &in);
    auto [lo1, hi1] = v.chart.visibleRange();
    EXPECT_NEAR(hi1 - lo1, (hi0 - lo0) * 0.512, 1);
    EXPECT_GT(lo1, lo0);
    EXPECT_LT(hi1, hi0);

    // Dragging to the left shows later draws, by as many positions as the pixels moved.
    QTest::mousePress(port, Qt::LeftButton, {}, centre);
    QTest::mouseMove(port, centre - QPoint(100, 0));
    QTest::mouseRelease(port, Qt::LeftButton, {}, centre - QPoint(100, 0));
    auto [lo2, hi2] = v.chart.visibleRange();
    EXPECT_GT(lo2, lo1);
    EXPECT_NEAR(hi2 - lo2, hi1 - lo1, 1e-6);

    // A double-click shows everything again; wheeling out never goes past it.
    QTest::mouseDClick(port, Qt::LeftButton, {}, centre);
    EXPECT_EQ(v.chart.visibleRange(), v.chart.fullRange());
    QWheelEvent out(centre, port->mapToGlobal(centre), {}, {0, -120 * 5}, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
    QApplication::sendEvent(port, &out);
    EXPECT_EQ(v.chart.visibleRange(), v.chart.fullRange());
}

TEST(OmissionChart, TooltipNamesIssueAndOmission) {
    ShownChart v;
    k3::GapSeries s = k3test::syntheticSeries(40);
    v.set(s);
    const k3::GapPoint& h = s.hits[17];
    const QPointF at = v.chart.mapFromScene(
        v.chart.chart()->mapToScene(v.chart.chart()->mapToPosition(QPointF(h.position, h.omission / 2.0))));
    EXPECT_EQ(v.chart.tooltipAt(at.toPoint()), QString("期号 %1\n遗漏 %2").arg(h.issue).arg(h.omission));
    const QPointF next =
        v.chart.mapFromScene(v.chart.chart()->mapToScene(v.chart.chart()->mapToPosition(QPointF(s.nextPosition, 1))));
    EXPECT_TRUE(v.chart.tooltipAt(next.toPoint()).contains("最后遗漏 7"));
    EXPECT_EQ(v.chart.tooltipAt({2, 2}), "");  // outside the plot
}

TEST(OmissionChart, EmptyAndNoHitSeries) {
    ShownChart v;
    v.chart.clear();
    EXPECT_EQ(v.chart.stems()->count(), 0);
    EXPECT_FALSE(v.chart.lastStem()->isVisible());
    EXPECT_EQ(v.chart.tooltipAt(v.chart.rect().center()), "");
    EXPECT_FALSE(v.chart.omissionAxis()->isVisible());  // no axis titles stray over an empty plot
    // Nothing hit: only the growing gap and the theoretical omission.
    k3::GapSeries s;
    s.start = 10;
    s.nextPosition = 60;
    s.lastOmission = 50;
    s.theoretical = 216;
    v.set(s);
    EXPECT_EQ(v.chart.stems()->count(), 0);
    EXPECT_TRUE(v.chart.lastStem()->isVisible());
    EXPECT_FALSE(v.chart.averageLine()->isVisible());
    EXPECT_FALSE(v.chart.maximumLine()->isVisible());
    EXPECT_TRUE(v.chart.theoreticalLine()->isVisible());
    EXPECT_GE(v.chart.omissionAxis()->max(), 216);
}

TEST(OmissionChart, PngIsWrittenAndNotBlank) {
    k3test::chartApp();
    k3test::TempDir dir;
    const QString path = QString::fromStdString(dir.file("chart.png"));
    ASSERT_TRUE(k3::writeChartPng(k3test::syntheticSeries(5000), path, {800, 400}));
    QImage img(path);
    ASSERT_EQ(img.size(), QSize(800, 400));
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, y));
    EXPECT_GT(colours.size(), 8);
    // The stems' blue and the last omission's orange are there.
    auto has = [&colours](QRgb c) { return colours.contains(c); };
    EXPECT_TRUE(has(qRgb(0x1f, 0x77, 0xb4)));
    EXPECT_TRUE(has(qRgb(0xff, 0x7f, 0x0e)));
    EXPECT_FALSE(k3::writeChartPng(k3test::syntheticSeries(10), QString::fromStdString(dir.file("no/such/x.png"))));
}

}  // namespace

namespace {

// A rectangle of the chart scene in the view's coordinates.
QRect inView(const OmissionChart& chart, const QRectF& sceneRect) {
    return chart.mapFromScene(chart.chart()->mapToScene(sceneRect)).boundingRect();
}

}  // namespace

// The pointer rests on a stem: the tooltip stays after the application asks for a tooltip again (the
// graphics view would answer that nothing there has one and hide it).
TEST(OmissionChart, TooltipStaysWhileThePointerRests) {
    ShownChart v;
    k3::GapSeries s = k3test::syntheticSeries(40);
    v.set(s);
    const k3::GapPoint& h = s.hits[17];
    const QPoint at = v.chart.mapFromScene(
        v.chart.chart()->mapToScene(v.chart.chart()->mapToPosition(QPointF(h.position, h.omission / 2.0))));
    struct CountToolTips : QObject {
        int asked = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::ToolTip) ++asked;
            return false;
        }
    } counter;
    v.chart.viewport()->installEventFilter(&counter);
    // Tooltips are asked for in the active window only.
    v.chart.activateWindow();
    QApplication::setActiveWindow(&v.chart);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v.chart, 5000)) << "the chart's window never became active";
    // From elsewhere onto the stem, no button held (a double-click of an earlier test may leave the
    // application thinking one is): a move to where the pointer already is would not count as one.
    QTest::mouseClick(v.chart.viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseMove(v.chart.viewport(), QPoint(3, 3));
    QTest::mouseMove(v.chart.viewport(), at);
    const QString expected = QString("期号 %1\n遗漏 %2").arg(h.issue).arg(h.omission);
    ASSERT_TRUE(k3test::eventually([&] { return QToolTip::isVisible() && QToolTip::text() == expected; }, 5000))
        << "no tooltip over the stem";
    ASSERT_TRUE(k3test::eventually([&] { return counter.asked > 0; }, 10000))
        << "the resting pointer never asked for a tooltip";
    // A tooltip told to go leaves a few hundred milliseconds later: it must still be there after a second.
    EXPECT_TRUE(k3test::holdsFor([&] { return QToolTip::isVisible() && QToolTip::text() == expected; }, 1000))
        << "the tooltip left while the pointer rested on the stem";
    QToolTip::hideText();
}

// Wide, the legend stands right of the plot; narrow, below it; its entries are never cut, and the
// issue labels are as many as the axis shows whole.
TEST(OmissionChart, LegendAndIssueLabelsWhereTheyFit) {
    for (QSize size : {QSize(1000, 500), QSize(640, 360), QSize(380, 300), QSize(320, 260)}) {
        ShownChart v(size);
        v.set(k3test::syntheticSeries(300));
        const QList<QLabel*> entries = v.chart.legendEntries();
        ASSERT_EQ(entries.size(), 5) << size.width();
        const QRect plot = inView(v.chart, v.chart.chart()->plotArea());
        if (size.width() == 1000) {
            EXPECT_FALSE(v.chart.legendBelow());
        }
        if (size.width() <= 380) {
            EXPECT_TRUE(v.chart.legendBelow());
        }
        QRect legend;
        QList<QRect> placed;
        for (QLabel* e : entries) {
            ASSERT_TRUE(e->isVisible());
            const QRect r(e->mapTo(&v.chart, QPoint(0, 0)), e->size());
            EXPECT_GE(r.width(), e->sizeHint().width()) << e->text().toStdString() << " at " << size.width();
            EXPECT_TRUE(v.chart.rect().contains(r)) << e->text().toStdString() << " at " << size.width();
            for (const QRect& other : placed)
                EXPECT_FALSE(r.intersects(other)) << "entries overlap at " << size.width();
            placed << r;
            legend |= r;
        }
        if (v.chart.legendBelow())
            EXPECT_GT(legend.top(), plot.bottom()) << size.width();
        else
            EXPECT_GT(legend.left(), plot.right()) << size.width();
        // The axis gives each label its share of the axis; each must fit in it.
        const QStringList labels = v.chart.issueAxis()->categoriesLabels();
        EXPECT_FALSE(labels.isEmpty()) << size.width();
        const QFontMetrics metrics(v.chart.issueAxis()->labelsFont());
        for (const QString& label : labels)
            EXPECT_LE(metrics.horizontalAdvance(label), plot.width() / (labels.size() + 1))
                << label.toStdString() << " at " << size.width();
        EXPECT_TRUE(labels.contains("下一期")) << size.width();
    }
}
