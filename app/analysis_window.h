// What the main window sees of each analysis window of the 分析 menu (遗漏总表, 公平性检验, 遗漏回测,
// 走势图): it gives the history shown and the search range, opens the files a window writes through the
// desktop, and hears what the window says. The setup they share (a tool window over the data folder
// with a status line under its contents) is made here.
#pragma once
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

#include "open_failure.h"
#include "store/grid.h"
#include "store/snapshot.h"

class QLabel;

namespace k3 {

// Writes `grid` as the workbook `fileName` in the data folder `dataDir` (through the one writer) and opens
// it: what the window says then, or why nothing was written.
WrittenText writeGridWorkbook(const Grid& grid, const QString& dataDir, const QString& fileName,
                              const std::function<bool(const QUrl&)>& open);

class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    // The history and the range texts (the search range boxes): what the window shows is made again,
    // in the background.
    void setHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to);
    // How issues are written (issueText): running numbers, or dates with all nine digits.
    void setRunningNumbers(bool running) { m_runningNumbers = running; }
    // Whether what was asked for last is still being made.
    virtual bool busy() const = 0;
    QLabel* statusLabel() const { return m_status; }

    // Opens a file the window wrote; the desktop's default application unless replaced (tests). False
    // when no program could open it.
    std::function<bool(const QUrl& url)> openUrl;

signals:
    // What the window did or why it could not; `warning` when it could not.
    void message(const QString& text, bool warning);

protected:
    // A window of its own (not modal) named `objectName`, titled `title`, its status line named
    // `statusName`.
    AnalysisWindow(QString dataDir, const QString& objectName, const QString& title, const QString& statusName,
                   QWidget* parent);
    // Makes what the window shows from snapshot(), from() and to().
    virtual void recompute() = 0;

    // The status line says `text`, and the main window hears it.
    void say(const QString& text, bool warning);
    // The status line says `text`; the main window hears it only from an open window, and only when
    // what it shows could not be made, or can be again.
    void tellState(const QString& text, bool failed);
    // Opens the file just written at `path` and says `done` and where it is, or that it cannot be opened.
    void showWritten(const QString& path, const QString& done);
    // Writes `grid` as the workbook `fileName` in the data folder, opens it and says so.
    void exportGrid(const Grid& grid, const QString& fileName);

    const std::shared_ptr<const Snapshot>& snapshot() const { return m_snap; }
    const QString& from() const { return m_from; }
    const QString& to() const { return m_to; }
    bool runningNumbers() const { return m_runningNumbers; }

    const QString m_dataDir;
    QLabel* m_status;  // under the window's contents; wraps a long message instead of widening the window

private:
    std::shared_ptr<const Snapshot> m_snap;
    QString m_from, m_to;
    bool m_runningNumbers = false;
    bool m_failed = false;  // what was made last could not be
};

}  // namespace k3
