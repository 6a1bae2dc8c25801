#include "watch_window.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <filesystem>

#include "analysis_window.h"
#include "background_task.h"
#include "grid_models.h"
#include "grid_view.h"
#include "open_failure.h"
#include "overview/overview.h"
#include "settings/settings.h"
#include "store/province.h"
#include "store/province_history.h"
#include "window_fit.h"

namespace k3 {

// The grid of the watch list with the rows at their threshold highlighted.
class WatchModel : public GridModel {
public:
    using GridModel::GridModel;
    void setReached(size_t rows) { m_reached = rows; }
    size_t reached() const { return m_reached; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::BackgroundRole && index.isValid() && size_t(index.row()) < m_reached)
            return QColor(255, 214, 170);
        return GridModel::data(index, role);
    }

private:
    size_t m_reached = 0;
};

Threshold parseThresholdText(const QString& text) { return parseWatchThreshold(text.toStdString()); }

WatchWindow::WatchWindow(QString dataDir, Settings& settings, int segBase, QWidget* parent)
    : QWidget(parent), m_dataDir(std::move(dataDir)), m_settings(settings), m_segBase(segBase) {
    setWindowFlag(Qt::Window);
    setObjectName("frmWatch");
    setWindowTitle("遗漏提醒");
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    notify = [this](const QString& title, const QString& text) { showDesktopMessage(title, text); };

    auto* explain = new QLabel(QString::fromUtf8(kWatchExplanation));
    explain->setObjectName("lblWatchExplain");
    explain->setWordWrap(true);
    QFont bold = explain->font();
    bold.setBold(true);
    explain->setFont(bold);

    m_itemBox = new QComboBox;
    m_itemBox->setObjectName("cmbWatchItem");
    for (const BetItem& it : betItems()) m_itemBox->addItem(QString::fromStdString(it.play + " " + it.label));
    m_thresholdEdit = new QLineEdit("x2");
    m_thresholdEdit->setObjectName("txtWatchThreshold");
    m_thresholdEdit->setToolTip("门槛：期数（例如 12），或理论遗漏的倍数（例如 x2、x2.5）");
    m_thresholdEdit->setMaximumWidth(90);
    m_addButton = new QPushButton("加入");
    m_addButton->setObjectName("cmdWatchAdd");
    m_thresholdButton = new QPushButton("改门槛");
    m_thresholdButton->setObjectName("cmdWatchThreshold");
    m_thresholdButton->setToolTip("把所选行的号码的门槛改为门槛框中的值");
    m_removeButton = new QPushButton("移出");
    m_removeButton->setObjectName("cmdWatchRemove");
    m_notifyBox = new QCheckBox("达到门槛时在桌面提示");
    m_notifyBox->setObjectName("chkWatchNotify");
    m_notifyBox->setChecked(m_settings.watchNotifications());

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel("号码："));
    controls->addWidget(m_itemBox);
    controls->addWidget(new QLabel("门槛："));
    controls->addWidget(m_thresholdEdit);
    controls->addWidget(m_addButton);
    controls->addWidget(m_thresholdButton);
    controls->addWidget(m_removeButton);
    controls->addStretch(1);
    controls->addWidget(m_notifyBox);

    m_model = new WatchModel(this);
    m_view = makeResultTable(m_model, "颜色标出的行已达到门槛；双击表格导出到 Tixing.xlsx");
    m_view->setObjectName("gridWatch");
    m_status = new QLabel;
    m_status->setObjectName("lblWatchStatus");
    m_status->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(explain);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    fitWindowIntoItsScreen(*this, {1100, 600});

    connect(m_addButton, &QPushButton::clicked, this, [this] {
        try {
            WatchItem w;
            w.item = m_itemBox->currentIndex();
            w.threshold = parseThresholdText(m_thresholdEdit->text());
            addItem(w);
        } catch (const WatchError& e) {
            say(QString::fromUtf8(e.what()), true);
        }
    });
    connect(m_thresholdEdit, &QLineEdit::returnPressed, this, &WatchWindow::applyThreshold);
    connect(m_thresholdButton, &QPushButton::clicked, this, &WatchWindow::applyThreshold);
    connect(m_removeButton, &QPushButton::clicked, this, &WatchWindow::removeSelected);
    connect(m_view, &QTableView::doubleClicked, this, &WatchWindow::exportWorkbook);
    connect(m_notifyBox, &QCheckBox::toggled, this, [this](bool on) { m_settings.setWatchNotifications(on); });
    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(500);
    connect(m_pollTimer, &QTimer::timeout, this, &WatchWindow::pollOtherProvinces);
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(1500);
    connect(m_saveTimer, &QTimer::timeout, this, &WatchWindow::saveKept);
    m_kept = std::make_shared<const WatchCache>(WatchCache::load(QFile::encodeName(m_dataDir).toStdString()));

    // The saved list; an entry that cannot be read is left out and named.
    try {
        m_items = parseWatchList(m_settings.watchList().toStdString());
    } catch (const WatchError& e) {
        m_items.clear();
        say(QString("设置中保存的遗漏提醒读不出，列表是空的：%1").arg(QString::fromUtf8(e.what())), true);
    }
    try {
        m_plan = std::make_shared<const WatchPlan>(m_items, m_segBase);
    } catch (const WatchError& e) {
        m_items.clear();
        m_plan = std::make_shared<const WatchPlan>(m_items, m_segBase);
        say(QString::fromUtf8(e.what()), true);
    }
    showRows();
}

WatchWindow::~WatchWindow() {
    if (!m_keptChanged) return;
    try {
        m_kept->save(QFile::encodeName(m_dataDir).toStdString());
    } catch (const std::exception&) {
        // Only the next start's head start is lost.
    }
}

const Grid& WatchWindow::grid() const { return m_model->grid(); }
size_t WatchWindow::reachedRows() const { return m_model->reached(); }

void WatchWindow::say(const QString& text, bool warning) {
    m_status->setText(text);
    emit message(text, warning);
}

bool WatchWindow::addItem(const WatchItem& item) {
    const QString name = QString::fromStdString(watchPlayText(item) + " " + watchLabelText(item));
    for (const WatchItem& w : m_items) {
        const bool same =
            w.isSearch() == item.isSearch() && (item.isSearch() ? w.search == item.search : w.item == item.item);
        if (same) {
            say(QString("%1 已在遗漏提醒中").arg(name), true);
            return false;
        }
    }
    std::vector<WatchItem> items = m_items;
    items.push_back(item);
    try {
        m_plan = std::make_shared<const WatchPlan>(items, m_segBase);
    } catch (const WatchError& e) {
        say(QString::fromUtf8(e.what()), true);
        return false;
    }
    m_items = std::move(items);
    listChanged(
        QString("已加入遗漏提醒：%1，门槛 %2").arg(name, QString::fromStdString(watchThresholdText(item.threshold))));
    return true;
}

int WatchWindow::selectedItem() const {
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || size_t(current.row()) >= m_rows.size()) return -1;
    return int(m_rows[size_t(current.row())].item);
}

void WatchWindow::removeSelected() {
    const int item = selectedItem();
    if (item < 0) {
        say("先在表中选一行，再移出它的号码", true);
        return;
    }
    const WatchItem gone = m_items[size_t(item)];
    m_items.erase(m_items.begin() + item);
    m_plan = std::make_shared<const WatchPlan>(m_items, m_segBase);
    listChanged(QString("已从遗漏提醒中移出：%1")
                    .arg(QString::fromStdString(watchPlayText(gone) + " " + watchLabelText(gone))));
}

void WatchWindow::applyThreshold() {
    const int item = selectedItem();
    if (item < 0) {
        say("先在表中选一行，再改它的门槛", true);
        return;
    }
    std::vector<WatchItem> items = m_items;
    try {
        items[size_t(item)].threshold = parseThresholdText(m_thresholdEdit->text());
        m_plan = std::make_shared<const WatchPlan>(items, m_segBase);
    } catch (const WatchError& e) {
        say(QString::fromUtf8(e.what()), true);
        return;
    }
    m_items = std::move(items);
    const WatchItem& w = m_items[size_t(item)];
    listChanged(QString("%1 的门槛改为 %2")
                    .arg(QString::fromStdString(watchPlayText(w) + " " + watchLabelText(w)),
                         QString::fromStdString(watchThresholdText(w.threshold))));
}

void WatchWindow::listChanged(const QString& done) {
    m_settings.setWatchList(QString::fromStdString(watchListText(m_items)));
    say(done, false);
    // Every history again with the new list; until then the rows of the old list are not shown. The
    // other provinces' histories are read again when the new list reads more of a draw than they hold.
    // So are those whose figures were taken from the kept ones, without reading them.
    bool readAgain = m_others.loaded && (m_plan->parts() & ~m_others.parts) != 0;
    for (const auto& [province, h] : m_histories)
        if (!h.snap && province != m_others.except) readAgain = m_others.loaded;
    for (auto it = m_histories.begin(); it != m_histories.end();) {
        it->second.state.reset();
        if (readAgain && it->first != m_others.except) {
            it = m_histories.erase(it);
            continue;
        }
        compute(it->first);
        ++it;
    }
    if (readAgain) loadOtherProvinces(m_others.except, m_others.owner);
    showRows();
}

void WatchWindow::setHistory(int province, std::shared_ptr<const Snapshot> snap, bool appended) {
    if (!snap || snap->empty()) {
        m_histories.erase(province);
        showRows();
        return;
    }
    History& h = m_histories[province];
    h.snap = snap;
    // A typed draw: counted on the state at hand, one step per item, when the snapshot's values are
    // there (they are, for a draw appended to a history whose values were read).
    if (appended && h.state && h.state->planPointer() == m_plan && snap->valuesReady() && !snap->valuesFailed()) {
        auto next = std::make_shared<WatchState>(*h.state);
        const std::vector<WatchFigures> before = h.state->figures();
        if (next->appendNewest(*snap)) {
            ++h.generation;  // a computation still under way is for an older history
            h.state = next;
            keepState(province, snap->contentToken(), *next);
            announce(province, before, *next);
            showRows();
            return;
        }
    }
    // The figures kept from the last count of exactly this history, when there are.
    if (const std::optional<int64_t>& token = snap->contentToken()) {
        if (std::optional<WatchState> kept = m_kept->find(province, *token, m_plan)) {
            setKeptState(province, std::make_shared<const WatchState>(std::move(*kept)));
            return;
        }
    }
    compute(province);
}

void WatchWindow::setKeptState(int province, std::shared_ptr<const WatchState> state, bool show) {
    History& h = m_histories[province];
    ++h.generation;  // a computation still under way is for an older history
    const bool samePlan = h.state && h.state->planPointer() == m_plan;
    const std::vector<WatchFigures> before = samePlan ? h.state->figures() : std::vector<WatchFigures>{};
    h.state = std::move(state);
    if (samePlan) announce(province, before, *h.state);
    if (!show) return;
    showRows();
    if (m_pending == 0) emit computed();
}

void WatchWindow::keepState(int province, const std::optional<int64_t>& token, const WatchState& state) {
    if (!token) return;
    auto kept = std::make_shared<WatchCache>(*m_kept);
    if (!kept->keep(province, *token, state)) return;
    m_kept = std::move(kept);
    m_keptChanged = true;
    m_saveTimer->start();
}

void WatchWindow::saveKept() {
    if (!m_keptChanged) return;
    m_keptChanged = false;
    runThenCallback(
        this,
        [kept = m_kept, dir = QFile::encodeName(m_dataDir).toStdString()](TaskControl&) {
            kept->save(dir);
            return true;
        },
        [](TaskOutcome<bool>&) {
            // A save that failed costs only the next start's head start: nothing to say.
        });
}

namespace {

// Reads the histories of `files` with a probe made first, taking the next one from `next` until none is
// left (two tasks share one list).
// A history whose content token is that of figures kept for the plan is not read: they are its figures.
std::vector<WatchWindow::Read> readHistories(const std::vector<std::pair<int, std::string>>& files,
                                             std::atomic<size_t>& next, unsigned parts,
                                             const std::shared_ptr<const WatchPlan>& plan,
                                             const std::shared_ptr<const WatchCache>& kept,
                                             const TaskControl& control) {
    std::vector<WatchWindow::Read> out;
    for (size_t i; !control.cancelled() && (i = next.fetch_add(1)) < files.size();) {
        WatchWindow::Read r;
        r.province = files[i].first;
        try {
            r.probe = std::make_shared<HistoryProbe>(files[i].second);
            HistoryStore store(files[i].second);
            WatchedHistory h = readWatchedHistory(store, r.province, parts, plan, *kept);
            if (h.kept) r.kept = std::make_shared<const WatchState>(std::move(*h.kept));
            r.snap = std::move(h.snap);
        } catch (const std::exception& e) {
            r.problem = e.what();
        }
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace

void WatchWindow::loadOtherProvinces(int except, int unrecordedOwner) {
    m_others = {true, except, unrecordedOwner, m_plan->parts() | kDicePart};
    const int load = ++m_load;
    m_probes.clear();
    ++m_pending;
    using Files = std::vector<std::pair<int, std::string>>;
    struct Listed {
        Files files;
        std::vector<std::string> problems;
    };
    // The listing first (a few reads of each file's index), then the histories on two tasks.
    runThenCallback(
        this,
        [dir = QFile::encodeName(m_dataDir).toStdString(), except, unrecordedOwner](TaskControl&) {
            Listed out;
            const ProvinceListing listed = listProvinceHistories(dir, unrecordedOwner, false);
            out.problems = listed.problems;
            for (const ProvinceSummary& s : listed.histories)
                if (s.province != except) out.files.emplace_back(s.province, s.database);
            return out;
        },
        [this, load](TaskOutcome<Listed>& outcome) {
            --m_pending;
            if (load != m_load) {
                if (m_pending == 0) emit computed();
                return;
            }
            if (outcome.failed()) {
                say(QString("其他彩种的历史号码读不出：%1").arg(outcome.errorText()), true);
                if (m_pending == 0) emit computed();
                return;
            }
            if (!outcome.value().problems.empty()) say(QString::fromStdString(outcome.value().problems.front()), true);
            auto files = std::make_shared<const Files>(std::move(outcome.value().files));
            auto next = std::make_shared<std::atomic<size_t>>(0);
            const size_t tasks = std::min<size_t>(2, files->size());
            for (size_t t = 0; t < tasks; ++t) {
                ++m_pending;
                runThenCallback(
                    this,
                    [files, next, parts = m_others.parts, plan = m_plan, kept = m_kept](TaskControl& control) {
                        return readHistories(*files, *next, parts, plan, kept, control);
                    },
                    [this, load](TaskOutcome<std::vector<Read>>& read) {
                        --m_pending;
                        if (read.failed())
                            say(QString("其他彩种的历史号码读不出：%1").arg(read.errorText()), true);
                        else
                            otherProvincesRead(read.value(), load);
                        if (m_pending == 0) emit computed();
                    });
            }
            if (!m_pollTimer->isActive()) m_pollTimer->start();
            if (m_pending == 0) emit computed();
        });
}

void WatchWindow::otherProvincesRead(std::vector<Read>& read, int load) {
    if (load != m_load) return;
    bool shown = false;  // kept figures taken: the table is made once for all of them
    for (Read& r : read) {
        if (r.province == m_others.except) continue;
        if (r.probe) m_probes[r.province] = r.probe;
        if (!r.problem.empty()) {
            say(QString::fromStdString(r.problem), true);
            continue;
        }
        if (r.kept && r.kept->planPointer() == m_plan) {
            m_histories[r.province].snap.reset();
            setKeptState(r.province, std::move(r.kept), false);
            shown = true;
        } else if (r.kept) {
            // Kept figures of a list changed since: that list's read again is on its way.
        } else {
            setHistory(r.province, std::move(r.snap));
        }
    }
    if (shown) showRows();
}

void WatchWindow::setShownHistory(int province, const std::string& database, std::shared_ptr<const Snapshot> snap,
                                  bool appended) {
    if (m_others.loaded && province != m_others.except) {
        const int left = m_others.except;
        m_others.except = province;
        m_probes.erase(province);
        // The probe starts from the file as it is now: the history the main window gave last.
        try {
            m_probes[left] = std::make_shared<HistoryProbe>(m_shownDatabase);
        } catch (const std::exception& e) {
            say(QString("%1的历史号码的改动跟不上：%2")
                    .arg(QString::fromUtf8(k3::province(left).caption), QString::fromUtf8(e.what())),
                true);
        }
    }
    m_shownDatabase = database;
    setHistory(province, std::move(snap), appended);
}

// One look at a time, in the background: the files whose probe says they changed are read again, and a
// province's file that has appeared is read for the first time.
void WatchWindow::pollOtherProvinces() {
    // Hidden, the list still follows the other provinces while it has items: their alerts reach the
    // status bar.
    if (m_polling || !m_others.loaded || (!isVisible() && m_items.empty())) return;
    m_polling = true;
    auto probes = std::make_shared<std::map<int, std::shared_ptr<HistoryProbe>>>(m_probes);
    runThenCallback(
        this,
        [probes, dir = QFile::encodeName(m_dataDir).toStdString(), except = m_others.except, parts = m_others.parts,
         plan = m_plan, kept = m_kept](TaskControl& control) {
            std::vector<std::pair<int, std::string>> files;
            for (const auto& [province, probe] : *probes) {
                try {
                    if (probe->changed()) files.emplace_back(province, probe->path());
                } catch (const std::exception&) {
                    files.emplace_back(province, probe->path());  // said by the read
                }
            }
            // A province with no file before: its own file name (gapbook.db is decided at the load).
            for (int p = 0; p < kProvinceCount; ++p) {
                if (p == except || probes->count(p)) continue;
                std::error_code ec;
                const std::string path = (std::filesystem::path(dir) / provinceDatabaseName(p)).string();
                // An empty file holds no history yet (opened, it would be made one).
                if (std::filesystem::file_size(path, ec) > 0 && !ec) files.emplace_back(p, path);
            }
            std::atomic<size_t> next{0};
            return readHistories(files, next, parts, plan, kept, control);
        },
        [this, load = m_load](TaskOutcome<std::vector<Read>>& read) {
            m_polling = false;
            if (!read.failed()) otherProvincesRead(read.value(), load);
        });
}

void WatchWindow::compute(int province) {
    History& h = m_histories[province];
    if (!h.snap) return;  // kept figures, counted for this list
    const int generation = ++h.generation;
    ++m_pending;
    const std::vector<WatchFigures> before = h.state ? h.state->figures() : std::vector<WatchFigures>{};
    const bool samePlan = h.state && h.state->planPointer() == m_plan;
    runThenCallback(
        this, [plan = m_plan, snap = h.snap](TaskControl&) { return std::make_shared<const WatchState>(plan, *snap); },
        [this, province, generation, before, samePlan,
         token = h.snap->contentToken()](TaskOutcome<std::shared_ptr<const WatchState>>& outcome) {
            --m_pending;
            auto it = m_histories.find(province);
            if (it == m_histories.end() || it->second.generation != generation) {
                if (m_pending == 0) emit computed();
                return;
            }
            if (outcome.failed()) {
                say(QString("%1的遗漏提醒算不出：%2")
                        .arg(QString::fromUtf8(k3::province(province).caption), outcome.errorText()),
                    true);
            } else if (outcome.value()->planPointer() == m_plan) {
                it->second.state = outcome.value();
                keepState(province, token, *it->second.state);
                if (samePlan) announce(province, before, *it->second.state);
            }
            showRows();
            if (m_pending == 0) emit computed();
        });
}

void WatchWindow::announce(int province, const std::vector<WatchFigures>& before, const WatchState& after) {
    if (before.empty()) return;  // nothing to compare with: the first count of this history
    const std::vector<WatchFigures> figures = after.figures();
    const std::string text = reachedMessage(after.plan(), province, figures, newlyAtThreshold(before, figures));
    if (text.empty()) return;
    const QString shown = QString::fromStdString(text);
    say(shown, false);
    emit thresholdReached(shown);
    if (m_settings.watchNotifications() && notify) notify("遗漏提醒", shown);
}

void WatchWindow::showRows() {
    std::vector<WatchHistory> histories;
    for (const auto& [province, h] : m_histories)
        if (h.state) histories.push_back({province, h.state.get()});
    m_rows = watchRows(histories);
    size_t reached = 0;
    while (reached < m_rows.size() && m_rows[reached].figures.atThreshold()) ++reached;
    const int keep = selectedItem();
    m_model->setReached(reached);
    m_model->setGrid(watchGrid(*m_plan, m_rows));
    m_view->resizeColumnsToContents();
    if (keep >= 0)
        for (size_t r = 0; r < m_rows.size(); ++r)
            if (int(m_rows[r].item) == keep) {
                m_view->setCurrentIndex(m_model->index(int(r), 0));
                break;
            }
}

void WatchWindow::exportWorkbook() {
    if (m_rows.empty()) {
        say("遗漏提醒是空的，没有导出", true);
        return;
    }
    const WrittenText said = writeGridWorkbook(m_model->grid(), m_dataDir, "Tixing.xlsx", openUrl);
    say(said.text, said.warning);
}

void WatchWindow::showDesktopMessage(const QString& title, const QString& text) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(windowIcon(), this);
        m_tray->show();
    }
    m_tray->showMessage(title, text);
}

}  // namespace k3
