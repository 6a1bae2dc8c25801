// The statistics windows of the 分析 menu: 公平性检验 (are the draws consistent with fair dice?) and
// 遗漏回测 (did betting after a long omission hit more often?). Not modal; like the omission table they
// follow the history and the search range they are given, and compute in the background. A click on a
// column header sorts (a second click reverses), a double-click writes the table as shown to a workbook
// in the data folder.
#pragma once
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

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

class StatsWindow : public QWidget {
    Q_OBJECT
public:
    // The history and the range texts (the search range boxes); each recomputes the table.
    void setHistory(std::shared_ptr<const Snapshot> snap);
    void setRange(const QString& from, const QString& to);
    void setHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to);

    // Opens the written workbook; the desktop's default application unless replaced (tests).
    std::function<bool(const QUrl& url)> openUrl;

    void sortBy(int column);
    int sortColumn() const { return sortColumn_; }
    bool sortDescending() const { return descending_; }
    // Writes the table as shown to the window's workbook in the data folder and opens it.
    void exportWorkbook();

    // Whether a computation is under way, and whether the table shown is a valid one.
    bool busy() const { return pending_ > 0; }
    bool valid() const { return valid_; }
    QTableView* tableView() const { return view_; }
    QLabel* summaryLabel() const { return summary_; }
    QLabel* statusLabel() const { return status_; }

signals:
    // What the window did or why it could not; `warning` when it could not.
    void message(const QString& text, bool warning);
    // A computation ended and its table (or its reason) is shown.
    void computed();

protected:
    StatsWindow(QString dataDir, QString workbookName, QWidget* parent);
    void recompute();
    // Starts the computation of `generation` over the history and range in the background. Its callback
    // on the GUI thread calls taskEnded(), then, when the generation is still current(), keeps the
    // table and calls finish().
    virtual void launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to, int generation) = 0;
    bool current(int generation) const { return generation == generation_; }
    void taskEnded() { --pending_; }
    // Shows the table of `generation` unless a newer one was started; `error` is the reason when it
    // failed, `summary` the sentence above the table.
    void finish(int generation, const QString& error, const QString& summary);
    // The subclass's table: dropped, as a grid in an order, sorted by a column.
    virtual void clearTable() = 0;
    virtual Grid grid(const std::vector<int>& order) const = 0;
    virtual Grid emptyGrid() const = 0;
    virtual std::vector<int> orderBy(int column, bool descending) const = 0;
    virtual int columns() const = 0;
    // The row selected, as an index into the table's rows, or -1.
    virtual void selectionChanged(int /*row index*/) {}
    void showRows();
    void say(const QString& text, bool warning);
    const QString& from() const { return from_; }
    const QString& to() const { return to_; }
    std::shared_ptr<const Snapshot> snapshot() const { return snap_; }
    // Index into the table's rows of the selected row, or -1.
    int selectedIndex() const { return selected_; }

    QString dataDir_, workbookName_;
    QLabel* summary_;
    QLabel* status_;
    QTableView* view_;

private:
    std::shared_ptr<const Snapshot> snap_;
    QString from_, to_;
    GridModel* model_;
    std::vector<int> order_;
    int sortColumn_ = -1;
    bool descending_ = false;
    int selected_ = -1;
    bool valid_ = false;
    bool failed_ = false;
    int generation_ = 0;
    int pending_ = 0;
};

class FairnessWindow : public StatsWindow {
    Q_OBJECT
public:
    explicit FairnessWindow(QString dataDir, QWidget* parent = nullptr);
    const FairnessReport& report() const { return report_; }

protected:
    void launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to, int generation) override;
    void clearTable() override { report_ = {}; }
    Grid grid(const std::vector<int>& order) const override { return fairnessGrid(report_, order); }
    Grid emptyGrid() const override { return Grid{fairnessHeader(), {}, {}}; }
    std::vector<int> orderBy(int column, bool descending) const override {
        return fairnessOrder(report_, column, descending);
    }
    int columns() const override { return kFairnessColumns; }

private:
    FairnessReport report_;
};

class BacktestWindow : public StatsWindow {
    Q_OBJECT
public:
    explicit BacktestWindow(QString dataDir, QWidget* parent = nullptr);
    const BacktestTable& table() const { return table_; }
    // The threshold the controls choose.
    Threshold threshold() const;
    HitRateChart* chart() const { return chart_; }
    int selectedItem() const { return selectedIndex(); }

protected:
    void launch(std::shared_ptr<const Snapshot> snap, std::string from, std::string to, int generation) override;
    void clearTable() override { table_ = {}; }
    Grid grid(const std::vector<int>& order) const override { return backtestGrid(table_, order); }
    Grid emptyGrid() const override { return Grid{backtestHeader(), {}, {}}; }
    std::vector<int> orderBy(int column, bool descending) const override {
        return backtestOrder(table_, column, descending);
    }
    int columns() const override { return kBacktestColumns; }
    void selectionChanged(int item) override;

private:
    BacktestTable table_;
    QComboBox* thresholdBox_;
    QSpinBox* omissionBox_;
    HitRateChart* chart_;
};

}  // namespace k3
