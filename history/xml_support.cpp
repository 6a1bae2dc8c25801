#include "history/xml_support.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace k3 {

void initXmlParser() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

namespace {

void onStructuredError(void* ctx, xmlErrorPtr e) {
    if (!ctx || !e) return;
    auto* sink = static_cast<XmlErrorSink*>(ctx);
    sink->any = true;
    if (e->code == XML_ERR_INVALID_ENCODING) sink->notUtf8 = true;
    if (e->code == XML_I18N_CONV_FAILED || e->code == XML_IO_ENCODER) sink->conversion = true;
}

constexpr size_t kPiece = 1u << 20;  // bytes converted at a time

using Buffer = std::unique_ptr<xmlBuffer, void (*)(xmlBufferPtr)>;

}  // namespace

QuietXmlErrors::QuietXmlErrors(XmlErrorSink* sink) : prev_(xmlStructuredError), prevCtx_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(sink, onStructuredError);
}

QuietXmlErrors::~QuietXmlErrors() { xmlSetStructuredErrorFunc(prevCtx_, prev_); }

xmlCharEncodingHandlerPtr findInputDecoder(const std::string& charset) {
    initXmlParser();
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(charset.c_str());
    if (handler && !handler->input
#ifdef LIBXML_ICONV_ENABLED
        && !handler->iconv_in
#endif
#ifdef LIBXML_ICU_ENABLED
        && !handler->uconv_in
#endif
    ) {
        xmlCharEncCloseFunc(handler);
        handler = nullptr;
    }
    return handler;
}

std::optional<std::string> convertToUtf8(std::string_view bytes, const std::string& charset,
                                         const std::function<void()>& between) {
    xmlCharEncodingHandlerPtr handler = findInputDecoder(charset);
    if (!handler) return std::nullopt;
    XmlErrorSink sink;
    QuietXmlErrors quiet(&sink);
    Buffer in(xmlBufferCreateSize(kPiece + 16), xmlBufferFree);
    Buffer out(xmlBufferCreateSize(std::min(bytes.size(), kPiece) * 2 + 16), xmlBufferFree);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 2);
    bool ok = in && out;
    size_t fed = 0;
    // Each piece is added to what the last one left (a character cut at the piece's end) and converted.
    while (ok && (fed < bytes.size() || xmlBufferLength(in.get()) > 0)) {
        if (between) between();
        const size_t n = std::min(kPiece, bytes.size() - fed);
        if (n > 0 &&
            xmlBufferAdd(in.get(), reinterpret_cast<const xmlChar*>(bytes.data() + fed), static_cast<int>(n)) != 0) {
            ok = false;
            break;
        }
        fed += n;
        const int before = xmlBufferLength(in.get());
        const int rc = xmlCharEncInFunc(handler, out.get(), in.get());
        // No progress with nothing more to add: bytes at the end that make no character.
        ok = rc >= 0 && (xmlBufferLength(in.get()) < before || (n > 0 && fed < bytes.size()));
        text.append(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                    static_cast<size_t>(xmlBufferLength(out.get())));
        xmlBufferEmpty(out.get());
    }
    xmlCharEncCloseFunc(handler);
    if (!ok || sink.conversion) return std::nullopt;
    return text;
}

size_t invalidUtf8At(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {  // the common case, kept short
            ++i;
            continue;
        }
        size_t len = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return i;
        char32_t cp = len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
        i += len;
    }
    return std::string_view::npos;
}

}  // namespace k3
