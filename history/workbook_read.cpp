// Workbooks through libraries: libzip for the container of .xlsx and libxml2's SAX parser for its sheet,
// FreeXL for .xls. The sheet is parsed as it is unpacked, in pieces, so that a large sheet is never held
// whole in memory as XML.
#include "history/workbook_read.h"

#include <freexl.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "history/xml_support.h"

namespace k3 {

namespace {

// Rows and columns a sheet may have; cells beyond them are not read.
constexpr size_t kMaxRows = 1048576;
constexpr size_t kMaxColumns = 256;
// Bytes an unpacked part may have: far above a sheet of a million draws, far below what memory holds.
constexpr uint64_t kMaxPartBytes = uint64_t{1} << 30;
constexpr size_t kPiece = 1u << 16;

ImportError notAWorkbook(const std::string& path, const std::string& kind, const std::string& why) {
    return ImportError("无法读取工作簿 " + path + "：不是可以读取的 " + kind + " 文件（" + why + "）");
}

// A cell's text as one column of a line: tabs and line breaks become blanks.
void appendCell(std::string& line, std::string_view cell) {
    for (char c : cell) line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
}

// A number as a spreadsheet shows it without a format: whole numbers without a fraction or an exponent.
std::string numberText(std::string_view stored) {
    double v = 0;
    const auto [end, ec] = std::from_chars(stored.data(), stored.data() + stored.size(), v);
    if (ec != std::errc() || end != stored.data() + stored.size()) return std::string(stored);
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    return std::string(stored);
}

// Lines of a sheet as its rows come: row numbers from 1, cells by column index from 0.
class SheetLines {
public:
    // Rows given again or out of order follow the last one.
    void startRow(size_t number) {
        if (number == 0 || number <= rows_) number = rows_ + 1;
        skipping_ = number > kMaxRows;
        if (skipping_) return;
        while (rows_ < number) {
            if (rows_ > 0) text_ += '\n';
            ++rows_;
        }
        column_ = 0;
    }
    void cell(size_t column, std::string_view value) {
        if (skipping_ || rows_ == 0 || column >= kMaxColumns) return;
        column = std::max(column, column_);
        while (column_ < column) {
            text_ += '\t';
            ++column_;
        }
        appendCell(text_, value);
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    size_t rows_ = 0;    // lines begun
    size_t column_ = 0;  // the column the current line is at
    bool skipping_ = false;
};

// ---------------------------------------------------------------- .xlsx

struct ZipFree {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileFree {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The column index of a cell reference ("C12" -> 2); nothing without letters.
std::optional<size_t> columnOf(std::string_view ref) {
    size_t col = 0, letters = 0;
    for (char c : ref) {
        if (c >= 'A' && c <= 'Z')
            col = col * 26 + static_cast<size_t>(c - 'A' + 1);
        else if (c >= 'a' && c <= 'z')
            col = col * 26 + static_cast<size_t>(c - 'a' + 1);
        else
            break;
        if (++letters > 4) return std::nullopt;
    }
    if (letters == 0) return std::nullopt;
    return col - 1;
}

std::string_view attribute(const xmlChar** attrs, int count, const char* name) {
    for (int i = 0; i < count; ++i) {
        const xmlChar** a = attrs + 5 * i;
        if (std::strcmp(reinterpret_cast<const char*>(a[0]), name) == 0)
            return {reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3])};
    }
    return {};
}

// What the SAX events of one part of the workbook build.
struct PartReader {
    enum class Part { kWorkbook, kRelations, kStrings, kSheet };
    explicit PartReader(Part p) : part(p) {}
    Part part;
    // workbook.xml: the relation id of the first sheet; workbook.xml.rels: the relations.
    std::string firstSheetId;
    std::vector<std::pair<std::string, std::string>> relations;  // id, target
    // sharedStrings.xml
    std::vector<std::string> strings;
    bool inItem = false, inText = false;
    int phonetic = 0;  // depth inside <rPh>, whose text is a reading aid, not the cell's
    std::string item;
    // the sheet
    const std::vector<std::string>* shared = nullptr;
    SheetLines lines;
    bool inCell = false, inValue = false;
    std::string cellType, value;
    size_t cellColumn = 0, nextColumn = 0;
    bool sheetDone = false;
};

void onStart(void* ctx, const xmlChar* rawName, const xmlChar*, const xmlChar*, int, const xmlChar**, int nAttrs, int,
             const xmlChar** attrs) {
    auto* r = static_cast<PartReader*>(ctx);
    const char* name = reinterpret_cast<const char*>(rawName);
    switch (r->part) {
        case PartReader::Part::kWorkbook:
            if (std::strcmp(name, "sheet") == 0 && r->firstSheetId.empty())
                r->firstSheetId = std::string(attribute(attrs, nAttrs, "id"));
            break;
        case PartReader::Part::kRelations:
            if (std::strcmp(name, "Relationship") == 0)
                r->relations.emplace_back(attribute(attrs, nAttrs, "Id"), attribute(attrs, nAttrs, "Target"));
            break;
        case PartReader::Part::kStrings:
            if (std::strcmp(name, "si") == 0) {
                r->inItem = true;
                r->item.clear();
            } else if (std::strcmp(name, "rPh") == 0) {
                ++r->phonetic;
            } else if (std::strcmp(name, "t") == 0 && r->inItem && r->phonetic == 0) {
                r->inText = true;
            }
            break;
        case PartReader::Part::kSheet:
            if (r->sheetDone) break;
            if (std::strcmp(name, "row") == 0) {
                const std::string_view number = attribute(attrs, nAttrs, "r");
                size_t n = 0;
                std::from_chars(number.data(), number.data() + number.size(), n);
                r->lines.startRow(n);
                r->nextColumn = 0;
            } else if (std::strcmp(name, "c") == 0) {
                r->inCell = true;
                r->cellType = std::string(attribute(attrs, nAttrs, "t"));
                r->cellColumn = columnOf(attribute(attrs, nAttrs, "r")).value_or(r->nextColumn);
                r->value.clear();
            } else if (r->inCell && (std::strcmp(name, "v") == 0 || std::strcmp(name, "t") == 0)) {
                r->inValue = true;
            } else if (r->inCell && std::strcmp(name, "rPh") == 0) {
                ++r->phonetic;
            }
            break;
    }
}

void onEnd(void* ctx, const xmlChar* rawName, const xmlChar*, const xmlChar*) {
    auto* r = static_cast<PartReader*>(ctx);
    const char* name = reinterpret_cast<const char*>(rawName);
    if (std::strcmp(name, "rPh") == 0 && r->phonetic > 0) {
        --r->phonetic;
        return;
    }
    if (r->part == PartReader::Part::kStrings) {
        if (std::strcmp(name, "t") == 0) r->inText = false;
        if (std::strcmp(name, "si") == 0) {
            r->strings.push_back(std::move(r->item));
            r->item.clear();
            r->inItem = false;
        }
        return;
    }
    if (r->part != PartReader::Part::kSheet || r->sheetDone) return;
    if (std::strcmp(name, "v") == 0 || std::strcmp(name, "t") == 0) {
        r->inValue = false;
    } else if (std::strcmp(name, "c") == 0 && r->inCell) {
        r->inCell = false;
        std::string text;
        if (r->cellType == "s") {
            size_t index = 0;
            const auto [end, ec] = std::from_chars(r->value.data(), r->value.data() + r->value.size(), index);
            if (ec == std::errc() && r->shared && index < r->shared->size()) text = (*r->shared)[index];
        } else if (r->cellType == "str" || r->cellType == "inlineStr") {
            text = r->value;
        } else if (r->cellType != "e") {
            text = r->cellType == "b" ? r->value : numberText(r->value);
        }
        r->lines.cell(r->cellColumn, text);
        r->nextColumn = r->cellColumn + 1;
    } else if (std::strcmp(name, "sheetData") == 0) {
        r->sheetDone = true;
    }
}

void onText(void* ctx, const xmlChar* text, int len) {
    auto* r = static_cast<PartReader*>(ctx);
    if (r->phonetic > 0) return;
    const auto* t = reinterpret_cast<const char*>(text);
    if (r->part == PartReader::Part::kStrings && r->inText) r->item.append(t, static_cast<size_t>(len));
    if (r->part == PartReader::Part::kSheet && r->inValue) r->value.append(t, static_cast<size_t>(len));
}

class Xlsx {
public:
    Xlsx(std::string_view bytes, const std::string& path, const ImportProgress& progress)
        : path_(path), progress_(progress) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
        if (source) {
            zip_.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
            if (!zip_) zip_source_free(source);
        }
        if (!zip_) {
            const std::string why = zip_error_strerror(&error);
            zip_error_fini(&error);
            throw notAWorkbook(path_, "xlsx", why);
        }
        zip_error_fini(&error);
    }

    std::string firstSheetText() {
        PartReader workbook(PartReader::Part::kWorkbook);
        if (!parse("xl/workbook.xml", workbook, false)) throw notAWorkbook(path_, "xlsx", "其中没有 xl/workbook.xml");
        PartReader rels(PartReader::Part::kRelations);
        parse("xl/_rels/workbook.xml.rels", rels, false);
        std::string sheet = "xl/worksheets/sheet1.xml";
        for (const auto& [id, target] : rels.relations) {
            if (id != workbook.firstSheetId || target.empty()) continue;
            sheet = target.front() == '/' ? target.substr(1) : "xl/" + target;
        }
        PartReader strings(PartReader::Part::kStrings);
        parse("xl/sharedStrings.xml", strings, false);
        PartReader reader(PartReader::Part::kSheet);
        reader.shared = &strings.strings;
        if (!parse(sheet, reader, true)) throw notAWorkbook(path_, "xlsx", "其中没有第一张工作表 " + sheet);
        return reader.lines.take();
    }

private:
    // Unpacks a part and parses it as it comes; false when the workbook has no such part.
    bool parse(const std::string& name, PartReader& reader, bool reportProgress) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(zip_.get(), name.c_str(), 0, &st) != 0) return false;
        if ((st.valid & ZIP_STAT_SIZE) && st.size > kMaxPartBytes) throw notAWorkbook(path_, "xlsx", name + " 过大");
        std::unique_ptr<zip_file_t, ZipFileFree> file(zip_fopen(zip_.get(), name.c_str(), 0));
        if (!file) throw notAWorkbook(path_, "xlsx", name + " 无法解压：" + zip_strerror(zip_.get()));

        initXmlParser();
        XmlErrorSink sink;
        QuietXmlErrors quiet(&sink);
        xmlSAXHandler sax{};
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElementNs = onStart;
        sax.endElementNs = onEnd;
        sax.characters = onText;
        sax.cdataBlock = onText;
        std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> ctxt(
            xmlCreatePushParserCtxt(&sax, &reader, nullptr, 0, name.c_str()), xmlFreeParserCtxt);
        if (!ctxt) throw ImportError("无法读取工作簿 " + path_ + "：内存不足");
        xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        std::vector<char> buf(kPiece);
        uint64_t done = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(file.get(), buf.data(), buf.size());
            if (n < 0) throw notAWorkbook(path_, "xlsx", name + " 无法解压：" + zip_file_strerror(file.get()));
            done += static_cast<uint64_t>(n);
            if (done > kMaxPartBytes) throw notAWorkbook(path_, "xlsx", name + " 过大");
            const bool last = n == 0;
            if (xmlParseChunk(ctxt.get(), buf.data(), static_cast<int>(n), last) != 0 || !ctxt->wellFormed) {
                const char* why = ctxt->lastError.message;
                std::string w = why ? why : "XML 格式错误";
                while (!w.empty() && std::isspace(static_cast<unsigned char>(w.back()))) w.pop_back();
                throw notAWorkbook(path_, "xlsx", name + "：" + w);
            }
            if (last || reader.sheetDone) break;
            if (reportProgress && progress_) {
                const uint64_t total = (st.valid & ZIP_STAT_SIZE) ? std::max<uint64_t>(st.size, done) : done * 2;
                if (!progress_(static_cast<size_t>(done / 2), static_cast<size_t>(total))) throw ImportCancelled();
            }
        }
        return true;
    }

    std::string path_;
    const ImportProgress& progress_;
    std::unique_ptr<zip_t, ZipFree> zip_;
};

// ---------------------------------------------------------------- .xls

struct XlsClose {
    void operator()(const void* h) const { freexl_close(h); }
};

}  // namespace

bool looksLikeXlsx(std::string_view bytes) { return bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4); }

bool looksLikeXls(std::string_view bytes) {
    return bytes.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

std::string xlsxText(std::string_view bytes, const std::string& path, const ImportProgress& progress) {
    Xlsx book(bytes, path, progress);
    return book.firstSheetText();
}

std::string xlsText(const std::string& path, const std::string& dataDir, const ImportProgress& progress) {
    checkPlayerFileBeforeOpen(path, dataDir);
    const void* raw = nullptr;
    const int rc = freexl_open(path.c_str(), &raw);
    std::unique_ptr<const void, XlsClose> book(raw);
    if (rc != FREEXL_OK || !raw) throw notAWorkbook(path, "xls", "错误代码 " + std::to_string(rc));
    unsigned int info = 0;
    if (freexl_get_info(raw, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        throw notAWorkbook(path, "xls", "工作簿有密码保护");
    if (freexl_select_active_worksheet(raw, 0) != FREEXL_OK) throw notAWorkbook(path, "xls", "其中没有工作表");
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(raw, &rows, &columns) != FREEXL_OK)
        throw notAWorkbook(path, "xls", "无法读取第一张工作表的大小");
    SheetLines lines;
    const size_t usedColumns = std::min<size_t>(columns, kMaxColumns);
    for (unsigned int r = 0; r < rows && r < kMaxRows; ++r) {
        lines.startRow(r + 1);
        for (unsigned short c = 0; c < usedColumns; ++c) {
            FreeXL_CellValue v{};
            if (freexl_get_cell_value(raw, r, c, &v) != FREEXL_OK) continue;
            switch (v.type) {
                case FREEXL_CELL_INT: lines.cell(c, std::to_string(v.value.int_value)); break;
                case FREEXL_CELL_DOUBLE: {
                    char buf[40];
                    std::snprintf(buf, sizeof buf, "%.17g", v.value.double_value);
                    lines.cell(c, numberText(buf));
                    break;
                }
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    if (v.value.text_value) lines.cell(c, v.value.text_value);
                    break;
                default: break;
            }
        }
        if (progress && r % 4096 == 0 && !progress(r, rows)) throw ImportCancelled();
    }
    return lines.take();
}

}  // namespace k3
