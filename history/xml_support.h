// What the readers built on libxml2 share: its one-time set-up, its errors kept off standard error while a
// reader runs, its converters (the conversion itself: history/text_encoding.h).
#pragma once
#include <libxml/encoding.h>
#include <libxml/xmlerror.h>

#include <string>

#include "history/text_encoding.h"

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

}  // namespace k3
