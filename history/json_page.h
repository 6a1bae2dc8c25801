// The draws of a result service's JSON answer, also one wrapped as callback(…): an array of objects anywhere
// in the document, each with the issue in one field and the dice in another. The fields are found from their
// values, whatever they are called: the issue as text or a number in one of the forms readIssue takes, the
// dice as "1,3,5", "135", "1 3 5" or [1,3,5].
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/shape_recognition.h"
#include "history/update_page.h"

namespace k3 {

struct JsonDraws {
    std::vector<RowDraw> draws;  // of the array that holds the most, in its order
    std::string shape;  // "JSON：期号在“expect”（期号 11 位），号码在“opencode”（号码以逗号分隔）"
};

// The JSON text of a page: the text itself when it starts as JSON does, the part between the parentheses of
// callback(…); nothing when it does not look like JSON.
std::optional<std::string_view> jsonPart(std::string_view text);

// Nothing when the text is not JSON or holds no array of draws. The guard is checked as the document is
// gone through; the work grows with the document's size, whatever its depth.
std::optional<JsonDraws> jsonDraws(std::string_view text, const UpdateGuard& guard = {});

}  // namespace k3
