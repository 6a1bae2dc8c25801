#include "manual_entry.h"

#include "store/derive.h"
#include "store/issue.h"

namespace k3 {

namespace {
int die(std::string_view text, int pos) {
    std::string where = "第" + std::to_string(pos) + "位";
    if (text.empty() || text == "_") throw EntryRejected(where + "还没有输入号码，未保存");
    if (text.size() != 1 || text[0] < '1' || text[0] > '6')
        throw EntryRejected(where + "的号码「" + std::string(text) + "」不是1到6的数字，未保存");
    return text[0] - '0';
}
}  // namespace

DerivedDraw addManualDraw(HistoryStore& store, std::string_view issueText, std::string_view d1, std::string_view d2,
                          std::string_view d3, int segBase) {
    auto issue = parseIssue(issueText);
    if (!issue) throw EntryRejected("期号「" + std::string(issueText) + "」不是有效的期号，未保存");
    int a = die(d1, 1), b = die(d2, 2), c = die(d3, 3);
    if (store.contains(*issue))
        throw EntryRejected("期号 " + std::string(trimmedText(issueText)) + " 已经存在，未保存");
    DerivedDraw d = deriveDraw(*issue, a, b, c, segBase);
    store.append({d});
    return d;
}

}  // namespace k3
