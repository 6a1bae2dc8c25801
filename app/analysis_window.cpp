#include "analysis_window.h"

#include <QDesktopServices>
#include <QLabel>

#include "open_failure.h"

namespace k3 {

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
    keepHistoryAndRange(std::move(snap), from, to);
    recompute();
}

void AnalysisWindow::keepHistoryAndRange(std::shared_ptr<const Snapshot> snap, const QString& from, const QString& to) {
    m_snap = std::move(snap);
    m_from = from;
    m_to = to;
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

void AnalysisWindow::showWritten(const QString& path, const QString& done) {
    const WrittenText said = writtenText(openUrl, path, done);
    say(said.text, said.warning);
}

}  // namespace k3
