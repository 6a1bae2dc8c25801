#include "export/target.h"

#include <filesystem>
#include <fstream>
#include <string_view>

#include "store/history_files.h"

namespace k3 {

namespace fs = std::filesystem;

namespace {

// The file begins as every SQLite database does. Asked only of files that are none of the history's:
// reading one of those outside SQLite would drop this process's locks on it.
bool beginsAsDatabase(const fs::path& p) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return false;  // a pipe is never opened
    char head[16] = {};
    std::ifstream f(p, std::ios::binary);
    return f.read(head, sizeof head) &&
           std::string_view(head, sizeof head) == std::string_view("SQLite format 3\0", 16);
}

// A database of another folder, or a side file of one: never replaced by an export either. A file
// named as a history's is taken for one without being opened.
bool otherDatabaseOrSideFile(const fs::path& p, const std::string& dataDir) {
    auto database = [&](const fs::path& file) {
        return isHistoryDatabaseName(file.filename().string()) ||
               historyFileOf(file.string(), dataDir) != HistoryFile::kNone || beginsAsDatabase(file);
    };
    if (database(p)) return true;
    const std::string name = p.string();
    for (std::string_view side : {"-wal", "-shm", "-journal"})
        if (name.size() > side.size() && name.ends_with(side) && database(name.substr(0, name.size() - side.size())))
            return true;
    return false;
}

}  // namespace

std::string exportTarget(const std::string& path, const std::string& dataDir) {
    std::error_code ec;
    fs::path p(path);
    // A link, also one whose target does not exist yet, stands for its target.
    for (int hops = 0; fs::is_symlink(p, ec); ++hops) {
        if (hops == 40) throw ExportError(path + " 的符号链接层数太多，未写入");
        fs::path to = fs::read_symlink(p, ec);
        if (ec) throw ExportError("无法读取符号链接 " + path + "（" + ec.message() + "），未写入");
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    const fs::file_status st = fs::status(p, ec);
    if (fs::is_directory(st)) throw ExportError(path + " 是文件夹，不能写成文件，未写入");
    if (fs::exists(st) && !fs::is_regular_file(st))
        throw ExportError(path + " 不是普通文件（而是设备、管道或套接字），不能写在它上面，未写入");
    // The history's own files first, by identity: none of them is ever opened here.
    switch (historyFileOf(p.string(), dataDir)) {
        case HistoryFile::kDatabase: throw ExportError(path + " 是历史数据库的文件，导出不能写在它上面，未写入");
        case HistoryFile::kBackup:
            throw ExportError(path + " 是删除历史号码时用的备份文件，导出不能写在它上面，未写入");
        case HistoryFile::kNone: break;
    }
    if (otherDatabaseOrSideFile(p, dataDir)) throw ExportError(path + " 是数据库文件，导出不能写在它上面，未写入");
    return p.string();
}

}  // namespace k3
