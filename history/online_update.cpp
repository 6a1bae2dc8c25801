#include "history/online_update.h"

#include <curl/curl.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "store/issue.h"

namespace k3 {

using namespace std::chrono;

int daysBetween(year_month_day a, year_month_day b) { return static_cast<int>((sys_days{b} - sys_days{a}).count()); }

year_month_day yearsBefore(year_month_day d, int years) {
    year_month_day r{d.year() - std::chrono::years{years}, d.month(), d.day()};
    if (!r.ok()) r = year_month_day{year_month_day_last{r.year(), month_day_last{r.month()}}};
    return r;
}

UpdatePlan planUpdate(std::optional<int32_t> newest, bool runningNumbers, int drawsPerDay, int years,
                      year_month_day today) {
    UpdatePlan p;
    p.runningNumbers = runningNumbers;
    p.drawsPerDay = drawsPerDay;
    p.years = years;
    const year_month_day cutoff = yearsBefore(today, years);
    const int windowDays = daysBetween(cutoff, today);
    if (runningNumbers) {
        // Running numbers carry no date: the request covers the whole window; the range starts after
        // the newest stored draw, or at the first issue of the page when the history is empty.
        p.width = 3;
        p.days = windowDays;
        p.count = int64_t{p.days} * drawsPerDay;
        if (newest) {
            p.start = int64_t{*newest} + 1;
            p.end = *p.start + p.count;
        }
        return p;
    }
    p.width = 7;
    p.deleteBelow = dayBase(cutoff);
    p.end = dayBase(today) + drawsPerDay;
    std::optional<year_month_day> newestDate = newest ? issueDate(*newest) : std::nullopt;
    if (!newest) {
        p.days = windowDays;
        p.start = dayBase(cutoff) + 1;
        p.count = int64_t{p.days} * drawsPerDay;
    } else {
        p.start = int64_t{*newest} + 1;
        int since = newestDate ? std::clamp(daysBetween(*newestDate, today), 0, windowDays) : windowDays;
        p.days = since;
        // The newest draw's own day is asked for too, so its later draws are not missed.
        p.count = int64_t{since + 1} * drawsPerDay;
    }
    return p;
}

std::string expandUrl(std::string_view tmpl, std::string_view code, int64_t n) {
    std::string out;
    const std::string num = std::to_string(n);
    for (size_t i = 0; i < tmpl.size();) {
        if (tmpl.substr(i, 6) == "{code}") {
            out += code;
            i += 6;
        } else if (tmpl.substr(i, 3) == "{n}") {
            out += num;
            i += 3;
        } else {
            out += tmpl[i++];
        }
    }
    return out;
}

// ---------------------------------------------------------------- fetch

namespace {

constexpr size_t kMaxPageBytes = 64u << 20;

struct Transfer {
    std::string body;
    const std::atomic<bool>* cancel = nullptr;
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
    auto* t = static_cast<Transfer*>(user);
    return t->cancel && t->cancel->load() ? 1 : 0;
}

}  // namespace

FetchedPage fetchUrl(const std::string& url, long timeoutSeconds, const std::atomic<bool>* cancel) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* c = curl_easy_init();
    if (!c) throw FetchError("无法初始化网络连接");
    Transfer t;
    t.cancel = cancel;
    char errbuf[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(timeoutSeconds, 30L));
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
    if (rc != CURLE_OK) {
        std::string why;
        if (rc == CURLE_ABORTED_BY_CALLBACK)
            why = "已取消";
        else if (rc == CURLE_OPERATION_TIMEDOUT)
            why = "超过时间限制（" + std::to_string(timeoutSeconds) + " 秒）";
        else if (rc == CURLE_HTTP_RETURNED_ERROR)
            why = "服务器返回错误 " + std::to_string(status);
        else if (t.tooLarge)
            why = "页面过大";
        else
            why = errbuf[0] ? errbuf : curl_easy_strerror(rc);
        throw FetchError("无法取得 " + url + ": " + why);
    }
    page.body = std::move(t.body);
    return page;
}

// ---------------------------------------------------------------- page text

namespace {

bool iequalsPrefix(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

bool looksLikeHtml(const FetchedPage& page) {
    std::string ct = page.contentType;
    std::transform(ct.begin(), ct.end(), ct.begin(), [](unsigned char ch) { return std::tolower(ch); });
    if (ct.find("html") != std::string::npos) return true;
    if (!ct.empty() && ct.find("text/plain") != std::string::npos) return false;
    std::string_view b = page.body;
    if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
    while (!b.empty() && std::isspace(static_cast<unsigned char>(b.front()))) b.remove_prefix(1);
    return iequalsPrefix(b, "<!doctype html") || iequalsPrefix(b, "<html") || iequalsPrefix(b, "<body") ||
           iequalsPrefix(b, "<head");
}

bool isBlockElement(const char* n) {
    static const char* const blocks[] = {"p",      "div",    "tr", "li", "ul", "ol",         "table",   "h1",
                                         "h2",     "h3",     "h4", "h5", "h6", "pre",        "section", "article",
                                         "header", "footer", "dl", "dt", "dd", "blockquote", "form",    "hr"};
    for (const char* b : blocks)
        if (std::strcmp(n, b) == 0) return true;
    return false;
}

void collectText(xmlNode* node, std::string& out) {
    for (xmlNode* n = node; n; n = n->next) {
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
            if (n->content) out += reinterpret_cast<const char*>(n->content);
        } else if (n->type == XML_ELEMENT_NODE) {
            const char* name = reinterpret_cast<const char*>(n->name);
            if (std::strcmp(name, "script") == 0 || std::strcmp(name, "style") == 0 || std::strcmp(name, "head") == 0 ||
                std::strcmp(name, "noscript") == 0)
                continue;
            if (std::strcmp(name, "br") == 0) {
                out += '\n';
                continue;
            }
            collectText(n->children, out);
            if (isBlockElement(name) && !out.empty() && out.back() != '\n') out += '\n';
        }
    }
}

xmlNode* findElement(xmlNode* node, const char* name) {
    for (xmlNode* n = node; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        if (std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0) return n;
        if (xmlNode* f = findElement(n->children, name)) return f;
    }
    return nullptr;
}

}  // namespace

std::string pageText(const FetchedPage& page) {
    if (!looksLikeHtml(page)) return page.body;
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    int opts = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    htmlDocPtr doc = htmlReadMemory(page.body.data(), static_cast<int>(page.body.size()), nullptr, nullptr, opts);
    if (!doc) return {};
    std::string out;
    xmlNode* root = xmlDocGetRootElement(doc);
    xmlNode* body = root ? findElement(root, "body") : nullptr;
    if (body) collectText(body->children, out);
    xmlFreeDoc(doc);
    return out;
}

// ---------------------------------------------------------------- parse

namespace {

// UTF-8 to code points, so that positions count characters as the page shows them.
std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + static_cast<size_t>(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((c & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += U'\uFFFD';
            ++i;
        } else {
            out += cp;
            i += static_cast<size_t>(len);
        }
    }
    return out;
}

bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

int digitCount(int64_t v) {
    int n = 1;
    while (v >= 10) v /= 10, ++n;
    return n;
}

}  // namespace

std::vector<DerivedDraw> parseUpdatePage(std::string_view utf8Text, UpdatePlan& plan, int segBase) {
    std::vector<DerivedDraw> out;
    const std::u32string text = decodeUtf8(utf8Text);
    const size_t n = text.size();

    if (!plan.start) {
        // Running numbers, empty history: the first draw follows "开奖时间"; its run of digits is the
        // issue followed by the first die.
        size_t at = text.find(U"开奖时间");
        if (at == std::u32string::npos) return out;
        size_t d = at;
        while (d < n && !isDigit(text[d])) ++d;
        size_t e = d;
        while (e < n && isDigit(text[e])) ++e;
        if (e - d < 2 || e - d > 10) return out;
        int64_t v = 0;
        for (size_t i = d; i + 1 < e; ++i) v = v * 10 + (text[i] - U'0');
        if (v <= 0 || v > INT32_MAX) return out;
        plan.start = v;
        plan.end = v + plan.count;
    }
    const int64_t start = *plan.start, end = std::min<int64_t>(plan.end, INT32_MAX);
    if (start > end || start <= 0) return out;

    // Every place where the decimal text of a number of the range begins: within a run of digits, a
    // substring of one of the range's lengths that has no leading zero.
    const int lenLo = digitCount(start), lenHi = digitCount(end);
    std::vector<std::pair<int64_t, size_t>> hits;  // (issue, character index)
    for (size_t i = 0; i < n;) {
        if (!isDigit(text[i])) {
            ++i;
            continue;
        }
        size_t runEnd = i;
        while (runEnd < n && isDigit(text[runEnd])) ++runEnd;
        for (size_t s = i; s < runEnd; ++s) {
            if (text[s] == U'0') continue;
            int64_t v = 0;
            for (int len = 1; len <= lenHi && s + static_cast<size_t>(len) <= runEnd; ++len) {
                v = v * 10 + (text[s + static_cast<size_t>(len) - 1] - U'0');
                if (len >= lenLo && v >= start && v <= end) hits.emplace_back(v, s);
            }
        }
        i = runEnd;
    }
    std::sort(hits.begin(), hits.end());

    // The walk over start..end, visiting only the numbers that occur: a number that does not occur at all
    // (any gap between two occurring numbers) is a miss and sends the next search back to the beginning.
    size_t from = 0;           // next search begins at this character
    int64_t prev = start - 1;  // last number walked
    for (size_t g = 0; g < hits.size();) {
        const int64_t v = hits[g].first;
        size_t gEnd = g;
        while (gEnd < hits.size() && hits[gEnd].first == v) ++gEnd;
        if (v > prev + 1) from = 0;
        auto it = std::lower_bound(hits.begin() + static_cast<std::ptrdiff_t>(g),
                                   hits.begin() + static_cast<std::ptrdiff_t>(gEnd), std::make_pair(v, from));
        if (it == hits.begin() + static_cast<std::ptrdiff_t>(gEnd)) {
            from = 0;  // not found after the last hit
        } else {
            const size_t p = it->second;
            from = p + 1;
            int dice[3];
            bool ok = true;
            for (int k = 1; k <= 3 && ok; ++k) {
                size_t at = p + static_cast<size_t>(plan.width) + 2 * static_cast<size_t>(k);
                ok = at < n && text[at] >= U'1' && text[at] <= U'6';
                if (ok) dice[k - 1] = static_cast<int>(text[at] - U'0');
            }
            if (ok) out.push_back(deriveDraw(static_cast<int32_t>(v), dice[0], dice[1], dice[2], segBase));
        }
        prev = v;
        g = gEnd;
    }
    return out;
}

UpdateOutcome applyUpdate(HistoryStore& store, const UpdatePlan& plan, const std::vector<DerivedDraw>& draws) {
    UpdateOutcome res;
    if (draws.empty()) return res;
    std::optional<int32_t> below;
    if (plan.runningNumbers) {
        // No dates: the window keeps as many draws as its years hold.
        int64_t newest = draws.back().sqqh;
        if (auto stored = store.newestIssue()) newest = std::max<int64_t>(newest, *stored);
        int64_t keep = int64_t{plan.years} * 365 * plan.drawsPerDay;
        if (newest - keep + 1 > 0) below = static_cast<int32_t>(newest - keep + 1);
    } else if (plan.deleteBelow) {
        below = static_cast<int32_t>(*plan.deleteBelow);
    }
    int64_t before = store.count();
    store.appendAndTrim(draws, below);
    res.added = draws.size();
    res.removed = static_cast<size_t>(before + static_cast<int64_t>(draws.size()) - store.count());
    return res;
}

UpdatePlan planRequest(HistoryStore& store, const UpdateRequest& req) {
    UpdatePlan plan = planUpdate(store.newestIssue(), req.runningNumbers, req.drawsPerDay, req.years, req.today);
    plan.url = expandUrl(req.urlTemplate, req.code, plan.count);
    return plan;
}

FetchedUpdate fetchUpdate(UpdatePlan plan, const UpdateRequest& req) {
    FetchedPage page = fetchUrl(plan.url, req.timeoutSeconds, req.cancel);
    std::vector<DerivedDraw> draws = parseUpdatePage(pageText(page), plan, req.segBase);
    return {std::move(plan), std::move(draws)};
}

UpdateOutcome updateHistory(HistoryStore& store, const UpdateRequest& req) {
    FetchedUpdate fetched = fetchUpdate(planRequest(store, req), req);
    return applyUpdate(store, fetched.plan, fetched.draws);
}

}  // namespace k3
