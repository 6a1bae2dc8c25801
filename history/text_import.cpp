#include "history/text_import.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "history/line_reading.h"
#include "store/history_files.h"

namespace k3 {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlankLine(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

}  // namespace

std::string reportedLine(std::string_view line) {
    size_t chars = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;  // inside a character
        if (chars++ == kSkippedTextLimit) return std::string(line.substr(0, i)) + "…";
    }
    return std::string(line);
}

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 after its byte-order mark as UTF-8; an unpaired surrogate or an odd last byte becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](size_t i) -> uint32_t {
        auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        return (uint32_t{hi} << 8) | lo;
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t v = unit(i + 2);
            if (v >= 0xDC00 && v < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
    }
    if (i < bytes.size()) appendUtf8(out, 0xFFFD);
    return out;
}

}  // namespace

std::string decodeText(std::string bytes) {
    auto starts = [&bytes](std::string_view mark) { return bytes.compare(0, mark.size(), mark) == 0; };
    if (starts("\xEF\xBB\xBF")) return bytes.substr(3);
    if (starts("\xFF\xFE")) return utf16ToUtf8(std::string_view(bytes).substr(2), false);
    if (starts("\xFE\xFF")) return utf16ToUtf8(std::string_view(bytes).substr(2), true);
    return bytes;
}

std::string readTextFile(const std::string& path, const std::string& dataDir) {
    return decodeText(readWholeFile(path, dataDir));
}

std::optional<LineDraw> parseHistoryLine(std::string_view line) {
    // Issue test: longer than ten characters, and columns 1-9 are the issue's nine digits.
    if (line.size() <= 10) return std::nullopt;
    int32_t issue = 0;
    for (size_t i = 0; i < 9; ++i) {
        if (!isDigit(line[i])) return std::nullopt;
        issue = issue * 10 + (line[i] - '0');
    }
    if (issue <= 0) return std::nullopt;
    // Number part: columns 10-14, blanks trimmed at both ends, exactly three dice 1..6.
    std::string_view rest = line.substr(9, 5);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    if (rest.size() != 3) return std::nullopt;
    int d[3];
    for (int i = 0; i < 3; ++i) {
        d[i] = rest[i] - '0';
        if (!validDie(d[i])) return std::nullopt;
    }
    return LineDraw{issue, d[0], d[1], d[2]};
}

std::vector<DerivedDraw> deriveAll(const std::vector<LineDraw>& lines, int segBase) {
    std::vector<DerivedDraw> out;
    out.reserve(lines.size());
    for (const LineDraw& l : lines) out.push_back(deriveDraw(l.issue, l.d1, l.d2, l.d3, segBase));
    return out;
}

std::string_view lineAt(std::string_view text, size_t begin) {
    size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    return text.substr(begin, end - begin);
}

ReadLines finishLines(CollectedLines&& in, const std::function<std::string_view(size_t begin)>& textAt) {
    ReadLines out;
    std::vector<ReadLine>& lines = in.lines;
    // Out of order: sorted by issue (a repeat after the line it repeats), and each repeat skipped.
    std::vector<SkippedLine> repeats;
    size_t repeatCount = 0;
    if (!in.ascending) {
        std::stable_sort(lines.begin(), lines.end(),
                         [](const ReadLine& a, const ReadLine& b) { return a.draw.issue < b.draw.issue; });
        std::vector<ReadLine> cut;
        size_t kept = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (kept > 0 && lines[i].draw.issue == lines[kept - 1].draw.issue)
                cut.push_back(lines[i]);
            else
                lines[kept++] = lines[i];
        }
        lines.resize(kept);
        std::sort(cut.begin(), cut.end(), [](const ReadLine& a, const ReadLine& b) { return a.number < b.number; });
        repeatCount = cut.size();
        for (size_t i = 0; i < cut.size() && i < kSkippedListLimit; ++i)
            repeats.push_back({cut[i].number, reportedLine(textAt(cut[i].begin))});
    }
    // Both kinds of skipped line, in line order.
    out.skippedCount = in.badCount + repeatCount;
    std::merge(in.bad.begin(), in.bad.end(), repeats.begin(), repeats.end(), std::back_inserter(out.skipped),
               [](const SkippedLine& a, const SkippedLine& b) { return a.number < b.number; });
    if (out.skipped.size() > kSkippedListLimit) out.skipped.resize(kSkippedListLimit);
    out.lines = std::move(lines);
    out.reordered = !in.ascending;
    return out;
}

namespace {

ReadLines readLines(std::string_view text, const ImportProgress& progress) {
    CollectedLines collected;
    collected.lines.reserve(text.size() / 15 + 1);
    forEachLine(text, progress, [&collected](std::string_view line, size_t lineNo, size_t begin) {
        if (auto d = parseHistoryLine(line))
            collected.draw(*d, lineNo, begin);
        else if (!isBlankLine(line))
            collected.skipped(lineNo, line);
    });
    return finishLines(std::move(collected), [text](size_t begin) { return lineAt(text, begin); });
}

}  // namespace

ParsedLines parseHistoryLines(std::string_view text, const ImportProgress& progress) {
    ReadLines read = readLines(text, progress);
    ParsedLines out;
    out.draws.reserve(read.lines.size());
    for (const ReadLine& l : read.lines) out.draws.push_back(l.draw);
    out.skipped = std::move(read.skipped);
    out.skippedCount = read.skippedCount;
    return out;
}

ParsedHistory parseHistoryText(std::string_view text, int segBase, const ImportProgress& progress) {
    ReadLines read = readLines(text, progress);
    // File order: the first line of each issue, in the order of the lines.
    if (read.reordered)
        std::sort(read.lines.begin(), read.lines.end(),
                  [](const ReadLine& a, const ReadLine& b) { return a.number < b.number; });
    ParsedHistory out;
    out.draws.reserve(read.lines.size());
    for (const ReadLine& l : read.lines)
        out.draws.push_back(deriveDraw(l.draw.issue, l.draw.d1, l.draw.d2, l.draw.d3, segBase));
    out.skipped = std::move(read.skipped);
    out.skippedCount = read.skippedCount;
    return out;
}

void refuseHistoryDatabase(const std::string& path, const std::string& dataDir) {
    if (historyFileOf(path, dataDir) == HistoryFile::kDatabase)
        throw ImportError(path + " 是历史数据库的文件，不是历史号码文本文件，未读入");
}

#ifndef _WIN32
void checkPlayerFileBeforeOpen(const std::string& path, const std::string& dataDir) {
    refuseHistoryDatabase(path, dataDir);
    // A folder, a device or a pipe is refused by name: a reader that opens by path (FreeXL) would wait on
    // a pipe. A name that cannot be looked at is left to the open, which says why.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) throw ImportError(path + " 是文件夹，不是文本文件");
    if (!S_ISREG(st.st_mode)) throw ImportError(path + " 不是普通文件（而是设备、管道或套接字），不能读入");
}

std::string readWholeFile(const std::string& path, const std::string& dataDir) {
    checkPlayerFileBeforeOpen(path, dataDir);
    // Without O_NONBLOCK, opening a pipe would wait for a writer; for a regular file it changes nothing.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw ImportError("无法打开文件 " + path + "（" + std::strerror(errno) + "）");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw ImportError("无法读取文件 " + path);
    if (S_ISDIR(st.st_mode)) throw ImportError(path + " 是文件夹，不是文本文件");
    if (!S_ISREG(st.st_mode)) throw ImportError(path + " 不是普通文件（而是设备、管道或套接字），不能读入");
    const auto size = static_cast<size_t>(st.st_size);
    // One byte more than the size: a file that has it is not what its size says (files under /proc).
    std::string data(size + 1, '\0');
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ImportError("无法读取文件 " + path + "（" + std::strerror(errno) + "）");
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    if (got > size) throw ImportError(path + " 的内容与它的大小不符，不是普通的文本文件，不能读入");
    if (got < size) throw ImportError("无法读取文件 " + path + "（读到的内容比文件短）");
    data.resize(size);
    return data;
}
#else
void checkPlayerFileBeforeOpen(const std::string& path, const std::string& dataDir) {
    refuseHistoryDatabase(path, dataDir);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ImportError(path + " 是文件夹，不是文本文件");
    if (!std::filesystem::is_regular_file(path, ec)) throw ImportError(path + " 不是普通文件，不能读入");
}

std::string readWholeFile(const std::string& path, const std::string& dataDir) {
    checkPlayerFileBeforeOpen(path, dataDir);
    std::ifstream f(path, std::ios::binary);
    if (!f) throw ImportError("无法打开文件 " + path);
    std::string data;
    f.seekg(0, std::ios::end);
    auto size = f.tellg();
    if (size < 0) throw ImportError("无法读取文件 " + path);
    f.seekg(0, std::ios::beg);
    data.resize(static_cast<size_t>(size));
    if (size > 0 && !f.read(data.data(), size)) throw ImportError("无法读取文件 " + path);
    return data;
}
#endif

ImportResult importHistoryFile(HistoryStore& store, const std::string& path, int segBase,
                               const ImportProgress& progress, const ImportConfirm& confirm) {
    ImportResult res;
    // A read-only history is reported before the file is read; damage is looked for while the draws
    // are stored, and found before anything is.
    if (store.readOnly()) throw StoreError(store.readOnlyMessage(), StoreFailure::kReadOnly);
    const std::string text = readTextFile(path, folderOf(store.path()));
    ParsedLines parsed;
    try {
        parsed = parseHistoryLines(text, progress);
    } catch (const ImportCancelled&) {
        res.cancelled = true;
        return res;
    }
    res.skipped = std::move(parsed.skipped);
    res.skippedCount = parsed.skippedCount;
    if (parsed.draws.empty() && res.skippedCount > 0) {
        res.refused = true;
        return res;
    }
    if (confirm && !confirm(parsed.draws)) {
        res.cancelled = true;
        return res;
    }
    res.stored = parsed.draws.size();
    store.replaceHistory(std::move(parsed.draws), segBase);
    return res;
}

}  // namespace k3
