// What the window says when the desktop has no program to open a file it wrote or ships: that first, with
// the file's full path, then what was done, so that a status line cut at its end still tells it.
#pragma once
#include <QDir>
#include <QString>
#include <QUrl>
#include <functional>

namespace k3 {

// "无法打开 PATH：本机没有可以打开此文件的程序，请自行打开（DONE）"; without DONE when it is empty.
inline QString notOpenedText(const QString& path, const QString& done = {}) {
    QString text = QString("无法打开 %1：本机没有可以打开此文件的程序，请自行打开").arg(QDir::toNativeSeparators(path));
    if (!done.isEmpty()) text += QString("（%1）").arg(done);
    return text;
}

// What a window says once it has written `path` and asked `open` to open it: `done` and where, or (as a
// warning) that no program opens it.
struct WrittenText {
    QString text;
    bool warning;
};
inline WrittenText writtenText(const std::function<bool(const QUrl&)>& open, const QString& path, const QString& done) {
    if (open && !open(QUrl::fromLocalFile(path))) return {notOpenedText(path, done), true};
    return {QString("%1到 %2").arg(done, path), false};
}

}  // namespace k3
