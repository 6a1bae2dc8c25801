#include "window_fit.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace k3 {

void fitWindowInto(QWidget& window, QSize preferred, const QRect& available) {
    const QSize frame = window.isVisible() ? window.frameGeometry().size() - window.size() : kWindowFrameAllowance;
    const QSize size(std::min(preferred.width(), available.width() - frame.width()),
                     std::min(preferred.height(), available.height() - frame.height()));
    window.resize(size);
    // A window that cannot be made as small keeps its top left corner in the area.
    const QSize taken = window.size() + frame;
    window.move(available.x() + std::max(0, (available.width() - taken.width()) / 2),
                available.y() + std::max(0, (available.height() - taken.height()) / 2));
}

void fitWindowIntoItsScreen(QWidget& window, QSize preferred) {
    QWidget* shown = window.parentWidget() ? window.parentWidget()->window() : &window;
    const QScreen* screen = shown->screen();
    if (!screen) {
        window.resize(preferred);
        return;
    }
    fitWindowInto(window, preferred, screen->availableGeometry());
}

}  // namespace k3
