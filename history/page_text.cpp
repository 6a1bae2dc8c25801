// The text of the update page. HTML goes through libxml2's HTML parser, which pulls the page in small pieces
// through a read callback: the guard is checked before each piece, so even a page that the parser handles
// slowly (a start tag with a huge number of attributes costs time quadratic in their number) stops at the
// time limit or a cancel. The push parser would not do: it parses a start tag only once the whole tag has
// arrived. The parser builds the tree without attributes (they are never read, and adding them one by one
// is quadratic as well) and without a depth limit; the text is collected without recursion.
#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "history/update_page.h"

namespace k3 {

namespace {

constexpr size_t kPiece = 1024;  // bytes handed to the parser at a time
const char* const kReadPage = "读取页面";

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool iequalsPrefix(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

bool hasUtf16Bom(std::string_view b) { return b.substr(0, 2) == "\xFF\xFE" || b.substr(0, 2) == "\xFE\xFF"; }

bool looksLikeHtml(const FetchedPage& page) {
    const std::string ct = lower(page.contentType);
    if (ct.find("html") != std::string::npos) return true;
    if (!ct.empty() && ct.find("text/plain") != std::string::npos) return false;
    std::string_view b = page.body;
    std::string narrowed;  // the start of a UTF-16 page, ASCII characters only, for the look at its first tag
    if (hasUtf16Bom(b)) {
        for (size_t i = b[0] == '\xFF' ? 2 : 3; i < std::min<size_t>(b.size(), 256); i += 2) narrowed += b[i];
        b = narrowed;
    }
    if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
    while (!b.empty() && std::isspace(static_cast<unsigned char>(b.front()))) b.remove_prefix(1);
    return iequalsPrefix(b, "<!doctype html") || iequalsPrefix(b, "<html") || iequalsPrefix(b, "<body") ||
           iequalsPrefix(b, "<head");
}

bool isUtf8Name(const std::string& charset) {
    const std::string c = lower(charset);
    return c == "utf-8" || c == "utf8";
}

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence, or npos.
size_t invalidUtf8At(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return i;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : len == 4 ? 0x10000 : 0;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
        i += len;
    }
    return std::string_view::npos;
}

// Whether the page may declare its charset itself (<meta charset=...> or http-equiv).
bool mentionsCharset(std::string_view body) {
    static const std::string_view word = "charset";
    auto it = std::search(body.begin(), body.end(), word.begin(), word.end(),
                          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it != body.end();
}

FetchError notUtf8(size_t at) {
    return FetchError("无法读取页面：页面没有说明字符集，又不是 UTF-8 编码（第 " + std::to_string(at + 1) +
                      " 个字节）");
}

FetchError unknownCharset(const std::string& charset) {
    return FetchError("无法读取页面：不认识页面的字符集“" + charset + "”");
}

FetchError badBytes(const std::string& charset) {
    return FetchError("无法读取页面：页面中有不能按字符集“" + charset + "”解读的内容");
}

void initParser() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

// While a page is read on this thread, libxml2's errors come here instead of going to standard error; the
// sink notes those about the encoding.
struct ErrorSink {
    bool notUtf8 = false;     // bytes read as UTF-8 were not UTF-8 (the parser then falls back to Latin-1)
    bool conversion = false;  // bytes not in the encoding being converted from
};

void onStructuredError(void* ctx, xmlErrorPtr e) {
    if (!ctx || !e) return;
    auto* sink = static_cast<ErrorSink*>(ctx);
    if (e->code == XML_ERR_INVALID_ENCODING) sink->notUtf8 = true;
    if (e->code == XML_I18N_CONV_FAILED || e->code == XML_IO_ENCODER) sink->conversion = true;
}

class QuietErrors {
public:
    explicit QuietErrors(ErrorSink* sink) : prev_(xmlStructuredError), prevCtx_(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(sink, onStructuredError);
    }
    ~QuietErrors() { xmlSetStructuredErrorFunc(prevCtx_, prev_); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    xmlStructuredErrorFunc prev_;
    void* prevCtx_;
};

// ---------------------------------------------------------------- plain text

// The parser's converter from a charset, or FetchError naming the charset when it has none.
xmlCharEncodingHandlerPtr findDecoder(const std::string& charset) {
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(charset.c_str());
    if (handler && !handler->input
#ifdef LIBXML_ICONV_ENABLED
        && !handler->iconv_in
#endif
#ifdef LIBXML_ICU_ENABLED
        && !handler->uconv_in
#endif
    ) {
        xmlCharEncCloseFunc(handler);  // an output-only encoding
        handler = nullptr;
    }
    if (!handler) throw unknownCharset(charset);
    return handler;
}

std::string convertToUtf8(std::string_view body, const std::string& charset, const UpdateGuard& guard) {
    xmlCharEncodingHandlerPtr handler = findDecoder(charset);
    ErrorSink sink;
    QuietErrors quiet(&sink);
    std::unique_ptr<xmlBuffer, void (*)(xmlBufferPtr)> in(xmlBufferCreateSize(body.size() + 1), xmlBufferFree);
    std::unique_ptr<xmlBuffer, void (*)(xmlBufferPtr)> out(xmlBufferCreateSize(body.size() * 2 + 16), xmlBufferFree);
    bool ok = in && out &&
              xmlBufferAdd(in.get(), reinterpret_cast<const xmlChar*>(body.data()), static_cast<int>(body.size())) == 0;
    while (ok && xmlBufferLength(in.get()) > 0) {
        guard.check(kReadPage);
        const int before = xmlBufferLength(in.get());
        const int rc = xmlCharEncInFunc(handler, out.get(), in.get());
        ok = rc >= 0 && xmlBufferLength(in.get()) < before;
    }
    xmlCharEncCloseFunc(handler);
    if (!ok) throw badBytes(charset);
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                       static_cast<size_t>(xmlBufferLength(out.get())));
}

// UTF-16 text: the byte-order mark decides (and is dropped); without one, little-endian.
std::string utf16ToUtf8(std::string_view body, const UpdateGuard& guard) {
    if (body.substr(0, 2) == "\xFE\xFF") return convertToUtf8(body.substr(2), "UTF-16BE", guard);
    if (body.substr(0, 2) == "\xFF\xFE") body.remove_prefix(2);
    return convertToUtf8(body, "UTF-16LE", guard);
}

std::string plainText(const FetchedPage& page, const std::string& charset, const UpdateGuard& guard) {
    if ((charset.empty() && hasUtf16Bom(page.body)) || lower(charset) == "utf-16") return utf16ToUtf8(page.body, guard);
    if (!charset.empty() && !isUtf8Name(charset)) return convertToUtf8(page.body, charset, guard);
    if (size_t at = invalidUtf8At(page.body); at != std::string_view::npos) {
        if (charset.empty()) throw notUtf8(at);
        throw badBytes(charset);
    }
    return page.body;
}

// ---------------------------------------------------------------- HTML

struct PageReader {
    std::string_view data;
    size_t pos = 0;
    const UpdateGuard* guard = nullptr;
    bool stopped = false;
};

int readPiece(void* context, char* buffer, int len) {
    auto* r = static_cast<PageReader*>(context);
    if (r->stopped || r->guard->cancelled() || r->guard->expired()) {
        r->stopped = true;
        return -1;
    }
    const size_t n = std::min({static_cast<size_t>(std::max(len, 0)), kPiece, r->data.size() - r->pos});
    std::memcpy(buffer, r->data.data() + r->pos, n);
    r->pos += n;
    return static_cast<int>(n);
}

// The tree is built without attributes: nothing reads them.
void startElementWithoutAttributes(void* ctx, const xmlChar* name, const xmlChar**) {
    xmlSAX2StartElement(ctx, name, nullptr);
}

struct CtxtFree {
    void operator()(htmlParserCtxtPtr c) const { htmlFreeParserCtxt(c); }
};
struct DocFree {
    void operator()(xmlDocPtr d) const { xmlFreeDoc(d); }
};

bool isBlockElement(const char* n) {
    static const char* const blocks[] = {"p",      "div",    "tr", "li", "ul", "ol",         "table",   "h1",
                                         "h2",     "h3",     "h4", "h5", "h6", "pre",        "section", "article",
                                         "header", "footer", "dl", "dt", "dd", "blockquote", "form",    "hr"};
    for (const char* b : blocks)
        if (std::strcmp(n, b) == 0) return true;
    return false;
}

bool isSkipped(const char* n) {
    return std::strcmp(n, "script") == 0 || std::strcmp(n, "style") == 0 || std::strcmp(n, "head") == 0 ||
           std::strcmp(n, "noscript") == 0;
}

const char* nameOf(const xmlNode* n) { return reinterpret_cast<const char*>(n->name); }

// The first <body> in document order.
xmlNode* findBody(xmlNode* root) {
    for (xmlNode* n = root; n;) {
        if (n->type == XML_ELEMENT_NODE && std::strcmp(nameOf(n), "body") == 0) return n;
        if (n->children && n->type == XML_ELEMENT_NODE) {
            n = n->children;
            continue;
        }
        while (n && !n->next) n = n->parent;
        if (n) n = n->next;
    }
    return nullptr;
}

// The text below `body`: text and CDATA in document order; scripts, styles, heads and noscripts left out; a
// line break for <br> and after a block element (unless the text already ends with one).
std::string collectText(xmlNode* body, const UpdateGuard& guard) {
    std::string out;
    auto closeElement = [&out](const xmlNode* n) {
        if (isBlockElement(nameOf(n)) && !out.empty() && out.back() != '\n') out += '\n';
    };
    size_t visited = 0;
    for (xmlNode* n = body->children; n;) {
        if (++visited % 65536 == 0) guard.check(kReadPage);
        bool enter = false;
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
            if (n->content) out += reinterpret_cast<const char*>(n->content);
        } else if (n->type == XML_ELEMENT_NODE && !isSkipped(nameOf(n))) {
            if (std::strcmp(nameOf(n), "br") == 0)
                out += '\n';
            else if (n->children)
                enter = true;
            else
                closeElement(n);
        }
        if (enter) {
            n = n->children;
            continue;
        }
        while (!n->next) {
            n = n->parent;
            if (!n || n == body) return out;
            closeElement(n);
        }
        n = n->next;
    }
    return out;
}

std::string htmlText(const FetchedPage& page, const std::string& charset, const UpdateGuard& guard) {
    xmlCharEncodingHandlerPtr handler = charset.empty() ? nullptr : findDecoder(charset);
    ErrorSink sink;
    QuietErrors quiet(&sink);
    std::unique_ptr<htmlParserCtxt, CtxtFree> ctxt(htmlNewParserCtxt());
    if (!ctxt) {
        if (handler) xmlCharEncCloseFunc(handler);
        throw FetchError("无法读取页面：内存不足");
    }
    // A charset in the Content-Type wins over one the page declares itself, as in a browser.
    htmlCtxtUseOptions(ctxt.get(), HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                       XML_PARSE_HUGE | (handler ? HTML_PARSE_IGNORE_ENC : 0));
    ctxt->sax->startElement = startElementWithoutAttributes;

    PageReader reader{page.body, 0, &guard, false};
    xmlParserInputBufferPtr buf = xmlParserInputBufferCreateIO(readPiece, nullptr, &reader, XML_CHAR_ENCODING_NONE);
    xmlParserInputPtr input = buf ? xmlNewIOInputStream(ctxt.get(), buf, XML_CHAR_ENCODING_NONE) : nullptr;
    if (!input) {
        if (buf) xmlFreeParserInputBuffer(buf);
        if (handler) xmlCharEncCloseFunc(handler);
        throw FetchError("无法读取页面：内存不足");
    }
    if (inputPush(ctxt.get(), input) < 0) {
        if (handler) xmlCharEncCloseFunc(handler);
        throw FetchError("无法读取页面：内存不足");
    }
    // Without a declared charset the bytes are read as UTF-8 (a BOM or a <meta> charset still switches).
    ctxt->charset = XML_CHAR_ENCODING_UTF8;
    if (handler) xmlSwitchToEncoding(ctxt.get(), handler);  // the parser owns the handler from here on

    htmlParseDocument(ctxt.get());
    std::unique_ptr<xmlDoc, DocFree> doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;

    if (reader.stopped) guard.check(kReadPage);
    const xmlParserInputPtr in = ctxt->input;
    // Bytes that are not UTF-8 in a page that declares no charset: the parser falls back to Latin-1, with an
    // error or (inside markup) without one.
    const size_t invalidAt =
        !charset.empty() || hasUtf16Bom(page.body) ? std::string_view::npos : invalidUtf8At(page.body);
    if (sink.notUtf8 || (invalidAt != std::string_view::npos && !mentionsCharset(page.body))) {
        if (!charset.empty()) throw badBytes(charset);
        throw notUtf8(std::min(invalidAt, page.body.size()));
    }
    if (sink.conversion || (in && in->buf && in->buf->error)) {
        const bool converted = in && in->buf && in->buf->encoder && in->buf->encoder->name;
        throw badBytes(!charset.empty() ? charset : converted ? std::string(in->buf->encoder->name) : "UTF-8");
    }
    // The parser gives up without a word at some bytes (a NUL in a tag, a control character, an encoding it
    // cannot switch to): what follows would be lost.
    const size_t unread = in ? static_cast<size_t>(in->end - in->cur) : 0;
    if (ctxt->disableSAX || ctxt->instate == XML_PARSER_EOF || unread > 0 || reader.pos != page.body.size()) {
        const size_t at = in && in->buf && !in->buf->encoder ? reader.pos - std::min(reader.pos, unread) : reader.pos;
        std::string msg = "无法读取页面：HTML 解析器在第 " + std::to_string(at + 1) + " 个字节附近停止";
        if (const char* why = ctxt->lastError.message; why && *why) {
            std::string w = why;
            while (!w.empty() && std::isspace(static_cast<unsigned char>(w.back()))) w.pop_back();
            msg += "（" + w + "）";
        }
        throw FetchError(msg);
    }
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    xmlNode* body = root ? findBody(root) : nullptr;
    return body ? collectText(body, guard) : std::string();
}

}  // namespace

std::string contentTypeCharset(const std::string& contentType) {
    const std::string ct = lower(contentType);
    for (size_t at = ct.find("charset"); at != std::string::npos; at = ct.find("charset", at + 1)) {
        // Only a parameter: after ';' and blanks.
        size_t b = at;
        while (b > 0 && (ct[b - 1] == ' ' || ct[b - 1] == '\t')) --b;
        if (b == 0 || ct[b - 1] != ';') continue;
        size_t i = at + 7;
        while (i < ct.size() && (ct[i] == ' ' || ct[i] == '\t')) ++i;
        if (i >= ct.size() || ct[i] != '=') continue;
        ++i;
        while (i < ct.size() && (ct[i] == ' ' || ct[i] == '\t')) ++i;
        std::string value;
        if (i < ct.size() && ct[i] == '"') {
            size_t end = contentType.find('"', i + 1);
            value = contentType.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        } else {
            size_t end = i;
            while (end < ct.size() && ct[end] != ';' && ct[end] != ' ' && ct[end] != '\t') ++end;
            value = contentType.substr(i, end - i);
        }
        return value;
    }
    return {};
}

std::string pageText(const FetchedPage& page, const UpdateGuard& guard) {
    guard.check(kReadPage);
    initParser();
    const std::string charset = contentTypeCharset(page.contentType);
    return looksLikeHtml(page) ? htmlText(page, charset, guard) : plainText(page, charset, guard);
}

}  // namespace k3
