#include "prompter.h"

#include <QDesktopServices>
#include <QFileDialog>

#include "import_preview.h"
#include "translation.h"
#include "update_address_dialog.h"

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

bool DialogPrompter::confirmImport(const ImportPreview& preview) {
    ImportPreviewDialog dialog(m_parent, preview);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<QString> DialogPrompter::askUpdateAddress(const UpdateAddressQuestion& question) {
    UpdateAddressDialog dialog(m_parent, question);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.address();
}

bool DialogPrompter::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace k3
