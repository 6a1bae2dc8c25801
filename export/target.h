// Where an export may write.
#pragma once
#include <string>

#include "export/export_error.h"

namespace k3 {

// The file an export to `path` replaces, or ExportError when the target is refused. A symbolic link is
// followed, so that its target is replaced and the link stays. Refused: a target that exists and is
// not a regular file (a folder, a device, a pipe), and, when `dataDir` is given, the history database
// of that folder with its side files (-wal, -shm, -journal) and the trimming backup, however the path
// names them.
std::string exportTarget(const std::string& path, const std::string& dataDir);

}  // namespace k3
