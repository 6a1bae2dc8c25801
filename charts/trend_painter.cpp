#include "charts/trend_painter.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>
#include <utility>

namespace k3 {

namespace {

QColor groupColour(TrendGroup g) { return QColor::fromRgb(trendGroupColour(g)); }

int itemColumnWidth(const TrendItem& it) {
    switch (it.group) {
        case TrendGroup::kNumber: return 32;  // room for "2×3"
        case TrendGroup::kShape: return 50;
        default: return 28;
    }
}

const QColor kGridLine(0xD8, 0xD8, 0xD8);
const QColor kGroupLine(0x90, 0x90, 0x90);
const QColor kHeaderFill(0xEE, 0xF1, 0xF6);
const QColor kStatsFill(0xFF, 0xF8, 0xE1);
const QColor kMissText(0xA0, 0xA0, 0xA0);

// The fonts of the chart, from the application's font: the texts, the omissions, the statistics, the
// balls.
struct Fonts {
    QFont text, small, stat, ball;
};

const Fonts& fonts() {
    static const Fonts f = [] {
        Fonts x;
        x.text.setPixelSize(12);
        x.small.setPixelSize(11);
        x.stat.setPixelSize(10);
        x.ball = x.small;
        x.ball.setBold(true);
        return x;
    }();
    return f;
}

bool groupStarts(int c) {
    return c == 0 || trendItems()[static_cast<size_t>(c)].group != trendItems()[static_cast<size_t>(c - 1)].group;
}

}  // namespace

TrendGeometry::TrendGeometry() {
    const int left[] = {84, 64, 40};
    for (int i = 0; i < 3; ++i) m_leftX[static_cast<size_t>(i) + 1] = m_leftX[static_cast<size_t>(i)] + left[i];
    for (int c = 0; c < kTrendColumns; ++c)
        m_itemX[static_cast<size_t>(c) + 1] =
            m_itemX[static_cast<size_t>(c)] + itemColumnWidth(trendItems()[size_t(c)]);
}

TrendGeometry::TrendGeometry(const TrendChart& chart) : TrendGeometry() {
    const Fonts& f = fonts();
    const QFontMetrics small(f.small), stat(f.stat);
    for (int c = 0; c < kTrendColumns; ++c) {
        const TrendColumnStats& s = chart.stats()[static_cast<size_t>(c)];
        int need = small.horizontalAdvance(QString::number(s.maxOmission));
        for (int row = 0; row < kStatRows; ++row)
            need = std::max(need, stat.horizontalAdvance(QString::fromStdString(trendStatText(s, row))));
        const int width = std::max(itemWidth(c), need + 6);
        m_itemX[static_cast<size_t>(c) + 1] = m_itemX[static_cast<size_t>(c)] + width;
    }
}

std::optional<int> TrendGeometry::itemAt(int x) const {
    if (x < 0 || x >= itemsWidth()) return std::nullopt;
    auto it = std::upper_bound(m_itemX.begin(), m_itemX.end(), x);
    return static_cast<int>(it - m_itemX.begin()) - 1;
}

namespace {

// One paint of the chart: what the view shows (its size, scroll offsets and the rows in view) and
// the steps that draw it, each over its own part of the view.
class TrendPaint {
public:
    TrendPaint(QPainter& p, const TrendChart& chart, const TrendGeometry& geo, QSize size, int top, int left,
               const TrendPaintOptions& options, std::vector<TrendCell>& cells)
        : p(p),
          chart(chart),
          geo(geo),
          options(options),
          cells(cells),
          w(size.width()),
          h(size.height()),
          top(top),
          bodyBottom(std::max(kBodyTop, h - geo.statsHeight())),
          itemsLeft(geo.leftWidth() - left),
          rows(chart.rowCount()),
          firstRow(std::min(rows, static_cast<size_t>(std::max(0, top) / kRh))),
          lastRow(std::min(rows, static_cast<size_t>(std::max(0, top + (bodyBottom - kBodyTop)) / kRh + 1))) {
        chart.cells(firstRow, lastRow - firstRow, cells);
    }

    void paint() {
        p.fillRect(QRect(0, 0, w, h), Qt::white);
        p.setFont(fonts().text);
        p.save();
        p.setClipRect(QRect(geo.leftWidth(), kBodyTop, std::max(0, w - geo.leftWidth()), bodyBottom - kBodyTop));
        bodyShading();
        bodyLines();
        if (options.showOmission) omissions();
        p.setRenderHint(QPainter::Antialiasing, true);
        if (options.line && lastRow > firstRow) sumLine();
        balls();
        p.restore();
        leftColumns();
        header();
        statRows();
    }

private:
    static constexpr int kRh = TrendGeometry::kRowHeight, kHh = TrendGeometry::kHeaderHeight, kBodyTop = kHh;

    int rowY(size_t r) const { return kBodyTop + static_cast<int>(r) * kRh - top; }
    QRect itemRect(int c, int y) const { return QRect(itemsLeft + geo.itemX(c), y, geo.itemWidth(c), kRh); }
    const TrendCell& cell(size_t r, int c) const { return cells[(r - firstRow) * kTrendColumns + size_t(c)]; }
    static TrendGroup groupOf(int c) { return trendItems()[static_cast<size_t>(c)].group; }

    // Every other row shaded; with layers, the cells after an item's last hit tinted in its group's colour.
    void bodyShading() {
        for (size_t r = firstRow; r < lastRow; ++r) {
            const int y = rowY(r);
            if (r % 2) p.fillRect(QRect(itemsLeft, y, geo.itemsWidth(), kRh), QColor(0xFA, 0xFA, 0xFA));
            if (!options.layers) continue;
            for (int c = 0; c < kTrendColumns; ++c) {
                const auto& last = chart.stats()[static_cast<size_t>(c)].lastHit;
                if (last && r <= *last) continue;
                QColor tint = groupColour(groupOf(c));
                tint.setAlpha(38);
                p.fillRect(itemRect(c, y), tint);
            }
        }
    }

    void bodyLines() {
        p.setPen(kGridLine);
        for (size_t r = firstRow; r < lastRow; ++r) {
            const int y = rowY(r) + kRh - 1;
            p.drawLine(itemsLeft, y, itemsLeft + geo.itemsWidth(), y);
        }
        for (int c = 0; c <= kTrendColumns; ++c) {
            const int x = itemsLeft + geo.itemX(c);
            p.setPen(c == kTrendColumns || groupStarts(c) ? kGroupLine : kGridLine);
            p.drawLine(x, kBodyTop, x, bodyBottom);
        }
    }

    void omissions() {
        p.setPen(kMissText);
        p.setFont(fonts().small);
        for (size_t r = firstRow; r < lastRow; ++r)
            for (int c = 0; c < kTrendColumns; ++c)
                if (!cell(r, c).hit)
                    p.drawText(itemRect(c, rowY(r)), Qt::AlignCenter, QString::number(cell(r, c).omission));
    }

    // The line through the sums, from the row before the view to the row after it, so that it runs on
    // past the edges.
    void sumLine() {
        QPainterPath path;
        const size_t from = firstRow > 0 ? firstRow - 1 : 0, to = std::min(rows, lastRow + 1);
        bool started = false;
        for (size_t r = from; r < to; ++r) {
            const int sum = chart.sum(r);
            if (sum < 3 || sum > 18) continue;  // a stored die outside 1..6 has no ball
            const QPointF at = QRectF(itemRect(sum - 3, rowY(r))).center();
            if (!std::exchange(started, true))
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        p.setPen(QPen(groupColour(TrendGroup::kSum), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }

    void balls() {
        const QFontMetrics metrics(fonts().ball);
        p.setFont(fonts().ball);
        for (size_t r = firstRow; r < lastRow; ++r) {
            const Snapshot::Dice& d = chart.dice(r);
            for (int c = 0; c < kTrendColumns; ++c) {
                if (!cell(r, c).hit) continue;
                const QString text = QString::fromStdString(trendBallText(c, d[0], d[1], d[2]));
                const QRect rect = itemRect(c, rowY(r));
                const int dia = kRh - 4;
                const int bw = std::min(rect.width() - 2, std::max(dia, metrics.horizontalAdvance(text) + 8));
                const QRectF ball(rect.center().x() + 0.5 - bw / 2.0, rect.top() + 2, bw, dia);
                p.setPen(Qt::NoPen);
                p.setBrush(groupColour(groupOf(c)));
                p.drawRoundedRect(ball, dia / 2.0, dia / 2.0);
                p.setPen(Qt::white);
                p.drawText(ball, Qt::AlignCenter, text);
            }
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setFont(fonts().text);
    }

    // 期号, 开奖号码 and 和值 of the rows in view; they stay in place when the items scroll sideways.
    void leftColumns() {
        p.save();
        p.setClipRect(QRect(0, kBodyTop, geo.leftWidth(), bodyBottom - kBodyTop));
        p.fillRect(QRect(0, kBodyTop, geo.leftWidth(), bodyBottom - kBodyTop), Qt::white);
        auto column = [&](int i, int y) { return QRect(geo.leftX(i), y, geo.leftX(i + 1) - geo.leftX(i), kRh); };
        for (size_t r = firstRow; r < lastRow; ++r) {
            const int y = rowY(r);
            if (r % 2) p.fillRect(QRect(0, y, geo.leftWidth(), kRh), QColor(0xFA, 0xFA, 0xFA));
            const Snapshot::Dice& d = chart.dice(r);
            p.setPen(Qt::black);
            p.drawText(column(0, y), Qt::AlignCenter, QString::fromStdString(chart.issueText(r)));
            p.setPen(QColor(0xB0, 0x20, 0x20));
            p.drawText(column(1, y), Qt::AlignCenter, QString("%1%2%3").arg(d[0]).arg(d[1]).arg(d[2]));
            p.setPen(Qt::black);
            p.drawText(column(2, y), Qt::AlignCenter, QString::number(chart.sum(r)));
            p.setPen(kGridLine);
            p.drawLine(0, y + kRh - 1, geo.leftWidth(), y + kRh - 1);
        }
        p.setPen(kGroupLine);
        for (int i = 1; i <= 3; ++i) p.drawLine(geo.leftX(i) - 1, kBodyTop, geo.leftX(i) - 1, bodyBottom);
        p.restore();
    }

    // Group names over the item labels; the left headers over both lines.
    void header() {
        const int half = kHh / 2;
        p.fillRect(QRect(0, 0, w, kHh), kHeaderFill);
        p.save();
        p.setClipRect(QRect(geo.leftWidth(), 0, std::max(0, w - geo.leftWidth()), h));
        QFont bold = fonts().text;
        bold.setBold(true);
        for (int c = 0; c < kTrendColumns; ++c) {
            const TrendItem& it = trendItems()[static_cast<size_t>(c)];
            const QRect labelRect(itemsLeft + geo.itemX(c), half, geo.itemWidth(c), half);
            p.setPen(Qt::black);
            p.drawText(labelRect, Qt::AlignCenter, QString::fromStdString(it.label));
            p.setPen(kGridLine);
            p.drawLine(labelRect.right(), half, labelRect.right(), kHh);
            if (!groupStarts(c)) continue;
            int end = c + 1;
            while (end < kTrendColumns && !groupStarts(end)) ++end;
            const QRect groupRect(itemsLeft + geo.itemX(c), 0, geo.itemX(end) - geo.itemX(c), half);
            p.setPen(groupColour(it.group));
            p.setFont(bold);
            p.drawText(groupRect, Qt::AlignCenter, trendGroupName(it.group));
            p.setFont(fonts().text);
            p.setPen(kGroupLine);
            p.drawLine(groupRect.left(), 0, groupRect.left(), kHh);
            p.drawLine(groupRect.left(), half, groupRect.right(), half);
        }
        p.restore();
        p.fillRect(QRect(0, 0, geo.leftWidth(), kHh), kHeaderFill);
        const char* leftHeaders[] = {"期号", "开奖号码", "和值"};
        for (int i = 0; i < 3; ++i) {
            p.setPen(Qt::black);
            p.drawText(QRect(geo.leftX(i), 0, geo.leftX(i + 1) - geo.leftX(i), kHh), Qt::AlignCenter, leftHeaders[i]);
            p.setPen(kGroupLine);
            p.drawLine(geo.leftX(i + 1) - 1, 0, geo.leftX(i + 1) - 1, kHh);
        }
        p.setPen(kGroupLine);
        p.drawLine(0, kHh - 1, w, kHh - 1);
    }

    // The statistic rows under the body, their names in the left columns.
    void statRows() {
        const int st = bodyBottom;
        p.fillRect(QRect(0, st, w, h - st), kStatsFill);
        p.setPen(kGroupLine);
        p.drawLine(0, st, w, st);
        for (int s = 0; s < TrendGeometry::kStatRows; ++s) {
            const int y = st + s * kRh;
            p.setPen(Qt::black);
            p.drawText(QRect(0, y, geo.leftWidth(), kRh), Qt::AlignCenter, trendStatNames()[static_cast<size_t>(s)]);
            p.save();
            p.setClipRect(QRect(geo.leftWidth(), st, std::max(0, w - geo.leftWidth()), h - st));
            for (int c = 0; c < kTrendColumns; ++c) {
                const QString text = QString::fromStdString(trendStatText(chart.stats()[static_cast<size_t>(c)], s));
                p.setPen(Qt::black);
                p.setFont(fonts().stat);
                p.drawText(itemRect(c, y), Qt::AlignCenter, text);
                p.setFont(fonts().text);
                p.setPen(groupStarts(c) ? kGroupLine : kGridLine);
                p.drawLine(itemsLeft + geo.itemX(c), y, itemsLeft + geo.itemX(c), y + kRh);
            }
            p.restore();
            p.setPen(kGridLine);
            p.drawLine(0, y + kRh - 1, w, y + kRh - 1);
        }
        p.setPen(kGroupLine);
        p.drawLine(geo.leftWidth() - 1, st, geo.leftWidth() - 1, h);
    }

    QPainter& p;
    const TrendChart& chart;
    const TrendGeometry& geo;
    const TrendPaintOptions& options;
    std::vector<TrendCell>& cells;
    const int w, h, top, bodyBottom, itemsLeft;  // itemsLeft: x of the first item column
    const size_t rows, firstRow, lastRow;        // the rows in view: firstRow..lastRow-1
};

}  // namespace

void paintTrend(QPainter& p, const TrendChart& chart, const TrendGeometry& geo, QSize size, int top, int left,
                const TrendPaintOptions& options, std::vector<TrendCell>& cells) {
    TrendPaint(p, chart, geo, size, top, left, options, cells).paint();
}

QImage renderTrend(const TrendChart& chart, const TrendPaintOptions& options) {
    const TrendGeometry geo(chart);
    if (chart.rowCount() > kTrendPictureRows) return {};
    const QSize size(geo.fullWidth(), geo.fullHeight(chart.rowCount()));
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    QPainter p(&image);
    std::vector<TrendCell> cells;
    paintTrend(p, chart, geo, size, 0, 0, options, cells);
    return image;
}

}  // namespace k3
