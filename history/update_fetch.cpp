// The GET of the update page: http and https through libcurl, file: addresses read here so that only a
// regular file is ever opened (a FIFO or a device would block or never end).
#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "history/update_page.h"
#include "store/error_text.h"
#include "store/history_files.h"

namespace k3 {

using namespace std::chrono;

UpdateGuard::UpdateGuard(long seconds, const std::atomic<bool>* cancel) : seconds_(seconds), cancel_(cancel) {
    if (seconds > 0) deadline_ = steady_clock::now() + std::chrono::seconds(seconds);
}

void UpdateGuard::check(const std::string& what) const {
    if (cancelled()) throw UpdateCancelled();
    if (expired()) throw FetchError(what + "超过时间限制（" + std::to_string(seconds_) + " 秒）");
}

long UpdateGuard::remainingMs() const {
    if (deadline_ == steady_clock::time_point::max()) return 24L * 3600 * 1000;
    auto left = duration_cast<milliseconds>(deadline_ - steady_clock::now()).count();
    return static_cast<long>(std::max<decltype(left)>(left, 1));
}

namespace {

constexpr size_t kMaxPageBytes = 64u << 20;
constexpr size_t kFileChunk = 1u << 20;

struct Transfer {
    std::string body;
    const UpdateGuard* guard = nullptr;
    bool tooLarge = false;
};

size_t onData(char* ptr, size_t size, size_t nmemb, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * nmemb;
    if (t->body.size() + n > kMaxPageBytes) {
        t->tooLarge = true;
        return 0;
    }
    t->body.append(ptr, n);
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->guard->cancelled() ? 1 : 0;
}

struct CurlUrlFree {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};

// The scheme of an address ("file", "http", ...) and, for file:, the local path; empty scheme when the
// address cannot be parsed.
struct ParsedUrl {
    std::string scheme;
    std::string path;
};

ParsedUrl parseUrl(const std::string& url) {
    ParsedUrl out;
    std::unique_ptr<CURLU, CurlUrlFree> h(curl_url());
    if (!h || curl_url_set(h.get(), CURLUPART_URL, url.c_str(),
                           CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME | CURLU_ALLOW_SPACE) != CURLUE_OK)
        return out;
    char* part = nullptr;
    if (curl_url_get(h.get(), CURLUPART_SCHEME, &part, 0) == CURLUE_OK && part) {
        out.scheme = part;
        curl_free(part);
    }
    std::transform(out.scheme.begin(), out.scheme.end(), out.scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    part = nullptr;
    if (out.scheme == "file" && curl_url_get(h.get(), CURLUPART_PATH, &part, CURLU_URLDECODE) == CURLUE_OK && part) {
        out.path = part;
        curl_free(part);
    }
    return out;
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// What is wrong with an address the update cannot use, said about that address.
void checkAddress(const std::string& url, const ParsedUrl& parsed) {
    const std::string what = "无法取得 " + url + "：";
    const char* const fileForm =
        "file 地址要写成 file:// 加上本机文件的完整路径（或 file: 加上以 / 开头的路径），例如 "
        "file:///home/user/page.html";
    if (startsWithNoCase(url, "file:")) {
        if (!startsWithNoCase(url, "file:/")) throw FetchError(what + fileForm);
        if (!startsWithNoCase(url, "file://")) return;  // file:/path: no host
        // The host between "file://" and the path: none, or this computer's own name.
        const size_t slash = url.find('/', 7);
        std::string host = url.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
        std::string lower = host;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!host.empty() && lower != "localhost")
            throw FetchError(what + "file 地址只能指向本机的文件，地址中的主机「" + host + "」不是本机；" + fileForm);
        if (parsed.scheme != "file") throw FetchError(what + fileForm);
        return;
    }
    if (parsed.scheme.empty()) throw FetchError(what + "地址的格式不对，应以 http://、https:// 或 file:// 开头");
    if (parsed.scheme != "http" && parsed.scheme != "https")
        throw FetchError(what + "不支持「" + parsed.scheme + "」地址，只能使用 http、https 或 file 地址");
}

std::string errnoText(int e) {
    switch (e) {
        case ENOENT: return "文件不存在";
        case EACCES:
        case EPERM: return "没有读取权限";
        case EISDIR: return "是一个文件夹，不是文件";
        default: return systemErrorText(e);
    }
}

// The local path of a file: address ("/C:/x" is "C:/x" on Windows).
std::string localPath(std::string path) {
#ifdef _WIN32
    if (path.size() > 2 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
    return path;
}

#ifndef _WIN32

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A file: address: opened without blocking (a FIFO with no writer would wait forever), read only when it is
// a regular file, in pieces with the guard checked between them.
FetchedPage readFileUrl(const std::string& url, const std::string& path, const UpdateGuard& guard) {
    const std::string what = "无法读取 " + url + ": ";
    if (path.empty()) throw FetchError(what + "地址中没有文件路径");
    guard.check(what);
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) throw FetchError(what + errnoText(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FetchError(what + errnoText(errno));
    if (S_ISDIR(st.st_mode)) throw FetchError(what + "是一个文件夹，不是文件");
    if (!S_ISREG(st.st_mode)) throw FetchError(what + "不是普通文件");
    if (static_cast<unsigned long long>(st.st_size) > kMaxPageBytes) throw FetchError(what + "页面过大");
    FetchedPage page;
    page.body.reserve(static_cast<size_t>(st.st_size));
    std::string chunk(kFileChunk, '\0');
    for (;;) {
        guard.check(what);
        ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FetchError(what + errnoText(errno));
        }
        if (n == 0) break;
        if (page.body.size() + static_cast<size_t>(n) > kMaxPageBytes) throw FetchError(what + "页面过大");
        page.body.append(chunk.data(), static_cast<size_t>(n));
    }
    if (page.body.empty()) throw FetchError(what + "文件是空的");
    return page;
}

#else

// Windows has no FIFOs that block an open: a path is read when it names a regular file ("/C:/x" is "C:/x").
FetchedPage readFileUrl(const std::string& url, std::string path, const UpdateGuard& guard) {
    const std::string what = "无法读取 " + url + ": ";
    path = localPath(std::move(path));
    if (path.empty()) throw FetchError(what + "地址中没有文件路径");
    guard.check(what);
    const std::filesystem::path p(reinterpret_cast<const char8_t*>(path.c_str()));
    std::error_code ec;
    const auto st = std::filesystem::status(p, ec);
    if (ec || !std::filesystem::exists(st)) throw FetchError(what + "文件不存在");
    if (std::filesystem::is_directory(st)) throw FetchError(what + "是一个文件夹，不是文件");
    if (!std::filesystem::is_regular_file(st)) throw FetchError(what + "不是普通文件");
    std::ifstream f(p, std::ios::binary);
    if (!f) throw FetchError(what + "没有读取权限");
    FetchedPage page;
    std::string chunk(kFileChunk, '\0');
    while (f) {
        guard.check(what);
        f.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto n = static_cast<size_t>(f.gcount());
        if (page.body.size() + n > kMaxPageBytes) throw FetchError(what + "页面过大");
        page.body.append(chunk.data(), n);
    }
    if (f.bad()) throw FetchError(what + "读取失败");
    if (page.body.empty()) throw FetchError(what + "文件是空的");
    return page;
}

#endif

// file:/path, the form without an authority (RFC 8089), as file:///path.
std::string withAuthority(const std::string& url) {
    if (startsWithNoCase(url, "file:/") && !startsWithNoCase(url, "file://")) return "file://" + url.substr(5);
    return url;
}

}  // namespace

FetchedPage fetchUrl(const std::string& given, const UpdateGuard& guard, const std::string& dataDir) {
    const std::string url = withAuthority(given);
    const ParsedUrl parsed = parseUrl(url);
    checkAddress(given, parsed);
    if (parsed.scheme == "file") {
        if (historyFileOf(localPath(parsed.path), dataDir) == HistoryFile::kDatabase)
            throw FetchError("无法读取 " + given + ": 这是历史数据库的文件，不是开奖网页");
        return readFileUrl(given, parsed.path, guard);
    }
    guard.check("无法取得 " + url + ": ");

    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* c = curl_easy_init();
    if (!c) throw FetchError("无法初始化网络连接");
    Transfer t;
    t.guard = &guard;
    char errbuf[CURL_ERROR_SIZE] = {0};
    const long timeoutMs = guard.remainingMs();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, std::min(timeoutMs, 30000L));
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(c, CURLOPT_USERAGENT, "k3gap");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    CURLcode rc = curl_easy_perform(c);
    FetchedPage page;
    if (rc == CURLE_OK) {
        char* ct = nullptr;
        if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &ct) == CURLE_OK && ct) page.contentType = ct;
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(c);
    if (rc == CURLE_ABORTED_BY_CALLBACK || guard.cancelled()) throw UpdateCancelled();
    if (rc != CURLE_OK) {
        std::string why;
        if (rc == CURLE_OPERATION_TIMEDOUT)
            why = "超过时间限制（" + std::to_string(guard.seconds()) + " 秒）";
        else if (rc == CURLE_HTTP_RETURNED_ERROR)
            why = "服务器返回错误 " + std::to_string(status);
        else if (t.tooLarge)
            why = "页面过大";
        else
            why = withDetail(curlErrorText(rc), errbuf[0] ? errbuf : curl_easy_strerror(rc));
        throw FetchError("无法取得 " + url + ": " + why);
    }
    if (t.body.empty()) throw FetchError("无法取得 " + url + ": 服务器返回的页面是空的");
    page.body = std::move(t.body);
    return page;
}

}  // namespace k3
