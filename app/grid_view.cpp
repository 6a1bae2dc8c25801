#include "grid_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

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

QTableView* makeResultTable(QAbstractItemModel* model, const QString& toolTip) {
    auto* view = new QTableView;
    view->setModel(model);
    view->setToolTip(toolTip);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAlternatingRowColors(true);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setSectionsClickable(true);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

void setColumnWidthsInTwips(QTableView* view, const std::vector<int>& twips) {
    for (size_t c = 0; c < twips.size(); ++c) view->setColumnWidth(static_cast<int>(c), twipsToPixels(twips[c]));
}

WholeRowsBox::WholeRowsBox(QTableView* grid, QWidget* parent) : QWidget(parent), m_grid(grid) {
    grid->setParent(this);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumSize(grid->minimumWidth(), grid->horizontalHeader()->sizeHint().height() + 4 * 22);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

void WholeRowsBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int rowHeight = m_grid->verticalHeader()->defaultSectionSize();
    const QHeaderView* header = m_grid->horizontalHeader();
    const int headerHeight = header->isHidden() ? 0 : std::max(header->minimumHeight(), header->sizeHint().height());
    const int chrome = 2 * m_grid->frameWidth() + headerHeight;
    const int rows = std::max(1, (height() - chrome) / rowHeight);
    m_grid->setGeometry(0, 0, width(), chrome + rows * rowHeight);
}

namespace {

constexpr int kNotch = 120;  // angle delta of one wheel notch (1/8 degree units)

}  // namespace

void OneRowWheel::watch(QTableView* grid) {
    m_grids.emplace_back(grid);
    for (QWidget* w :
         std::initializer_list<QWidget*>{grid, grid->viewport(), grid->verticalScrollBar(), grid->horizontalScrollBar(),
                                         grid->horizontalHeader(), grid->horizontalHeader()->viewport()})
        w->installEventFilter(this);
}

QTableView* OneRowWheel::gridOf(QObject* watched) const {
    for (const QPointer<QTableView>& g : m_grids)
        for (QObject* o = watched; g && o; o = o->parent())
            if (o == g) return g;
    return nullptr;
}

bool OneRowWheel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) return QObject::eventFilter(watched, event);
    QTableView* grid = gridOf(watched);
    if (!grid) return QObject::eventFilter(watched, event);
    const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
    if (std::abs(delta.x()) >= std::abs(delta.y())) return true;  // sideways: no scrolling at all
    int steps = delta.y();
    if (std::abs(steps) < kNotch) {
        // A touchpad: small steps in one direction over one grid add up to a notch.
        if (m_stepping != grid || (m_partialSteps < 0) != (steps < 0)) m_partialSteps = 0;
        m_stepping = grid;
        m_partialSteps += steps;
        if (std::abs(m_partialSteps) < kNotch) return true;
        steps = m_partialSteps;
    }
    m_partialSteps = 0;
    QScrollBar* bar = grid->verticalScrollBar();
    bar->setValue(bar->value() + (steps < 0 ? 1 : -1));  // a wheel turned towards the user shows later rows
    return true;
}

}  // namespace k3
