#include "export/output_file.h"

#include <cerrno>
#include <filesystem>
#include <optional>

#include "export/target.h"
#include "store/damage_check.h"
#include "store/error_text.h"
#include "store/platform.h"

namespace k3 {

namespace fs = std::filesystem;

namespace {

// A failure whose cause is a system error: a full disk is said as such, the earlier file kept.
struct SystemFailure {
    int err;
};

std::string failureText(const std::string& path, bool existed, const std::string& cause) {
    return "无法写入文件 " + path + "：" + cause + (existed ? "；原有的文件未作改动" : "；未写入");
}

std::string diskFullText(const std::string& path, bool existed, const std::string& detail = {}) {
    return withDetail("磁盘已满，无法写入文件 " + path + (existed ? "；原有的文件未作改动" : "；未写入"), detail);
}

}  // namespace

void writeOutputFile(const std::string& path, const std::string& dataDir,
                     const std::function<void(const std::string& sidePath)>& write) {
    if (path.empty()) throw ExportError("没有给出文件名，未写入");
    const fs::path target(exportTarget(path, dataDir));
    // The mode of the file replaced (POSIX), which the new one keeps.
    const std::optional<unsigned> mode = fileMode(target.string());
    std::error_code ec;
    const bool existed = fs::exists(target, ec);
    // Only a file its user may write is replaced: a writable folder alone would let the rename replace any.
    if (existed && !canWrite(target)) throw ExportError("文件 " + path + " 是只读的，未写入");
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    // The side file, hidden and named after the target, is a new file of its own: nothing else is ever
    // written in its place. It is created as any new file of the folder is (the system applies the umask
    // and the folder's default permissions; the process's umask is never set to learn it) and never
    // readable by more users than the file it replaces.
    int err = 0;
    const std::string side =
        createNewFile(folder, "." + target.filename().string() + ".", mode.value_or(0666) & 0666, err);
    if (side.empty()) {
        if (diskFullError(err)) throw ExportError(diskFullText(path, existed));
        throw ExportError(failureText(path, existed, "无法在它的文件夹中创建文件（" + systemErrorText(err) + "）"));
    }
    auto discard = [&] { fs::remove(side, ec); };
    try {
        write(side);
        if (int e = settleFile(side, mode)) throw SystemFailure{e};
        if (int e = replaceFile(side, target.string())) throw SystemFailure{e};
    } catch (const ExportCancelled&) {
        discard();  // said as it is, whatever the disk
        throw;
    } catch (const SystemFailure& f) {
        discard();
        if (diskFullError(f.err) || (f.err == EIO && folderFull(folder)))
            throw ExportError(diskFullText(path, existed));
        throw ExportError(failureText(path, existed, systemErrorText(f.err)));
    } catch (const OutputFailure& f) {
        discard();
        if (folderFull(folder)) throw ExportError(diskFullText(path, existed, f.detail));
        throw ExportError(withDetail(failureText(path, existed, f.what()), f.detail));
    } catch (const std::exception& e) {
        discard();
        // A library that writes the file may lose the system error; the disk tells a full one.
        if (folderFull(folder)) throw ExportError(diskFullText(path, existed, e.what()));
        if (dynamic_cast<const ExportError*>(&e)) throw;
        throw ExportError(failureText(path, existed, withDetail("写入出错", e.what())));
    }
    syncFolder(folder);
}

void writeOutputBytes(const std::string& path, const std::string& dataDir, std::string_view bytes) {
    writeOutputFile(path, dataDir, [&](const std::string& side) {
        if (int err = writeWholeFile(side, bytes)) throw SystemFailure{err};
    });
}

}  // namespace k3
