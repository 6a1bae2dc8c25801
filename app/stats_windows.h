// The statistics windows of the 分析 menu: 公平性检验 (are the draws consistent with fair dice?) and
// 遗漏回测 (did betting after a long omission hit more often?). Not modal; like the omission table they
// follow the history and the search range they are given, and compute in the background. A click on a
// column header sorts (a second click reverses), a double-click writes the table as shown to a workbook
// in the data folder.
#pragma once
#include <QString>

#include "analysis_window.h"
#include "background_task.h"
#include "stats/backtest.h"
#include "stats/fairness.h"
#include "store/grid.h"
#include "store/snapshot.h"

class QComboBox;
class QLabel;
class QSpinBox;
class QTableView;

namespace k3 {

class GridModel;
class HitRateChart;

class StatsWindow : public AnalysisWindow {
    Q_OBJECT
public:
    void sortBy(int column);
    int sortColumn() const { return m_sortColumn; }
    bool sortDescending() const { return m_descending; }
    // Writes the table as shown to the window's workbook in the data folder and opens it.
    void exportWorkbook();

    // Whether a computation is under way, and whether the table shown is a valid one.
    bool busy() const override { return m_requests.running(); }
    bool valid() const { return m_valid; }
    QTableView* tableView() const { return m_view; }
    QLabel* summaryLabel() const { return m_summary; }

signals:
    // A computation ended and its table (or its reason) is shown.
    void computed();

protected:
    // `name` names the window and its parts: frm<name>, lbl<name>Summary, lbl<name>Status, grid<name>.
    StatsWindow(QString dataDir, QString workbookName, const QString& name, const QString& title, QWidget* parent);
    void recompute() override;
    // Starts the computation over the history and range in the background through m_requests (a newer
    // one supersedes it); its callback keeps the table and calls finish().
    virtual void launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to) = 0;
    // Shows the table; `error` is the reason when it failed, `summary` the sentence above the table.
    void finish(const QString& error, const QString& summary);
    // The subclass's table: dropped, as a grid in an order, sorted by a column.
    virtual void clearTable() = 0;
    virtual Grid grid(const std::vector<int>& order) const = 0;
    virtual Grid emptyGrid() const = 0;
    virtual std::vector<int> orderBy(int column, bool descending) const = 0;
    virtual int columns() const = 0;
    // The row selected, as an index into the table's rows, or -1.
    virtual void selectionChanged(int /*row index*/) {}
    void showRows();
    // Index into the table's rows of the selected row, or -1.
    int selectedIndex() const { return m_selected; }

    const QString m_workbookName;
    QLabel* m_summary;
    QTableView* m_view;
    NewestRequest m_requests{this};  // the table asked for last; older ones are dropped

private:
    GridModel* m_model;
    std::vector<int> m_order;
    int m_sortColumn = -1;
    bool m_descending = false;
    int m_selected = -1;
    bool m_valid = false;
};

class FairnessWindow : public StatsWindow {
    Q_OBJECT
public:
    explicit FairnessWindow(QString dataDir, QWidget* parent = nullptr);
    const FairnessReport& report() const { return m_report; }

protected:
    void launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to) override;
    void clearTable() override { m_report = {}; }
    Grid grid(const std::vector<int>& order) const override { return fairnessGrid(m_report, order); }
    Grid emptyGrid() const override { return Grid{fairnessHeader(), {}, {}}; }
    std::vector<int> orderBy(int column, bool descending) const override {
        return fairnessOrder(m_report, column, descending);
    }
    int columns() const override { return kFairnessColumns; }

private:
    FairnessReport m_report;
};

class BacktestWindow : public StatsWindow {
    Q_OBJECT
public:
    explicit BacktestWindow(QString dataDir, QWidget* parent = nullptr);
    const BacktestTable& table() const { return m_table; }
    // The threshold the controls choose.
    Threshold threshold() const;
    HitRateChart* chart() const { return m_chart; }
    int selectedItem() const { return selectedIndex(); }

protected:
    void launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to) override;
    void clearTable() override { m_table = {}; }
    Grid grid(const std::vector<int>& order) const override { return backtestGrid(m_table, order); }
    Grid emptyGrid() const override { return Grid{backtestHeader(), {}, {}}; }
    std::vector<int> orderBy(int column, bool descending) const override {
        return backtestOrder(m_table, column, descending);
    }
    int columns() const override { return kBacktestColumns; }
    void selectionChanged(int item) override;

private:
    BacktestTable m_table;
    QComboBox* m_thresholdBox;
    QSpinBox* m_omissionBox;
    HitRateChart* m_chart;
};

}  // namespace k3
