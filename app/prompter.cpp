#include "prompter.h"

#include <QDesktopServices>
#include <QFileDialog>

#include "translation.h"

namespace k3 {

DialogPrompter::DialogPrompter(QWidget* parent, QFileDialog* openFileDialog)
    : m_parent(parent), m_openFileDialog(openFileDialog) {}

bool DialogPrompter::askOkCancel(const QString& title, const QString& text, bool cancelByDefault) {
    return k3::askOkCancel(m_parent, title, text, cancelByDefault);
}

std::optional<QString> DialogPrompter::askText(const QString& title, const QString& prompt, const QString& preset,
                                               bool cancelByDefault) {
    return k3::askText(m_parent, title, prompt, preset, cancelByDefault);
}

QString DialogPrompter::askOpenFile(const QString& dir, const QString& filter) {
    m_openFileDialog->setDirectory(dir);
    m_openFileDialog->setNameFilter(filter);
    if (m_openFileDialog->exec() != QDialog::Accepted || m_openFileDialog->selectedFiles().isEmpty()) return {};
    return m_openFileDialog->selectedFiles().first();
}

void DialogPrompter::tell(const QString& title, const QString& text) { showInformation(m_parent, title, text); }

bool DialogPrompter::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace k3
