// The page of an online update: the time limit and cancel flag that bound the whole update, the GET of the
// page, and its text.
#pragma once
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "store/error.h"

namespace k3 {

// The page could not be fetched or read (network, HTTP error status, time limit, unreadable page, unsupported
// address). Nothing was changed.
struct FetchError : Error {
    using Error::Error;
};

// The update was cancelled before it changed anything.
struct UpdateCancelled : FetchError {
    UpdateCancelled() : FetchError("在线更新已取消") {}
};

// The time limit and the cancel flag of one update, from fetching to the last step before storing. Each
// step runs in bounded pieces and checks the guard between them.
class UpdateGuard {
public:
    UpdateGuard() = default;  // no time limit, no cancel
    UpdateGuard(long seconds, const std::atomic<bool>* cancel);

    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    bool expired() const { return std::chrono::steady_clock::now() >= deadline_; }
    // Throws UpdateCancelled when cancelled, FetchError naming `what` when the time limit has passed.
    void check(const std::string& what) const;
    // Milliseconds left, at least 1; a large number without a time limit.
    long remainingMs() const;
    long seconds() const { return seconds_; }
    const std::atomic<bool>* cancelFlag() const { return cancel_; }

private:
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    long seconds_ = 0;
    const std::atomic<bool>* cancel_ = nullptr;
};

struct FetchedPage {
    std::string body;
    std::string contentType;
};

// One GET of an http or https address, or the reading of a file: address (a regular file only, never a
// history database of `dataDir` or one of its side files, which only SQLite may open), within the guard's
// time limit; a cancel stops it. An empty page is a failure. Throws FetchError / UpdateCancelled.
FetchedPage fetchUrl(const std::string& url, const UpdateGuard& guard, const std::string& dataDir);

// One cell of a table of a page: its text (blanks collapsed as a browser shows them) and the texts of the
// elements directly inside it (<span>1</span><span>3</span>…).
struct PageCell {
    std::string text;
    std::vector<std::string> parts;
};
using PageRow = std::vector<PageCell>;

struct PageContent {
    std::string text;           // as pageText
    std::vector<PageRow> rows;  // the rows of the page's tables, in document order (none for a page of text)
};

// The text of a page body as UTF-8: an HTML page through the HTML parser (text of <body>, scripts and styles
// left out, a tab between the cells of a row, line breaks for <br> and around block elements, table rows
// among them), any other page as it is. The charset of the
// Content-Type is honoured. A page that cannot be read whole (an unknown charset, bytes that are not in the
// page's encoding, a page that stops the parser) throws FetchError; the guard is checked as the page is read.
std::string pageText(const FetchedPage& page, const UpdateGuard& guard = {});
// The same, with the rows of the page's tables.
PageContent readPage(const FetchedPage& page, const UpdateGuard& guard = {});

// The charset parameter of a Content-Type ("text/html; charset=GBK" -> "GBK"), empty when there is none.
std::string contentTypeCharset(const std::string& contentType);

}  // namespace k3
