#include "grid_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

namespace k3 {

QTableView* makeGridView(QWidget* parent, const char* objectName, const QString& toolTip) {
    auto* g = new QTableView(parent);
    g->setObjectName(objectName);
    g->setToolTip(toolTip);
    g->setSelectionBehavior(QAbstractItemView::SelectItems);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    g->verticalHeader()->setVisible(false);
    g->verticalHeader()->setDefaultSectionSize(22);
    g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    g->horizontalHeader()->setHighlightSections(false);
    g->setAlternatingRowColors(true);
    return g;
}

void setColumnWidthsInTwips(QTableView* view, const std::vector<int>& twips) {
    for (size_t c = 0; c < twips.size(); ++c) view->setColumnWidth(static_cast<int>(c), twipsToPixels(twips[c]));
}

void OneRowWheel::watch(QTableView* grid) {
    m_grids.emplace_back(grid);
    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
}

QTableView* OneRowWheel::gridOf(QObject* watched) const {
    for (const QPointer<QTableView>& g : m_grids)
        if (g && (watched == g || watched == g->viewport())) return g;
    return nullptr;
}

bool OneRowWheel::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Wheel:
            if (gridOf(watched) && m_focused) {
                auto* wheel = static_cast<QWheelEvent*>(event);
                QScrollBar* bar = m_focused->verticalScrollBar();
                if (wheel->angleDelta().y() <= 0)
                    bar->setValue(bar->value() + 1);
                else if (bar->value() > 0)
                    bar->setValue(bar->value() - 1);
                return true;
            }
            break;
        case QEvent::FocusIn:
            if (QTableView* g = gridOf(watched)) m_focused = g;
            break;
        case QEvent::FocusOut:
            if (gridOf(watched)) m_focused = nullptr;
            break;
        default: break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace k3
