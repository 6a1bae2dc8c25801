// What the window says when the desktop has no program to open a file it wrote or ships: that first, with
// the file's full path, then what was done, so that a status line cut at its end still tells it.
#pragma once
#include <QDir>
#include <QString>

namespace k3 {

// "无法打开 PATH：本机没有可以打开此文件的程序，请自行打开（DONE）"; without DONE when it is empty.
inline QString notOpenedText(const QString& path, const QString& done = {}) {
    QString text = QString("无法打开 %1：本机没有可以打开此文件的程序，请自行打开").arg(QDir::toNativeSeparators(path));
    if (!done.isEmpty()) text += QString("（%1）").arg(done);
    return text;
}

}  // namespace k3
