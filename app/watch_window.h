// The 遗漏提醒 window: the player's watched items over every province's history, one row per item and
// province with its current omission, its threshold, and what followed such omissions in that history
// beside the rate of fair dice. The rows at their threshold come first, highlighted. Not modal. The
// list and its thresholds are kept in the settings; a double-click writes the table to Tixing.xlsx.
//
// It follows the histories it is given: a typed draw is counted on the state it has (one step per
// item), any other change is computed anew in the background. When a change makes an item reach its
// threshold it says so (message, thresholdReached) and, when the player turned it on, on the desktop.
#pragma once
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/snapshot.h"
#include "watch/watch_cache.h"
#include "watch/watch_state.h"
#include "watch/watch_table.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSystemTrayIcon;
class QTableView;
class QTimer;

namespace k3 {

class HistoryProbe;
class Settings;
class WatchModel;

class WatchWindow : public QWidget {
    Q_OBJECT
public:
    // `settings` holds the list (and outlives the window); segBase reads the segments of searches.
    WatchWindow(QString dataDir, Settings& settings, int segBase, QWidget* parent = nullptr);
    ~WatchWindow() override;

    const std::vector<WatchItem>& items() const { return m_items; }
    // Adds an item to the list (and the settings); false, saying why, when it is there already or
    // cannot be watched.
    bool addItem(const WatchItem& item);
    // Removes the item of the selected row.
    void removeSelected();
    // Gives the selected row's item the threshold typed in the threshold box.
    void applyThreshold();

    // The history of a province, new or changed. `appended`: it is the history given before with draws
    // added at its end (a typed draw), counted at once; otherwise it is computed in the background.
    // An empty snapshot removes the province's rows.
    void setHistory(int province, std::shared_ptr<const Snapshot> snap, bool appended = false);

    // Reads the history of every province in the data folder other than `except` (the one the main
    // window shows and gives with setHistory), in the background on two threads, and counts each. While
    // the window is shown, or holds items, it then looks every half second whether another program changed one of them
    // (or made a new one) and reads that one again.
    void loadOtherProvinces(int except, int unrecordedOwner);
    // setHistory for the province the main window shows, whose history is `database`. Given another
    // province than before (a switch), the one left is one of the others from then on, looked at every
    // half second for changes made elsewhere.
    void setShownHistory(int province, const std::string& database, std::shared_ptr<const Snapshot> snap,
                         bool appended = false);

    // The table as shown, and the rows behind it.
    const Grid& grid() const;
    const std::vector<WatchRow>& rows() const { return m_rows; }
    // The rows at the top that have reached their threshold (highlighted).
    size_t reachedRows() const;
    bool busy() const { return m_pending > 0; }

    // Writes the table as shown to Tixing.xlsx in the data folder and opens it.
    void exportWorkbook();
    // Opens the written workbook; the desktop's default application unless replaced (tests).
    std::function<bool(const QUrl& url)> openUrl;
    // Shows a desktop notification; a tray message unless replaced (tests). Called only when the player
    // turned notifications on.
    std::function<void(const QString& title, const QString& text)> notify;

    // One province's history read by a background task, with the probe made before it was read.
    struct Read {
        int province = 0;
        std::shared_ptr<HistoryProbe> probe;
        std::shared_ptr<const Snapshot> snap;  // null when it could not be read; empty when it has no draws
        // The figures kept from an earlier count of exactly this history (WatchCache): then no snapshot.
        std::shared_ptr<const WatchState> kept;
        std::string problem;
    };

    QTableView* tableView() const { return m_view; }
    QLabel* statusLabel() const { return m_status; }

signals:
    // What the window did or why it could not; `warning` when it could not.
    void message(const QString& text, bool warning);
    // A change made items of a province reach their threshold: what the status bar says.
    void thresholdReached(const QString& text);
    // The table shows every history given so far.
    void computed();

private:
    struct History {
        // Null when the state came from the kept figures without reading the history.
        std::shared_ptr<const Snapshot> snap;
        std::shared_ptr<const WatchState> state;  // for the current plan, or null while it is computed
        int generation = 0;
    };

    void otherProvincesRead(std::vector<Read>& read, int load);
    void pollOtherProvinces();
    void listChanged(const QString& done);
    void compute(int province);
    // A state taken from the kept figures, compared as a computed one is; shown at once unless `show` is
    // false (the caller shows the table).
    void setKeptState(int province, std::shared_ptr<const WatchState> state, bool show = true);
    // Keeps a state counted from the history with `token` among the figures saved for the next start.
    void keepState(int province, const std::optional<int64_t>& token, const WatchState& state);
    void saveKept();
    void announce(int province, const std::vector<WatchFigures>& before, const WatchState& after);
    void showRows();
    void say(const QString& text, bool warning);
    void showDesktopMessage(const QString& title, const QString& text);
    int selectedItem() const;

    QString m_dataDir;
    Settings& m_settings;
    int m_segBase;
    std::vector<WatchItem> m_items;
    std::shared_ptr<const WatchPlan> m_plan;
    std::map<int, History> m_histories;
    std::vector<WatchRow> m_rows;
    // What loadOtherProvinces read: all but `except`, with these parts of each draw.
    struct Others {
        bool loaded = false;
        int except = -1, owner = 0;
        unsigned parts = 0;
    } m_others;
    std::string m_shownDatabase;  // the history file of the province the main window shows (m_others.except)
    int m_generation = 0;
    int m_pending = 0;
    // The figures kept between runs (copied when changed: background reads hold the one they were given),
    // saved a little after they change and when the window goes.
    std::shared_ptr<const WatchCache> m_kept;
    bool m_keptChanged = false;
    QTimer* m_saveTimer;
    // The probes of the other provinces' files, and whether a look for their changes is under way.
    std::map<int, std::shared_ptr<HistoryProbe>> m_probes;
    int m_load = 0;  // counts the loads: what an older one or a look begun before it found is dropped
    bool m_polling = false;
    QTimer* m_pollTimer;

    QComboBox* m_itemBox;
    QLineEdit* m_thresholdEdit;
    QPushButton* m_addButton;
    QPushButton* m_removeButton;
    QPushButton* m_thresholdButton;
    QCheckBox* m_notifyBox;
    QTableView* m_view;
    WatchModel* m_model;
    QLabel* m_status;
    QSystemTrayIcon* m_tray = nullptr;
};

// The threshold as typed in the window: "x2.5" (a multiple of the theoretical omission), "12" or "@12"
// (a number of draws). Throws WatchError saying what is wrong.
Threshold parseThresholdText(const QString& text);

}  // namespace k3
