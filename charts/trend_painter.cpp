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

void paintTrend(QPainter& p, const TrendChart& chart, const TrendGeometry& geo, QSize size, int top, int left,
                const TrendPaintOptions& options, std::vector<TrendCell>& cells) {
    constexpr int rh = TrendGeometry::kRowHeight, hh = TrendGeometry::kHeaderHeight;
    const auto& items = trendItems();
    const int w = size.width(), h = size.height();
    const int bodyTop = hh, bodyBottom = std::max(bodyTop, h - geo.statsHeight());
    const int itemsLeft = geo.leftWidth() - left;  // x of the first item column
    p.fillRect(QRect(0, 0, w, h), Qt::white);
    const QFont &font = fonts().text, &smallFont = fonts().small, &statFont = fonts().stat, &ballFont = fonts().ball;
    p.setFont(font);
    const QFontMetrics ballMetrics(ballFont);

    // The rows in view and their cells.
    const size_t rows = chart.rowCount();
    const size_t firstRow = std::min(rows, static_cast<size_t>(std::max(0, top) / rh));
    const size_t lastRow = std::min(rows, static_cast<size_t>(std::max(0, top + (bodyBottom - bodyTop)) / rh + 1));
    chart.cells(firstRow, lastRow - firstRow, cells);
    auto rowY = [&](size_t r) { return bodyTop + static_cast<int>(r) * rh - top; };
    auto itemRect = [&](int c, int y) { return QRect(itemsLeft + geo.itemX(c), y, geo.itemWidth(c), rh); };

    // The body: shading, omissions, the line, the balls.
    p.save();
    p.setClipRect(QRect(geo.leftWidth(), bodyTop, std::max(0, w - geo.leftWidth()), bodyBottom - bodyTop));
    for (size_t r = firstRow; r < lastRow; ++r) {
        const int y = rowY(r);
        if (r % 2) p.fillRect(QRect(itemsLeft, y, geo.itemsWidth(), rh), QColor(0xFA, 0xFA, 0xFA));
        if (options.layers)
            for (int c = 0; c < kTrendColumns; ++c) {
                const auto& last = chart.stats()[static_cast<size_t>(c)].lastHit;
                if (last && r <= *last) continue;
                QColor tint = groupColour(items[static_cast<size_t>(c)].group);
                tint.setAlpha(38);
                p.fillRect(itemRect(c, y), tint);
            }
    }
    p.setPen(kGridLine);
    for (size_t r = firstRow; r < lastRow; ++r) {
        const int y = rowY(r) + rh - 1;
        p.drawLine(itemsLeft, y, itemsLeft + geo.itemsWidth(), y);
    }
    for (int c = 0; c <= kTrendColumns; ++c) {
        const int x = itemsLeft + geo.itemX(c);
        p.setPen(c == kTrendColumns || groupStarts(c) ? kGroupLine : kGridLine);
        p.drawLine(x, bodyTop, x, bodyBottom);
    }
    if (options.showOmission) {
        p.setPen(kMissText);
        p.setFont(smallFont);
        for (size_t r = firstRow; r < lastRow; ++r)
            for (int c = 0; c < kTrendColumns; ++c) {
                const TrendCell& cell = cells[(r - firstRow) * kTrendColumns + static_cast<size_t>(c)];
                if (!cell.hit) p.drawText(itemRect(c, rowY(r)), Qt::AlignCenter, QString::number(cell.omission));
            }
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    if (options.line && lastRow > firstRow) {
        // From the row before the view to the row after it, so the line runs on past the edges.
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
    p.setFont(ballFont);
    for (size_t r = firstRow; r < lastRow; ++r) {
        const Snapshot::Dice& d = chart.dice(r);
        for (int c = 0; c < kTrendColumns; ++c) {
            if (!cells[(r - firstRow) * kTrendColumns + static_cast<size_t>(c)].hit) continue;
            const QString text = QString::fromStdString(trendBallText(c, d[0], d[1], d[2]));
            const QRect cell = itemRect(c, rowY(r));
            const int dia = rh - 4;
            const int bw = std::min(cell.width() - 2, std::max(dia, ballMetrics.horizontalAdvance(text) + 8));
            const QRectF ball(cell.center().x() + 0.5 - bw / 2.0, cell.top() + 2, bw, dia);
            p.setPen(Qt::NoPen);
            p.setBrush(groupColour(items[static_cast<size_t>(c)].group));
            p.drawRoundedRect(ball, dia / 2.0, dia / 2.0);
            p.setPen(Qt::white);
            p.drawText(ball, Qt::AlignCenter, text);
        }
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(font);
    p.restore();

    // The left columns of the rows in view.
    p.save();
    p.setClipRect(QRect(0, bodyTop, geo.leftWidth(), bodyBottom - bodyTop));
    p.fillRect(QRect(0, bodyTop, geo.leftWidth(), bodyBottom - bodyTop), Qt::white);
    for (size_t r = firstRow; r < lastRow; ++r) {
        const int y = rowY(r);
        if (r % 2) p.fillRect(QRect(0, y, geo.leftWidth(), rh), QColor(0xFA, 0xFA, 0xFA));
        const Snapshot::Dice& d = chart.dice(r);
        p.setPen(Qt::black);
        p.drawText(QRect(geo.leftX(0), y, geo.leftX(1) - geo.leftX(0), rh), Qt::AlignCenter,
                   QString::fromStdString(chart.issueText(r)));
        p.setPen(QColor(0xB0, 0x20, 0x20));
        p.drawText(QRect(geo.leftX(1), y, geo.leftX(2) - geo.leftX(1), rh), Qt::AlignCenter,
                   QString("%1%2%3").arg(d[0]).arg(d[1]).arg(d[2]));
        p.setPen(Qt::black);
        p.drawText(QRect(geo.leftX(2), y, geo.leftX(3) - geo.leftX(2), rh), Qt::AlignCenter,
                   QString::number(chart.sum(r)));
        p.setPen(kGridLine);
        p.drawLine(0, y + rh - 1, geo.leftWidth(), y + rh - 1);
    }
    p.setPen(kGroupLine);
    for (int i = 1; i <= 3; ++i) p.drawLine(geo.leftX(i) - 1, bodyTop, geo.leftX(i) - 1, bodyBottom);
    p.restore();

    // The header: group names over the item labels; the left headers over both lines.
    const int half = hh / 2;
    p.fillRect(QRect(0, 0, w, hh), kHeaderFill);
    p.save();
    p.setClipRect(QRect(geo.leftWidth(), 0, std::max(0, w - geo.leftWidth()), h));
    for (int c = 0; c < kTrendColumns; ++c) {
        const TrendItem& it = items[static_cast<size_t>(c)];
        const QRect labelRect(itemsLeft + geo.itemX(c), half, geo.itemWidth(c), half);
        p.setPen(Qt::black);
        p.drawText(labelRect, Qt::AlignCenter, QString::fromStdString(it.label));
        p.setPen(kGridLine);
        p.drawLine(labelRect.right(), half, labelRect.right(), hh);
        if (!groupStarts(c)) continue;
        int end = c + 1;
        while (end < kTrendColumns && !groupStarts(end)) ++end;
        const QRect groupRect(itemsLeft + geo.itemX(c), 0, geo.itemX(end) - geo.itemX(c), half);
        p.setPen(groupColour(it.group));
        QFont bold = font;
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(groupRect, Qt::AlignCenter, trendGroupName(it.group));
        p.setFont(font);
        p.setPen(kGroupLine);
        p.drawLine(groupRect.left(), 0, groupRect.left(), hh);
        p.drawLine(groupRect.left(), half, groupRect.right(), half);
    }
    p.restore();
    p.fillRect(QRect(0, 0, geo.leftWidth(), hh), kHeaderFill);
    const char* leftHeaders[] = {"期号", "开奖号码", "和值"};
    for (int i = 0; i < 3; ++i) {
        p.setPen(Qt::black);
        p.drawText(QRect(geo.leftX(i), 0, geo.leftX(i + 1) - geo.leftX(i), hh), Qt::AlignCenter, leftHeaders[i]);
        p.setPen(kGroupLine);
        p.drawLine(geo.leftX(i + 1) - 1, 0, geo.leftX(i + 1) - 1, hh);
    }
    p.setPen(kGroupLine);
    p.drawLine(0, hh - 1, w, hh - 1);

    // The statistic rows.
    const int st = bodyBottom;
    p.fillRect(QRect(0, st, w, h - st), kStatsFill);
    p.setPen(kGroupLine);
    p.drawLine(0, st, w, st);
    for (int s = 0; s < TrendGeometry::kStatRows; ++s) {
        const int y = st + s * rh;
        p.setPen(Qt::black);
        p.drawText(QRect(0, y, geo.leftWidth(), rh), Qt::AlignCenter, trendStatNames()[static_cast<size_t>(s)]);
        p.save();
        p.setClipRect(QRect(geo.leftWidth(), st, std::max(0, w - geo.leftWidth()), h - st));
        for (int c = 0; c < kTrendColumns; ++c) {
            const QString text = QString::fromStdString(trendStatText(chart.stats()[static_cast<size_t>(c)], s));
            p.setPen(Qt::black);
            p.setFont(statFont);
            p.drawText(itemRect(c, y), Qt::AlignCenter, text);
            p.setFont(font);
            p.setPen(groupStarts(c) ? kGroupLine : kGridLine);
            p.drawLine(itemsLeft + geo.itemX(c), y, itemsLeft + geo.itemX(c), y + rh);
        }
        p.restore();
        p.setPen(kGridLine);
        p.drawLine(0, y + rh - 1, w, y + rh - 1);
    }
    p.setPen(kGroupLine);
    p.drawLine(geo.leftWidth() - 1, st, geo.leftWidth() - 1, h);
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
