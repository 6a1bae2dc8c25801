// The window's file dialogs, every one of them made here. Qt's own icon and type provider looks into the
// files of a folder it lists to guess their types; opening and closing the history database (or its log)
// outside SQLite drops every lock this process holds on it (POSIX), and the next program that closes the
// file then takes itself for the last one and deletes the log under the window. The provider of these
// dialogs decides by a file's name alone and never opens one.
#pragma once
#include <QFileIconProvider>
#include <QString>

class QFileDialog;
class QWidget;

namespace k3 {

// Icons and types from the name: folders and drives get the style's icons, files the icon and the
// description of the MIME type their name suggests.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

// A file dialog over `directory` (Qt's own dialog, not the desktop's: a desktop dialog in this process
// would look into the files again), its buttons in Chinese, its icons and types by name. The dialog owns
// its provider.
QFileDialog* makeFileDialog(QWidget* parent, const QString& objectName, const QString& directory);

}  // namespace k3
