// The text of the update page. HTML goes through libxml2's HTML parser, which pulls the page in small pieces
// through a read callback: the guard is checked before each piece, so a page stops at the time limit or a
// cancel. The push parser would not do: it parses a start tag only once the whole tag has arrived.
// The work is bounded by the page's size whatever its shape: attributes are taken out of the start tags
// before the parser sees them (nothing reads them, and the parser checks each against all before it, so a
// tag with many costs time quadratic in their number), except those of <meta>, which may name the charset;
// and no tree is built: the text is collected from the parser's events as they come, so memory does not
// grow with the number of elements.
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
#include <unordered_map>
#include <vector>

#include "history/update_page.h"
#include "history/xml_support.h"

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

// ---------------------------------------------------------------- plain text

// The parser's converter from a charset, or FetchError naming the charset when it has none.
xmlCharEncodingHandlerPtr findDecoder(const std::string& charset) {
    xmlCharEncodingHandlerPtr handler = findInputDecoder(charset);
    if (!handler) throw unknownCharset(charset);
    return handler;
}

std::string convertToUtf8(std::string_view body, const std::string& charset, const UpdateGuard& guard) {
    xmlCharEncCloseFunc(findDecoder(charset));  // an unknown charset is said as such
    std::optional<std::string> text = k3::convertToUtf8(body, charset, [&guard] { guard.check(kReadPage); });
    if (!text) throw badBytes(charset);
    return std::move(*text);
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

// What an element is to the text: its name looked up once per name (the parser's dictionary gives each
// name one pointer for the whole page, and pages repeat a few names millions of times).
enum class Element : uint8_t { kOther, kBlock, kRow, kCell, kBreak, kSkipped, kBody };

Element elementOf(const char* n) {
    static const char* const blocks[] = {"p",       "div",    "li",     "ul",      "ol",     "table",   "h1",
                                         "h2",      "h3",     "h4",     "h5",      "h6",     "pre",     "section",
                                         "article", "header", "footer", "dl",      "dt",     "dd",      "blockquote",
                                         "form",    "hr",     "tbody",  "thead",   "tfoot",  "caption", "nav",
                                         "main",    "aside",  "figure", "address", "center", "fieldset"};
    if (std::strcmp(n, "tr") == 0) return Element::kRow;
    if (std::strcmp(n, "td") == 0 || std::strcmp(n, "th") == 0) return Element::kCell;
    if (std::strcmp(n, "br") == 0) return Element::kBreak;
    if (std::strcmp(n, "body") == 0) return Element::kBody;
    if (std::strcmp(n, "script") == 0 || std::strcmp(n, "style") == 0 || std::strcmp(n, "head") == 0 ||
        std::strcmp(n, "noscript") == 0)
        return Element::kSkipped;
    for (const char* b : blocks)
        if (std::strcmp(n, b) == 0) return Element::kBlock;
    return Element::kOther;
}

// ---------------------------------------------------------------- attributes out

bool asciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool startsWithNoCase(std::string_view s, size_t at, std::string_view word) {
    return s.size() - std::min(at, s.size()) >= word.size() && iequalsPrefix(s.substr(at), word);
}

constexpr size_t kMetaAttributeBytes = 4096;  // of a <meta> tag's attributes kept; a charset comes first

// The page with the attributes of its start tags left out (those of <meta> kept, up to a limit), in one
// pass over bytes of an encoding in which '<', '>', quotes and ASCII letters stand for themselves (UTF-8 and
// the Chinese multi-byte encodings). Comments, declarations and the content of <script> and <style> are
// copied as they are, so that a '<' in them does not start a tag. End tags that close nothing are left out.
std::string withoutAttributes(std::string_view in, const UpdateGuard& guard) {
    std::string out;
    out.reserve(in.size());
    const size_t n = in.size();
    std::unordered_map<std::string, int64_t> unclosed;  // start tags of a name less the end tags passed on
    size_t nextLook = 1u << 20;
    for (size_t i = 0; i < n;) {
        if (i >= nextLook) {
            guard.check(kReadPage);
            nextLook = i + (1u << 20);
        }
        const size_t lt = in.find('<', i);
        if (lt == std::string_view::npos) {
            out.append(in.substr(i));
            break;
        }
        out.append(in.substr(i, lt - i));
        i = lt;
        if (startsWithNoCase(in, i, "<!--")) {  // a comment, to its end
            size_t e = in.find("-->", i + 4);
            e = e == std::string_view::npos ? n : e + 3;
            out.append(in.substr(i, e - i));
            i = e;
            continue;
        }
        if (i + 2 < n && in[i + 1] == '/' && asciiLetter(in[i + 2])) {
            // An end tag is passed on only when a start tag of its name is still without one: the parser
            // takes time for each end tag that closes nothing.
            size_t e = i + 2;
            while (e < n && (asciiLetter(in[e]) || (in[e] >= '0' && in[e] <= '9') || in[e] == '-' || in[e] == ':')) ++e;
            int64_t& open = unclosed[lower(std::string(in.substr(i + 2, e - i - 2)))];
            const size_t gt = in.find('>', e);
            const size_t end = gt == std::string_view::npos ? n : gt + 1;
            if (open > 0) {
                --open;
                out.append(in.substr(i, end - i));
            }
            i = end;
            continue;
        }
        if (i + 1 >= n || !asciiLetter(in[i + 1])) {  // a declaration, a lone '<'
            out += '<';
            ++i;
            continue;
        }
        // A start tag: its name, then its attributes to the '>' that is not inside a quoted value.
        size_t e = i + 1;
        while (e < n && (asciiLetter(in[e]) || (in[e] >= '0' && in[e] <= '9') || in[e] == '-' || in[e] == ':')) ++e;
        const std::string name = lower(std::string(in.substr(i + 1, e - i - 1)));
        ++unclosed[name];
        out.append(in.substr(i, e - i));
        const bool meta = name == "meta";
        size_t kept = 0;
        char quote = 0;
        bool afterEquals = false;
        for (; e < n; ++e) {
            const char c = in[e];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '>') {
                break;
            } else if ((c == '"' || c == '\'') && afterEquals) {
                quote = c;
            }
            if (!quote && c != ' ' && c != '\t' && c != '\n' && c != '\r') afterEquals = c == '=';
            if (meta && kept < kMetaAttributeBytes) {
                out += c;
                ++kept;
            } else if (!meta && e + 1 < n && in[e + 1] == '>' && c == '/') {
                out += '/';  // a self-closing tag stays one
            }
        }
        if (meta && kept >= kMetaAttributeBytes && quote) out += quote;
        if (e < n) out += '>', ++e;
        i = e;
        if (name == "script" || name == "style") {  // raw text to the end tag
            const std::string close = "</" + name;
            size_t c = i;
            while (c < n && !startsWithNoCase(in, c, close)) {
                c = in.find('<', c + 1);
                if (c == std::string_view::npos) c = n;
            }
            out.append(in.substr(i, c - i));
            i = c;
        }
    }
    return out;
}

// ---------------------------------------------------------------- the text, from the parser's events

// The text below the first <body>, as a browser shows it for copying: text and CDATA in document order;
// scripts, styles, heads and noscripts left out; a tab between the cells of a table's row; a line break
// for <br> and around a block element (a table's row is one). And beside it the rows of the page's tables,
// each cell with its text and the texts of the elements directly inside it.
struct TextCollector {
    std::string out;
    int bodyDepth = 0;  // elements open inside the body, the body counted; 0: not inside it
    bool bodyDone = false;
    int skipDepth = 0;  // open elements of which the text is left out
    const UpdateGuard* guard = nullptr;
    size_t events = 0;
    bool stopped = false;

    struct OpenRow {
        PageRow cells;
        bool cellOpen = false;
        int nesting = 0;  // elements open inside the cell
    };
    std::vector<OpenRow> openRows;  // a row of a table inside a cell follows the row around it
    std::vector<PageRow> rows;
    std::unordered_map<const xmlChar*, Element> kinds;

    Element kindOf(const xmlChar* name) {
        auto [it, added] = kinds.try_emplace(name, Element::kOther);
        if (added) it->second = elementOf(reinterpret_cast<const char*>(name));
        return it->second;
    }

    // A tab or a line break between what came before and what follows, never two.
    void separate(char c) {
        if (out.empty()) return;
        if (c == '\n' && out.back() == '\t') out.back() = '\n';
        if (out.back() != '\n' && out.back() != c) out += c;
    }
    PageCell* openCell() {
        if (openRows.empty() || !openRows.back().cellOpen) return nullptr;
        return &openRows.back().cells.back();
    }
};

// Blanks inside a cell as a browser shows them: runs of white space as one blank, none at either end.
void collapseBlanks(std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    s = std::move(out);
}

TextCollector* collectorOf(void* ctx) {
    auto* parser = static_cast<htmlParserCtxtPtr>(ctx);
    return static_cast<TextCollector*>(parser->_private);
}

void lookAtGuard(void* ctx, TextCollector* t) {
    if (++t->events % 65536 != 0 || t->stopped) return;
    if (t->guard->cancelled() || t->guard->expired()) {
        t->stopped = true;
        xmlStopParser(static_cast<htmlParserCtxtPtr>(ctx));
    }
}

// The parser looks for the name of each end tag down its stack of open elements, so that a deep stack and
// many end tags cost time in their product. The stack is kept shallow: past kDeepest open elements, those
// in its middle are let go (their end tags then close nothing), keeping the outermost (html, body, the
// page's frame) and the innermost. The names belong to the parser's dictionary; without a tree nothing
// else refers to the stack's entries.
constexpr int kDeepest = 128, kKeepOuter = 16, kKeepInner = 64;

void keepStackShallow(htmlParserCtxtPtr ctxt) {
    if (ctxt->nameNr <= kDeepest || !ctxt->nameTab) return;
    std::memmove(ctxt->nameTab + kKeepOuter, ctxt->nameTab + ctxt->nameNr - kKeepInner,
                 kKeepInner * sizeof(ctxt->nameTab[0]));
    ctxt->nameNr = kKeepOuter + kKeepInner;
    ctxt->name = ctxt->nameTab[ctxt->nameNr - 1];
}

void onStart(void* ctx, const xmlChar* rawName, const xmlChar**) {
    TextCollector* t = collectorOf(ctx);
    lookAtGuard(ctx, t);
    keepStackShallow(static_cast<htmlParserCtxtPtr>(ctx));
    const Element kind = t->kindOf(rawName);
    if (t->bodyDepth == 0) {
        if (!t->bodyDone && kind == Element::kBody) t->bodyDepth = 1;
        return;
    }
    ++t->bodyDepth;
    if (t->skipDepth > 0 || kind == Element::kSkipped) {
        ++t->skipDepth;
        return;
    }
    switch (kind) {
        case Element::kBreak:
            t->out += '\n';
            if (PageCell* cell = t->openCell()) cell->text += ' ';
            return;
        case Element::kRow:
            t->separate('\n');
            t->openRows.emplace_back();
            return;
        case Element::kCell:
            if (!t->openRows.empty()) {
                t->separate('\t');
                TextCollector::OpenRow& row = t->openRows.back();
                row.cells.emplace_back();
                row.cellOpen = true;
                row.nesting = 0;
                return;
            }
            break;
        default: break;
    }
    if (PageCell* cell = t->openCell()) {
        if (t->openRows.back().nesting++ == 0) cell->parts.emplace_back();
    }
    if (kind == Element::kBlock) t->separate('\n');
}

void onEnd(void* ctx, const xmlChar* rawName) {
    TextCollector* t = collectorOf(ctx);
    lookAtGuard(ctx, t);
    if (t->bodyDepth == 0) return;
    if (--t->bodyDepth == 0) {
        t->bodyDone = true;
        return;
    }
    if (t->skipDepth > 0) {
        --t->skipDepth;
        return;
    }
    const Element kind = t->kindOf(rawName);
    if (kind == Element::kRow) {
        if (!t->openRows.empty()) {
            PageRow row = std::move(t->openRows.back().cells);
            t->openRows.pop_back();
            for (PageCell& cell : row) {
                collapseBlanks(cell.text);
                for (std::string& part : cell.parts) collapseBlanks(part);
            }
            t->rows.push_back(std::move(row));
        }
        t->separate('\n');
        return;
    }
    if (kind == Element::kCell) {
        if (!t->openRows.empty()) t->openRows.back().cellOpen = false;
        return;
    }
    if (kind == Element::kBreak) return;  // opened no part of a cell
    if (t->openCell() && t->openRows.back().nesting > 0) --t->openRows.back().nesting;
    if (kind == Element::kBlock) t->separate('\n');
}

void onText(void* ctx, const xmlChar* text, int len) {
    TextCollector* t = collectorOf(ctx);
    lookAtGuard(ctx, t);
    if (t->bodyDepth == 0 || t->skipDepth > 0) return;
    const std::string_view piece(reinterpret_cast<const char*>(text), static_cast<size_t>(len));
    t->out.append(piece);
    if (PageCell* cell = t->openCell()) {
        cell->text.append(piece);
        if (t->openRows.back().nesting > 0) cell->parts.back().append(piece);
    }
}

struct CtxtFree {
    void operator()(htmlParserCtxtPtr c) const {
        if (c->myDoc) xmlFreeDoc(c->myDoc);
        c->myDoc = nullptr;
        htmlFreeParserCtxt(c);
    }
};

PageContent htmlContent(const FetchedPage& page, const std::string& charset, const UpdateGuard& guard) {
    xmlCharEncodingHandlerPtr handler = charset.empty() ? nullptr : findDecoder(charset);
    XmlErrorSink sink;
    QuietXmlErrors quiet(&sink);
    std::unique_ptr<htmlParserCtxt, CtxtFree> ctxt(htmlNewParserCtxt());
    if (!ctxt) {
        if (handler) xmlCharEncCloseFunc(handler);
        throw FetchError("无法读取页面：内存不足");
    }
    // A charset in the Content-Type wins over one the page declares itself, as in a browser.
    htmlCtxtUseOptions(ctxt.get(), HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                       XML_PARSE_HUGE | (handler ? HTML_PARSE_IGNORE_ENC : 0));
    TextCollector collector;
    collector.guard = &guard;
    ctxt->_private = &collector;
    ctxt->sax->startElement = onStart;
    ctxt->sax->endElement = onEnd;
    ctxt->sax->characters = onText;
    ctxt->sax->cdataBlock = onText;
    ctxt->sax->reference = nullptr;
    ctxt->sax->comment = nullptr;
    ctxt->sax->processingInstruction = nullptr;

    // A UTF-16 page is read as UTF-8 from here, so that its tags can be stripped as bytes.
    std::string utf8;
    if (!handler && hasUtf16Bom(page.body)) {
        utf8 = utf16ToUtf8(page.body, guard);
        handler = findDecoder("UTF-8");
        htmlCtxtUseOptions(ctxt.get(), HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                           HTML_PARSE_NONET | XML_PARSE_HUGE | HTML_PARSE_IGNORE_ENC);
    }
    const std::string stripped = withoutAttributes(utf8.empty() ? std::string_view(page.body) : utf8, guard);

    PageReader reader{stripped, 0, &guard, false};
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

    if (reader.stopped || collector.stopped) guard.check(kReadPage);
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
    if (ctxt->disableSAX || ctxt->instate == XML_PARSER_EOF || unread > 0 || reader.pos != stripped.size()) {
        const size_t at = in && in->buf && !in->buf->encoder ? reader.pos - std::min(reader.pos, unread) : reader.pos;
        std::string msg = "无法读取页面：HTML 解析器在第 " + std::to_string(at + 1) + " 个字节附近停止";
        if (const char* why = ctxt->lastError.message; why && *why) {
            std::string w = why;
            while (!w.empty() && std::isspace(static_cast<unsigned char>(w.back()))) w.pop_back();
            msg += "（" + w + "）";
        }
        throw FetchError(msg);
    }
    // Rows a page leaves open end with it.
    while (!collector.openRows.empty()) {
        collector.rows.push_back(std::move(collector.openRows.back().cells));
        collector.openRows.pop_back();
    }
    return {std::move(collector.out), std::move(collector.rows)};
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

PageContent readPage(const FetchedPage& page, const UpdateGuard& guard) {
    guard.check(kReadPage);
    initXmlParser();
    const std::string charset = contentTypeCharset(page.contentType);
    if (looksLikeHtml(page)) return htmlContent(page, charset, guard);
    return {plainText(page, charset, guard), {}};
}

std::string pageText(const FetchedPage& page, const UpdateGuard& guard) { return readPage(page, guard).text; }

}  // namespace k3
