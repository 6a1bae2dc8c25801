#include "analysis_window.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>

#include "export/workbook.h"
#include "open_failure.h"

namespace k3 {

WrittenText writeGridWorkbook(const Grid& grid, const QString& dataDir, const QString& fileName,
                              const std::function<bool(const QUrl&)>& open) {
    const QString path = QDir(dataDir).filePath(fileName);
    try {
        writeWorkbook(grid, QFile::encodeName(path).toStdString(), QFile::encodeName(dataDir).toStdString());
    } catch (const std::exception& e) {
        return {QString::fromUtf8(e.what()), true};
    }
    return writtenText(open, path, QString("已导出 %1 行").arg(grid.rowCount()));
}

AnalysisWindow::AnalysisWindow(QString dataDir, const QString& objectName, const QString& title,
                               const QString& statusName, QWidget* parent)
    : QWidget(parent), m_dataDir(std::move(dataDir)) {
    setWindowFlag(Qt::Window);
    setObjectName(objectName);
    setWindowTitle(title);
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_status = new QLabel(this);
    m_status->setObjectName(statusName);
    m_status->setWordWrap(true);
}

void AnalysisWindow::setHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to) {
    m_snap = std::move(snap);
    m_from = from;
    m_to = to;
    recompute();
}

void AnalysisWindow::say(const QString& text, bool warning) {
    m_status->setText(text);
    emit message(text, warning);
}

void AnalysisWindow::tellState(const QString& text, bool failed) {
    m_status->setText(text);
    if (isVisible() && (failed || m_failed)) emit message(text, failed);
    m_failed = failed;
}

void AnalysisWindow::exportGrid(const Grid& grid, const QString& fileName) {
    const WrittenText said = writeGridWorkbook(grid, m_dataDir, fileName, openUrl);
    say(said.text, said.warning);
}

void AnalysisWindow::showWritten(const QString& path, const QString& done) {
    const WrittenText said = writtenText(openUrl, path, done);
    say(said.text, said.warning);
}

}  // namespace k3
