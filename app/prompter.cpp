#include "prompter.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace k3 {

DialogPrompter::DialogPrompter(QWidget* parent, QFileDialog* openFileDialog)
    : m_parent(parent), m_openFileDialog(openFileDialog) {}

bool DialogPrompter::askOkCancel(const QString& title, const QString& text) {
    return QMessageBox::question(m_parent, title, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

std::optional<QString> DialogPrompter::askText(const QString& title, const QString& prompt, const QString& preset) {
    bool ok = false;
    QString answer = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, preset, &ok);
    if (!ok) return std::nullopt;
    return answer;
}

QString DialogPrompter::askOpenFile(const QString& dir, const QString& filter) {
    m_openFileDialog->setDirectory(dir);
    m_openFileDialog->setNameFilter(filter);
    if (m_openFileDialog->exec() != QDialog::Accepted || m_openFileDialog->selectedFiles().isEmpty()) return {};
    return m_openFileDialog->selectedFiles().first();
}

void DialogPrompter::tell(const QString& title, const QString& text) {
    QMessageBox::information(m_parent, title, text);
}

bool DialogPrompter::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace k3
