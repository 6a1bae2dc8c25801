#include "export/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "export/target.h"
#include "store/error_text.h"

namespace k3 {

namespace fs = std::filesystem;

namespace {

// A failure whose cause is a system error: a full disk is said as such, the earlier file kept.
struct SystemFailure {
    int err;
};

// The folder has (next to) no room left: a library that lost the system error failed for this.
bool folderFull(const fs::path& folder) {
    struct statvfs st {};
    if (::statvfs(folder.c_str(), &st) != 0) return false;
    return static_cast<unsigned long long>(st.f_bavail) * st.f_frsize < 64 * 1024 || st.f_favail == 0;
}

std::string failureText(const std::string& path, bool existed, const std::string& cause) {
    return "无法写入文件 " + path + "：" + cause + (existed ? "；原有的文件未作改动" : "；未写入");
}

std::string diskFullText(const std::string& path, bool existed, const std::string& detail = {}) {
    return withDetail("磁盘已满，无法写入文件 " + path + (existed ? "；原有的文件未作改动" : "；未写入"), detail);
}

// Creates an empty side file of its own in `folder`, hidden and named after the target, so that no
// other file is ever written in its place.
std::string createSideFile(const fs::path& target, const std::string& path, bool existed) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string name = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        const int err = errno;
        if (diskFullError(err)) throw ExportError(diskFullText(path, existed));
        throw ExportError(failureText(path, existed, "无法在它的文件夹中创建文件（" + systemErrorText(err) + "）"));
    }
    ::close(fd);
    return name;
}

// The side file as `write` left it, on disk for good, with the mode the target is to have.
void settle(const std::string& side, mode_t mode) {
    struct stat st {};
    if (::lstat(side.c_str(), &st) != 0) throw SystemFailure{errno};
    if (!S_ISREG(st.st_mode)) throw SystemFailure{EEXIST};  // something put another file in its place
    int fd = ::open(side.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw SystemFailure{errno};
    int err = 0;
    if (::fchmod(fd, mode) != 0 && errno != EPERM) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    ::close(fd);
    if (err) throw SystemFailure{err};
}

void syncFolder(const fs::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // the rename is already done; a folder that cannot be synced keeps it all the same
    ::close(fd);
}

mode_t newFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void writeOutputFile(const std::string& path, const std::string& dataDir,
                     const std::function<void(const std::string& sidePath)>& write) {
    if (path.empty()) throw ExportError("没有给出文件名，未写入");
    const fs::path target(exportTarget(path, dataDir));
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : newFileMode();
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string side = createSideFile(target, path, existed);
    auto discard = [&] { ::unlink(side.c_str()); };
    try {
        write(side);
        settle(side, mode);
        if (::rename(side.c_str(), target.c_str()) != 0) throw SystemFailure{errno};
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
        int fd = ::open(side.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) throw SystemFailure{errno};
        size_t done = 0;
        int err = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                err = n < 0 ? errno : ENOSPC;  // a write that takes nothing: no room
                break;
            }
            done += static_cast<size_t>(n);
        }
        ::close(fd);
        if (err) throw SystemFailure{err};
    });
}

}  // namespace k3
