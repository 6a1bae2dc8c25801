// Where a top-level window opens: at the size it prefers where the screen's free area holds it, else at
// that area's size, inside the area with room for the frame a window manager adds.
#pragma once
#include <QRect>
#include <QSize>

class QWidget;

namespace k3 {

// Room for a window manager's title bar and borders, before the window is shown.
inline constexpr QSize kWindowFrameAllowance{16, 40};

// Sizes `window` to `preferred` where `available` (a screen's free area) holds it with its frame, else
// to that area less the frame, and centres it in the area.
void fitWindowInto(QWidget& window, QSize preferred, const QRect& available);
// The same in the free area of the screen the window (or the window it belongs to) is on.
void fitWindowIntoItsScreen(QWidget& window, QSize preferred);

}  // namespace k3
