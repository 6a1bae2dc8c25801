// What the readers built on libxml2 share: its one-time set-up, its errors kept off standard error while a
// reader runs, and the conversion of text in another charset to UTF-8 (with the check for UTF-8 itself).
#pragma once
#include <libxml/encoding.h>
#include <libxml/xmlerror.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace k3 {

void initXmlParser();

// While a reader runs on this thread, libxml2's errors come here instead of going to standard error; the
// sink notes those about the encoding.
struct XmlErrorSink {
    bool notUtf8 = false;     // bytes read as UTF-8 were not UTF-8 (the parser then falls back to Latin-1)
    bool conversion = false;  // bytes not in the encoding being converted from
    bool any = false;         // any error at all
};

class QuietXmlErrors {
public:
    explicit QuietXmlErrors(XmlErrorSink* sink);
    ~QuietXmlErrors();
    QuietXmlErrors(const QuietXmlErrors&) = delete;
    QuietXmlErrors& operator=(const QuietXmlErrors&) = delete;

private:
    xmlStructuredErrorFunc prev_;
    void* prevCtx_;
};

// libxml2's converter from a charset, or null when it has none (also for an output-only encoding).
xmlCharEncodingHandlerPtr findInputDecoder(const std::string& charset);

// The bytes of `charset` as UTF-8; nothing when a byte sequence is not in that charset. `between` runs
// before each piece is converted (a time limit or a cancel throws from it). The charset must be one
// findInputDecoder knows.
std::optional<std::string> convertToUtf8(std::string_view bytes, const std::string& charset,
                                         const std::function<void()>& between = {});

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence, or npos.
size_t invalidUtf8At(std::string_view s);

}  // namespace k3
