#include "file_dialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>

#include "translation.h"

namespace k3 {

namespace {

// The MIME type the name suggests; the file is not looked at (it need not even exist).
QMimeType typeByName(const QFileInfo& info) {
    const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(info.fileName());
    return types.isEmpty() ? QMimeType() : types.first();
}

// The provider lives as long as the dialog's model, which asks it.
class ProviderOwner : public QObject {
public:
    explicit ProviderOwner(QObject* parent) : QObject(parent) {}
    NameOnlyIconProvider provider;
};

}  // namespace

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    // The model's file information was read with stat alone: these ask no more of the disk.
    if (info.isRoot()) return icon(QAbstractFileIconProvider::Drive);
    if (info.isDir()) return icon(QAbstractFileIconProvider::Folder);
    const QMimeType mime = typeByName(info);
    const QIcon file = icon(QAbstractFileIconProvider::File);
    if (!mime.isValid()) return file;
    return QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), file));
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    if (info.isRoot()) return QCoreApplication::translate("QAbstractFileIconProvider", "Drive");
    if (info.isDir()) return QCoreApplication::translate("QAbstractFileIconProvider", "Folder");
    const QMimeType mime = typeByName(info);
    if (mime.isValid() && !mime.comment().isEmpty()) return mime.comment();
    if (info.suffix().isEmpty()) return QCoreApplication::translate("QAbstractFileIconProvider", "File");
    return QCoreApplication::translate("QAbstractFileIconProvider", "%1 File").arg(info.suffix());
}

QFileDialog* makeFileDialog(QWidget* parent, const QString& objectName, const QString& directory) {
    auto* dialog = new QFileDialog(parent, QString(), directory);
#ifndef Q_OS_WIN
    // Qt's own dialog: a desktop's dialog in this process would look into the files again. On Windows a
    // lock belongs to the handle that took it, and the system's dialog may stay.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
#endif
    // Before the event loop runs again: the dialog's model asks its provider on this thread, when the
    // listing it started in the background arrives, so no file has been looked at yet.
    dialog->setIconProvider(&(new ProviderOwner(dialog))->provider);
    dialog->setObjectName(objectName);
    chineseButtons(*dialog);
    return dialog;
}

}  // namespace k3
