// Drawing the trend chart: the header, the three left columns (期号, 开奖号码, 和值), the rows with the
// hits as coloured balls and the misses as grey omissions, and the four statistic rows. The window
// draws what its scroll bars show; the picture for a forum post draws the whole chart the same way.
#pragma once
#include <QImage>
#include <QPainter>
#include <QSize>
#include <array>
#include <optional>
#include <vector>

#include "trend/trend.h"

namespace k3 {

struct TrendPaintOptions {
    bool showOmission = true;  // 显示遗漏: the misses' omissions
    bool layers = false;       // 遗漏分层: each column shaded below its last hit
    bool line = false;         // 折线: the 和值 balls joined row to row
};

// Where everything is, in pixels.
class TrendGeometry {
public:
    TrendGeometry();
    // Columns wide enough for the chart's largest omission and its statistics (a million draws count
    // hits in six digits).
    explicit TrendGeometry(const TrendChart& chart);
    static constexpr int kRowHeight = 22;
    static constexpr int kHeaderHeight = 2 * 20;
    static constexpr int kStatRows = 4;
    int leftWidth() const { return m_leftX[3]; }
    int leftX(int c) const { return m_leftX[static_cast<size_t>(c)]; }  // 0..3
    int itemsWidth() const { return m_itemX[kTrendColumns]; }
    int itemX(int c) const { return m_itemX[static_cast<size_t>(c)]; }  // from the left edge of the items
    int itemWidth(int c) const { return itemX(c + 1) - itemX(c); }
    int statsHeight() const { return kStatRows * kRowHeight; }
    int fullWidth() const { return leftWidth() + itemsWidth(); }
    int fullHeight(size_t rows) const { return kHeaderHeight + static_cast<int>(rows) * kRowHeight + statsHeight(); }
    // The item column under an x of the items area (scrolled), or nothing.
    std::optional<int> itemAt(int x) const;

private:
    std::array<int, 4> m_leftX{};
    std::array<int, kTrendColumns + 1> m_itemX{};
};

// Draws the chart laid out by `geo` into a rectangle (0, 0, size): the body scrolled down by `top` and
// to the left by `left` pixels, the header, left columns and statistic rows in place. `cells` is a
// buffer to reuse.
void paintTrend(QPainter& p, const TrendChart& chart, const TrendGeometry& geo, QSize size, int top, int left,
                const TrendPaintOptions& options, std::vector<TrendCell>& cells);

// The whole chart as a picture; a null image when it would be too large to make.
QImage renderTrend(const TrendChart& chart, const TrendPaintOptions& options);
// Most draws a picture holds.
inline constexpr size_t kTrendPictureRows = 1000;

}  // namespace k3
