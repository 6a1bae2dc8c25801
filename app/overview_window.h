// The omission-table window (遗漏总表): the table of every bet item over the search range, sorted by
// a click on a column header (a second click reverses), written to "Zongbiao.xlsx" by a double-click,
// and the omission chart of the selected row below it. Not modal: it follows the history and the
// range it is given.
#pragma once
#include <QString>
#include <optional>

#include "analysis_window.h"
#include "background_task.h"
#include "overview/overview.h"

class QMenu;
class QTableView;

namespace k3 {

class OmissionChart;
class OverviewModel;

class OverviewWindow : public AnalysisWindow {
    Q_OBJECT
public:
    explicit OverviewWindow(QString dataDir, QWidget* parent = nullptr);

    bool busy() const override { return m_tables.running(); }

    // Sorts by a column as a click on its header does: ascending, or reversed when it is the column
    // sorted by already.
    void sortBy(int column);
    int sortColumn() const { return m_sortColumn; }
    bool sortDescending() const { return m_descending; }
    // Writes the table as shown to "Zongbiao.xlsx" in the data folder and opens it.
    void exportWorkbook();

    // The item of the selected row, or -1.
    int selectedItem() const { return m_selectedItem; }
    const OverviewTable& overview() const { return m_table; }
    QTableView* tableView() const { return m_view; }
    OmissionChart* chart() const { return m_chart; }

signals:
    // 加入遗漏提醒 of the right-click menu on a row: the row's item (0..100).
    void watchRequested(int item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void recompute() override;
    // The table made, or why it could not be.
    void showTable(std::optional<OverviewTable> table, const QString& error);
    void showRows(bool sorted = false);
    void fitColumns();
    void showChart();

    NewestRequest m_tables{this};  // the table asked for last; older ones are dropped
    OverviewTable m_table;
    bool m_valid = false;
    std::vector<int> m_order;  // displayed row -> index into m_table.rows
    int m_sortColumn = -1;
    bool m_descending = false;
    bool m_columnsFitted = false;
    int m_selectedItem = -1;
    OverviewModel* m_model;
    QTableView* m_view;
    OmissionChart* m_chart;
    QMenu* m_rowMenu;
    int m_menuItem = -1;  // the item of the row the menu was opened on
};

}  // namespace k3
