// The help pages behind the 设置 menu: every link and picture is there, the pages stand on their own
// (UTF-8, one style sheet, no scripts), and every worked example of the manual is what k3gap-cli
// computes today. An example is a table <table data-history="ID" data-cli="ARGS" [data-grid="N"]
// [data-rows="some"]> over the history <pre class="history" id="ID">: its rows are grid N (counted
// from 1, grids separated by an empty line) of `k3gap-cli ARGS` on that history, all of them, or with
// data-rows="some" the header and some of the rows in their order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const char* const kPages[] = {"index.html", "manual.html", "walkthrough.html"};

fs::path docsDir() { return K3GAP_DOCS_DIR; }

std::string readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string attribute(const std::string& tag, const std::string& name) {
    std::smatch m;
    if (std::regex_search(tag, m, std::regex("\\s" + name + "=\"([^\"]*)\""))) return m[1];
    return {};
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The text of an HTML fragment: tags dropped, the few entities the pages use decoded.
std::string textOf(std::string html) {
    html = std::regex_replace(html, std::regex("<[^>]*>"), "");
    for (auto [entity, ch] : std::map<std::string, std::string>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}, {"&amp;", "&"}}) {
        for (size_t at; (at = html.find(entity)) != std::string::npos;) html.replace(at, entity.size(), ch);
    }
    return trim(html);
}

using Rows = std::vector<std::vector<std::string>>;

struct Element {
    std::string tag;    // the opening tag, e.g. <table class="grid">
    std::string inner;  // what stands between it and its closing tag
};

// The elements named `name` (not nested in each other) of an HTML text, in order.
std::vector<Element> elements(const std::string& html, const std::string& name) {
    std::vector<Element> out;
    for (size_t at = 0; (at = html.find("<" + name, at)) != std::string::npos;) {
        const size_t afterName = at + name.size() + 1;
        if (afterName >= html.size() || (html[afterName] != '>' && html[afterName] != ' ')) {
            at = afterName;
            continue;
        }
        const size_t tagEnd = html.find('>', at);
        const size_t close = html.find("</" + name + ">", tagEnd);
        if (tagEnd == std::string::npos || close == std::string::npos) break;
        out.push_back({html.substr(at, tagEnd + 1 - at), html.substr(tagEnd + 1, close - tagEnd - 1)});
        at = close;
    }
    return out;
}

Rows tableRows(const std::string& table) {
    Rows rows;
    for (const Element& tr : elements(table, "tr")) {
        std::vector<std::string> cells;
        // Header and data cells in their order: <th> and <td> never nest.
        for (size_t at = 0; (at = tr.inner.find("<t", at)) != std::string::npos;) {
            const std::string name = tr.inner.substr(at + 1, 2);
            const size_t open = tr.inner.find('>', at), close = tr.inner.find("</" + name + ">", at);
            if ((name != "th" && name != "td") || open == std::string::npos || close == std::string::npos) {
                at += 2;
                continue;
            }
            cells.push_back(textOf(tr.inner.substr(open + 1, close - open - 1)));
            at = close;
        }
        rows.push_back(cells);
    }
    return rows;
}

// Grid `n` (from 1) of a program's output, each cell trimmed as the pages show it.
Rows outputGrid(const std::string& out, int n) {
    Rows grids;
    std::istringstream in(out);
    int grid = 1;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            ++grid;
            continue;
        }
        if (grid != n) continue;
        std::vector<std::string> cells;
        std::istringstream cellsIn(line);
        for (std::string cell; std::getline(cellsIn, cell, '\t');) cells.push_back(trim(cell));
        if (!line.empty() && line.back() == '\t') cells.push_back({});
        grids.push_back(cells);
    }
    return grids;
}

std::string show(const std::vector<std::string>& row) {
    std::string s;
    for (const std::string& c : row) s += (s.empty() ? "" : " | ") + c;
    return s;
}

struct Example {
    std::string page, history, args, rows;
    int grid = 1;
    Rows expected;
};

std::vector<Example> examples(const std::string& page, const std::string& html) {
    std::vector<Example> out;
    for (const Element& table : elements(html, "table")) {
        const std::string& tag = table.tag;
        if (tag.find(" data-cli=") == std::string::npos) continue;
        Example e{page, attribute(tag, "data-history"), attribute(tag, "data-cli"), attribute(tag, "data-rows"), 1, {}};
        const std::string grid = attribute(tag, "data-grid");
        e.grid = grid.empty() ? 1 : std::stoi(grid);
        e.expected = tableRows(table.inner);
        out.push_back(e);
    }
    return out;
}

std::map<std::string, std::string> histories(const std::string& html) {
    std::map<std::string, std::string> out;
    for (const Element& pre : elements(html, "pre"))
        if (attribute(pre.tag, "class") == "history") out[attribute(pre.tag, "id")] = textOf(pre.inner);
    return out;
}

}  // namespace

TEST(HelpPages, StandOnTheirOwnInUtf8WithOneStyleSheetAndNoScripts) {
    for (const char* page : kPages) {
        const std::string html = readFile(docsDir() / page);
        ASSERT_FALSE(html.empty()) << page;
        EXPECT_NE(html.find("<html lang=\"zh-CN\">"), std::string::npos) << page;
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos) << page;
        EXPECT_NE(html.find("<link rel=\"stylesheet\" href=\"style.css\">"), std::string::npos) << page;
        EXPECT_EQ(html.find("<script"), std::string::npos) << page;
        EXPECT_EQ(html.find("<style"), std::string::npos) << page << ": styles belong in style.css";
        EXPECT_TRUE(validUtf8(html)) << page << " is not UTF-8";
    }
}

// Every local link and picture exists, every #anchor names an id of its page, and every picture of
// docs/img is shown by some page (the screenshot script takes no picture for nothing).
TEST(HelpPages, LinksPicturesAndAnchorsAllResolve) {
    std::set<std::string> shown;
    for (const char* page : kPages) {
        const std::string html = readFile(docsDir() / page);
        static const std::regex ref("\\s(href|src)=\"([^\"]*)\"");
        for (std::sregex_iterator r(html.begin(), html.end(), ref), end; r != end; ++r) {
            const std::string target = (*r)[2];
            if (target.find(':') != std::string::npos) continue;  // http:, file: in examples
            const auto hash = target.find('#');
            const std::string file = target.substr(0, hash);
            const fs::path path = docsDir() / (file.empty() ? page : file);
            ASSERT_TRUE(fs::is_regular_file(path)) << page << " links to missing " << target;
            if ((*r)[1] == "src") {
                shown.insert(file);
                EXPECT_EQ(readFile(path).substr(0, 4), "\x89PNG") << file << " is not a PNG";
            }
            if (hash != std::string::npos) {
                const std::string id = target.substr(hash + 1);
                EXPECT_NE(readFile(path).find(" id=\"" + id + "\""), std::string::npos) << page << ": " << target;
            }
        }
        static const std::regex img("<img[^>]*>");
        for (std::sregex_iterator i(html.begin(), html.end(), img), end; i != end; ++i)
            EXPECT_FALSE(attribute((*i).str(), "alt").empty()) << page << ": " << (*i).str();
    }
    uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(docsDir() / "img")) {
        const std::string name = "img/" + entry.path().filename().string();
        EXPECT_TRUE(shown.count(name)) << name << " is shown by no help page";
        bytes += entry.file_size();
    }
    EXPECT_LT(bytes, 4u << 20) << "the pictures should stay small";
}

TEST(HelpPages, EveryWorkedExampleIsWhatTheCommandLineComputes) {
    int checked = 0;
    for (const char* page : kPages) {
        const std::string html = readFile(docsDir() / page);
        ASSERT_FALSE(html.empty()) << page;
        const auto texts = histories(html);
        for (const Example& e : examples(page, html)) {
            SCOPED_TRACE(std::string(page) + ": k3gap-cli " + e.args);
            ASSERT_TRUE(texts.count(e.history)) << "no history " << e.history;
            ASSERT_FALSE(e.expected.empty());
            k3test::TempDir dir;
            std::ofstream(dir.file("history.txt")) << texts.at(e.history) << "\n";
            fs::create_directory(dir.path() / "data");
            const std::string data = dir.file("data"), config = dir.file("config");
            const std::string common = "--lottery 0 --segment-base 1 ";
            auto imported = k3test::runCli(data, config, common + "import '" + dir.file("history.txt") + "'");
            ASSERT_EQ(imported.rc, 0) << imported.err;
            auto run = k3test::runCli(data, config, common + e.args);
            ASSERT_EQ(run.rc, 0) << run.err;
            const Rows got = outputGrid(run.out, e.grid);
            if (e.rows != "some") {
                ASSERT_EQ(got.size(), e.expected.size()) << run.out;
                for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(show(got[i]), show(e.expected[i])) << "row " << i;
            } else {
                ASSERT_FALSE(got.empty());
                EXPECT_EQ(show(got[0]), show(e.expected[0])) << "header";
                size_t at = 1;
                for (size_t i = 1; i < e.expected.size(); ++i) {
                    while (at < got.size() && show(got[at]) != show(e.expected[i])) ++at;
                    EXPECT_LT(at, got.size()) << "not in the output, or out of order: " << show(e.expected[i]);
                }
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 10) << "the manual's examples are marked with data-cli";
}
