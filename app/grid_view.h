// What the three grid views share: how a grid view is set up, column widths given in twips, and the
// mouse wheel that moves the focused grid by exactly one row a notch.
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

class QAbstractItemModel;
class QTableView;

namespace k3 {

// Column widths are given in twips; 15 twips make one pixel at 96 dpi.
inline int twipsToPixels(int twips) { return twips / 15; }

// A read-only grid view with single-cell selection, fixed row height and no row header.
QTableView* makeGridView(QWidget* parent, const char* objectName, const QString& toolTip);
// The table of a result window (遗漏总表, the statistics windows): whole rows selected, one at a time, no
// editing, a click on a column header to sort by it, the last column stretched to the window's edge.
QTableView* makeResultTable(QAbstractItemModel* model, const QString& toolTip);
void setColumnWidthsInTwips(QTableView* view, const std::vector<int>& twips);

// Holds a grid and gives it the height of a whole number of rows (the rest of its space stays blank
// below it), so that no row is cut in half at the top or the bottom, also when scrolled to the end.
class WholeRowsBox : public QWidget {
public:
    WholeRowsBox(QTableView* grid, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QTableView* m_grid;
};

// One notch of the vertical wheel over a watched grid (its cells, header or scroll bars) moves that
// grid by exactly one row, whichever widget has the focus. A touchpad's small steps count together
// until they make a notch. Sideways wheel and swipe events are swallowed: the grids scroll only by rows.
class OneRowWheel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void watch(QTableView* grid);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* gridOf(QObject* watched) const;

    std::vector<QPointer<QTableView>> m_grids;
    QPointer<QTableView> m_stepping;  // the grid the partial steps below belong to
    int m_partialSteps = 0;           // angle delta of small steps not yet making a notch
};

}  // namespace k3
