// Where the help pages are found: beside the program, in the installed data folder, or in the source tree.
#pragma once
#include <QString>
#include <QStringList>

namespace k3 {

// The folders that may hold the help pages, most likely first: docs/ beside the program (a build
// tree), share/k3gap/docs relative to the program (an installed program), the source tree's docs/.
QStringList helpDocumentDirs();
// The same for a program in `programDir`.
QStringList helpDocumentDirs(const QString& programDir);

// The absolute path of help page `file` in the first of `dirs` that holds it; empty when none does.
QString findHelpDocument(const QString& file, const QStringList& dirs = helpDocumentDirs());

}  // namespace k3
