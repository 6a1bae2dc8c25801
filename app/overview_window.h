// The omission-table window (遗漏总表): the table of every bet item over the search range, sorted by
// a click on a column header (a second click reverses), written to "Zongbiao.xlsx" by a double-click,
// and the omission chart of the selected row below it. Not modal: it follows the history and the
// range it is given.
#pragma once
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "overview/overview.h"
#include "store/snapshot.h"

class QLabel;
class QMenu;
class QTableView;

namespace k3 {

class OmissionChart;
class OverviewModel;

class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(QString dataDir, QWidget* parent = nullptr);

    // The history and the range texts (the search range boxes); each recomputes the table.
    void setHistory(std::shared_ptr<const Snapshot> snap);
    void setRange(const QString& from, const QString& to);
    // Both at once, with one recomputation.
    void setHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to);
    // How the chart writes issues (issueText): running numbers, or dates with all nine digits.
    void setRunningNumbers(bool running) { m_runningNumbers = running; }
    // The same with the table computed elsewhere (in the background): the table, or why it could not be made.
    void showComputed(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to,
                      std::optional<OverviewTable> table, const QString& error);

    // Opens the written workbook; the desktop's default application unless replaced (tests). False
    // when no program could open it.
    std::function<bool(const QUrl& url)> openUrl;

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
    // What the window did or why it could not; `warning` when it could not. While the window is open:
    // the workbook it wrote, and a table that cannot be made (and made again).
    void message(const QString& text, bool warning);
    // 加入遗漏提醒 of the right-click menu on a row: the row's item (0..100).
    void watchRequested(int item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void recompute();
    void showRows(bool sorted = false);
    void fitColumns();
    void showChart();
    void say(const QString& text, bool warning);
    void tellState(const QString& text, bool failed);

    QString m_dataDir;
    std::shared_ptr<const Snapshot> m_snap;
    QString m_from, m_to;
    OverviewTable m_table;
    bool m_valid = false;
    bool m_failed = false;     // the last table could not be made
    std::vector<int> m_order;  // displayed row -> index into m_table.rows
    int m_sortColumn = -1;
    bool m_descending = false;
    bool m_columnsFitted = false;
    bool m_runningNumbers = false;
    int m_selectedItem = -1;
    OverviewModel* m_model;
    QTableView* m_view;
    OmissionChart* m_chart;
    QLabel* m_status;
    QMenu* m_rowMenu;
    int m_menuItem = -1;  // the item of the row the menu was opened on
};

}  // namespace k3
