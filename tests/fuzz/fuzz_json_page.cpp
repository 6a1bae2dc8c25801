// Update pages on arbitrary bytes read in every shape: as JSON (also callback(…)), as HTML with tables, as
// text. Byte 0 chooses the content type and the numbering; the rest is the page. Every draw taken lies in the
// plan's range, fits the province, has its dice 1..6 and each issue once in ascending order; a JSON document
// yields draws only when it is one; a draw read from a table has its issue and its dice in one row of it.
#include <algorithm>

#include "fuzz_support.h"
#include "history/json_page.h"
#include "history/online_update.h"
#include "store/issue.h"

using namespace k3fuzz;

namespace {

const char* const kTypes[] = {"application/json", "text/html", "text/plain", "application/javascript"};

bool rowHolds(const k3::PageRow& row, const k3::DerivedDraw& d) {
    const std::string issue = std::to_string(d.sqqh);
    const std::string date = issue.size() >= 3 ? issue.substr(0, issue.size() - 3) : issue;
    const std::string draw = issue.size() >= 3 ? issue.substr(issue.size() - 3) : issue;
    std::string all;
    for (const k3::PageCell& c : row) {
        all += c.text + "\t";
        for (const std::string& p : c.parts) all += p + "\t";
    }
    if (all.find(date) == std::string::npos || all.find(draw) == std::string::npos) return false;
    for (char die : d.txtHisLst)
        if (all.find(die) == std::string::npos) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);

    // The JSON reader alone: it never takes what is not JSON.
    const std::optional<k3::JsonDraws> json = k3::jsonDraws(body);
    if (json) require(k3::jsonPart(body).has_value(), "draws from a text that is not JSON");
    if (json)
        for (const k3::RowDraw& r : json->draws)
            for (int die : {r.d1, r.d2, r.d3}) require(die >= 1 && die <= 6, "a die outside 1..6 in JSON");

    k3::PageContent page;
    try {
        page = k3::readPage({body, kTypes[mode & 3]});
    } catch (const k3::FetchError&) {
        return 0;
    }
    k3::UpdatePlan plan;
    plan.runningNumbers = mode & 4;
    plan.drawsPerDay = mode & 8 ? 78 : 82;
    if (plan.runningNumbers) {
        plan.width = 3;
        plan.count = 500;
        if (mode & 16) plan.start = 100000, plan.end = 200000;
    } else {
        plan.start = 191027001;
        plan.end = 191028000 + plan.drawsPerDay;
    }
    const auto draws = k3::parsePage(page, plan, 1);
    for (size_t i = 0; i < draws.size(); ++i) {
        requireDerived(draws[i], 1);
        require(i == 0 || draws[i - 1].sqqh < draws[i].sqqh, "draws not ascending or an issue twice");
        require(plan.start && draws[i].sqqh >= *plan.start && draws[i].sqqh <= plan.end, "a draw outside the range");
        if (!plan.runningNumbers)
            require(draws[i].sqqh % 1000 <= plan.drawsPerDay, "a draw that does not fit the province was taken");
    }
    // Read from a table: the shape ends so (a JSON answer's shape names its keys, which may say anything).
    if (plan.shape.ends_with("（网页表格）"))
        for (const auto& d : draws)
            require(
                std::any_of(page.rows.begin(), page.rows.end(), [&d](const k3::PageRow& r) { return rowHolds(r, d); }),
                "the draw " + std::to_string(d.sqqh) + " is in no row of the page");
    return 0;
}
