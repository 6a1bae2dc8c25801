// Read through nlohmann-json's SAX interface: no tree of the document is built, only what the objects of
// arrays hold that could be an issue or dice is kept until their array ends.
#include "history/json_page.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

namespace k3 {

namespace {

const char* const kReadJson = "读取 JSON";

bool identifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '.';
}

std::string integralText(double v) {
    if (!std::isfinite(v) || v != std::floor(v) || std::fabs(v) >= 1e15) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
}

// What a field of an object could be.
struct FieldValue {
    std::optional<ReadIssue> issue;
    std::optional<ReadDice> dice;
};

struct ObjectFields {
    std::vector<std::pair<std::string, FieldValue>> fields;
};

class DrawFinder : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit DrawFinder(const UpdateGuard& guard) : guard_(guard) {}

    bool null() override { return scalar({}); }
    bool boolean(bool) override { return scalar({}); }
    bool number_integer(number_integer_t v) override { return scalar(std::to_string(v)); }
    bool number_unsigned(number_unsigned_t v) override { return scalar(std::to_string(v)); }
    bool number_float(number_float_t v, const string_t&) override { return scalar(integralText(v)); }
    bool string(string_t& s) override { return scalar(s); }
    bool binary(binary_t&) override { return scalar({}); }

    bool start_object(std::size_t) override {
        step();
        Frame f;
        f.object = true;
        // Only an object directly inside an array is a candidate row.
        f.row = !frames_.empty() && !frames_.back().object;
        frames_.push_back(std::move(f));
        return true;
    }
    bool key(string_t& k) override {
        frames_.back().key = k;
        return true;
    }
    bool end_object() override {
        Frame f = std::move(frames_.back());
        frames_.pop_back();
        if (f.row && !frames_.empty())
            frames_.back().objects.push_back(std::move(f.fields));
        else if (!frames_.empty())
            frames_.back().nonScalar();
        return true;
    }
    bool start_array(std::size_t) override {
        step();
        Frame f;
        f.object = false;
        // An array that is a field of a row may be its dice: its first few values are kept.
        f.smallInField = !frames_.empty() && frames_.back().object && frames_.back().row;
        frames_.push_back(std::move(f));
        return true;
    }
    bool end_array() override {
        Frame f = std::move(frames_.back());
        frames_.pop_back();
        if (!f.objects.empty()) weigh(f.objects);
        if (frames_.empty()) return true;
        Frame& parent = frames_.back();
        if (f.smallInField && f.values.size() == 3 && !f.tooMany) {
            ReadDice d;
            d.form = DiceForm::kSeparated;
            d.separator = ',';
            bool ok = true;
            for (int k = 0; k < 3 && ok; ++k) {
                auto die = readSingleDie(f.values[static_cast<size_t>(k)]);
                ok = die.has_value();
                if (ok) d.d[k] = *die;
            }
            if (ok) parent.fields.fields.push_back({parent.key, FieldValue{std::nullopt, d}});
        }
        parent.nonScalar();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

    std::optional<JsonDraws> result() { return best_; }

private:
    struct Frame {
        bool object = false;
        bool row = false;
        bool smallInField = false;
        std::string key;
        ObjectFields fields;                // a row's fields
        std::vector<ObjectFields> objects;  // an array's rows
        std::vector<std::string> values;    // a small array's first values
        bool tooMany = false;
        void nonScalar() {
            if (!object) tooMany = tooMany || smallInField;
        }
    };

    void step() {
        if (++events_ % 4096 == 0) guard_.check(kReadJson);
    }

    bool scalar(const std::string& text) {
        step();
        if (frames_.empty()) return true;
        Frame& f = frames_.back();
        if (f.object) {
            if (f.row && !text.empty()) {
                FieldValue v{readIssue(text), readDice(FieldView{text})};
                if (v.issue || v.dice) f.fields.fields.push_back({f.key, std::move(v)});
            }
        } else if (f.smallInField) {
            if (f.values.size() < 3)
                f.values.push_back(text);
            else
                f.tooMany = true;
        }
        return true;
    }

    // The fields of an array's rows that most often hold an issue and dice, and the draws they give.
    void weigh(const std::vector<ObjectFields>& rows) {
        std::map<std::string, std::pair<size_t, size_t>> issueKeys;  // key -> (count, dated)
        std::map<std::string, size_t> diceKeys;
        for (const ObjectFields& row : rows) {
            for (const auto& [key, v] : row.fields) {
                if (v.issue) {
                    auto& c = issueKeys[key];
                    ++c.first;
                    c.second += v.issue->dated();
                }
                if (v.dice) ++diceKeys[key];
            }
        }
        std::optional<std::string> issueKey, diceKey;
        std::pair<size_t, size_t> bestIssue{0, 0};
        for (const auto& [key, c] : issueKeys)
            if (!issueKey || std::make_pair(c.first, c.second) > bestIssue) issueKey = key, bestIssue = c;
        size_t bestDice = 0;
        for (const auto& [key, c] : diceKeys)
            if (key != issueKey && (!diceKey || c > bestDice)) diceKey = key, bestDice = c;
        if (!issueKey || !diceKey) return;
        JsonDraws found;
        std::map<std::pair<IssueForm, std::pair<DiceForm, char>>, size_t> forms;
        for (const ObjectFields& row : rows) {
            const FieldValue *issue = nullptr, *dice = nullptr;
            for (const auto& [key, v] : row.fields) {
                if (!issue && key == *issueKey && v.issue) issue = &v;
                if (!dice && key == *diceKey && v.dice) dice = &v;
            }
            if (!issue || !dice) continue;
            found.draws.push_back({*issue->issue, dice->dice->d[0], dice->dice->d[1], dice->dice->d[2]});
            ++forms[{issue->issue->form, {dice->dice->form, dice->dice->separator}}];
        }
        if (best_ && found.draws.size() <= best_->draws.size()) return;
        const auto common = std::max_element(forms.begin(), forms.end(),
                                             [](const auto& a, const auto& b) { return a.second < b.second; });
        found.shape = "JSON：期号在“" + *issueKey + "”（" + describeIssueForm(common->first.first) + "），号码在“" +
                      *diceKey + "”（" + describeDiceForm(common->first.second.first, common->first.second.second) +
                      "）";
        best_ = std::move(found);
    }

    const UpdateGuard& guard_;
    std::vector<Frame> frames_;
    std::optional<JsonDraws> best_;
    size_t events_ = 0;
};

}  // namespace

std::optional<std::string_view> jsonPart(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (blank(text.back()) || text.back() == ';')) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    if (text.front() == '{' || text.front() == '[') return text;
    // callback(…): a name, then the document in parentheses.
    size_t i = 0;
    while (i < text.size() && identifierChar(text[i])) ++i;
    if (i == 0) return std::nullopt;
    while (i < text.size() && blank(text[i])) ++i;
    if (i >= text.size() || text[i] != '(' || text.back() != ')') return std::nullopt;
    std::string_view inner = text.substr(i + 1, text.size() - i - 2);
    while (!inner.empty() && blank(inner.front())) inner.remove_prefix(1);
    while (!inner.empty() && blank(inner.back())) inner.remove_suffix(1);
    if (inner.empty() || (inner.front() != '{' && inner.front() != '[')) return std::nullopt;
    return inner;
}

std::optional<JsonDraws> jsonDraws(std::string_view text, const UpdateGuard& guard) {
    const std::optional<std::string_view> json = jsonPart(text);
    if (!json) return std::nullopt;
    DrawFinder finder(guard);
    if (!nlohmann::json::sax_parse(json->begin(), json->end(), &finder)) return std::nullopt;
    return finder.result();
}

}  // namespace k3
