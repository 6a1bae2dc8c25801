// The platform layer on POSIX systems (Linux, macOS, the BSDs).
#include "store/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace k3 {

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), 0};
}

bool folderFull(const std::string& folder) {
    struct statvfs st {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return false;
    // A file system without a fixed number of file entries (btrfs) says it has none at all.
    return static_cast<unsigned long long>(st.f_bavail) * st.f_frsize < 64 * 1024 ||
           (st.f_files > 0 && st.f_favail == 0);
}

int sqliteSystemErrno(int code) { return code; }

std::string makePrivateTempFolder(const std::string& prefix, int& err) {
    std::error_code ec;
    std::string name = (std::filesystem::temp_directory_path(ec) / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(name.data())) {
        err = errno;
        return {};
    }
    return name;
}

std::string createNewFile(const std::string& folder, const std::string& stem, unsigned mode, int& err) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string base = (folder.empty() ? std::string(".") : folder) + "/" + stem;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = base;
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        // O_EXCL: a name that exists, a link among them, is never opened.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
        if (fd < 0) {
            if (errno == EEXIST) continue;
            err = errno;
            return {};
        }
        ::close(fd);
        return name;
    }
    err = EEXIST;
    return {};
}

int writeWholeFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    size_t done = 0;
    int err = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;  // a write that takes nothing: no room
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && !err) err = errno;
    return err;
}

int settleFile(const std::string& path, std::optional<unsigned> mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EEXIST;  // something put another file in its place
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = 0;
    if (mode && ::fchmod(fd, static_cast<mode_t>(*mode)) != 0 && errno != EPERM) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    ::close(fd);
    return err;
}

int replaceFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::optional<unsigned> fileMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<unsigned>(st.st_mode & 07777);
}

StderrCapture captureStderr() {
    StderrCapture c;
    std::fflush(stderr);
    c.saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    c.file = std::tmpfile();
    const int to = c.file ? ::fileno(c.file) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (c.saved >= 0 && to >= 0) ::dup2(to, STDERR_FILENO);
    if (!c.file && to >= 0) ::close(to);
    return c;
}

void releaseStderr(StderrCapture& c, bool (*dropped)(std::string_view line)) {
    std::fflush(stderr);
    if (c.saved >= 0) {
        ::dup2(c.saved, STDERR_FILENO);
        ::close(c.saved);
        c.saved = -1;
    }
    if (!c.file) return;
    // What others wrote meanwhile goes out now, line by line, without the library's lines.
    std::rewind(c.file);
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, c.file)) > 0;) text.append(buf, n);
    std::fclose(c.file);
    c.file = nullptr;
    std::string kept;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view line(text.data() + at, end - at);
        if (!dropped(line)) kept += line;
        at = end;
    }
    for (size_t done = 0; done < kept.size();) {
        const ssize_t n = ::write(STDERR_FILENO, kept.data() + done, kept.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

}  // namespace k3
