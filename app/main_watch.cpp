// The main window's side of 遗漏提醒: the window, the items added from 遗漏总表 and from the search, and
// the histories it is given as they change.
#include <QStatusBar>

#include "main_window.h"
#include "prompter.h"
#include "search_panel.h"
#include "settings/settings.h"
#include "store/issue.h"
#include "watch/watch_item.h"
#include "watch_window.h"

namespace k3 {

WatchWindow* MainWindow::watchWindow() {
    if (m_watch) return m_watch;
    m_watch = new WatchWindow(m_session->dataDir(), m_session->settings(), m_session->segmentBase(), this);
    m_watch->setWindowFlag(Qt::Window);
    m_watch->openUrl = [this](const QUrl& url) { return m_prompter->openUrl(url); };
    connect(m_watch, &WatchWindow::message, this, [this](const QString& text) { showStatus(text); });
    connect(m_watch, &WatchWindow::thresholdReached, this, [this](const QString& text) { showStatus(text); });
    m_session->catchUp();
    m_watch->setShownHistory(m_session->lotteryIndex(), m_session->databaseFile().toStdString(), m_session->snapshot());
    m_watch->loadOtherProvinces(m_session->lotteryIndex(), m_session->unrecordedOwner());
    return m_watch;
}

// A saved list is counted from the start, the window hidden, so that a change that makes an item reach
// its threshold is said in the status bar whether the window was opened or not.
void MainWindow::startWatch() {
    if (!m_session->settings().watchList().trimmed().isEmpty()) watchWindow();
}

void MainWindow::openWatch() {
    WatchWindow* window = watchWindow();
    window->show();
    window->raise();
    window->activateWindow();
}

void MainWindow::watchTableItem(int item) {
    WatchItem w;
    w.item = item;
    openWatch();
    m_watch->addItem(w);
}

void MainWindow::watchSearch() {
    WatchItem w;
    try {
        // The values as the boxes show them, also one still being typed.
        SearchInput in = m_searchPanel->searchInput();
        for (size_t i = 0; i < 3; ++i)
            if (auto v = parseWhole(in.texts[i], -32768, 32767)) in.values[i] = static_cast<int>(*v);
        w.search = watchedSearchOf(in);
        checkWatchItem(w);
    } catch (const std::exception& e) {
        showStatus(QString("未加入遗漏提醒：%1").arg(QString::fromUtf8(e.what())));
        return;
    }
    openWatch();
    m_watch->addItem(w);
}

// Every change of the history shown reaches the list: a typed draw is counted on what it has.
// After a switch, the province left is followed by the list itself, as every other province is.
void MainWindow::followWatch(std::shared_ptr<const Snapshot> snapshot, HistoryOrigin origin) {
    if (!m_watch) return;
    m_watch->setShownHistory(m_session->lotteryIndex(), m_session->databaseFile().toStdString(), std::move(snapshot),
                             origin == HistoryOrigin::kTypedDraw);
}

}  // namespace k3
