// Text in another charset as UTF-8, through libxml2's converters (iconv on glibc), and the check for UTF-8.
// No libxml2 header is needed to use them.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace k3 {

// The bytes of `charset` as UTF-8; nothing when the charset is unknown or a byte sequence is not in it.
// `between` runs before each piece is converted (a time limit or a cancel throws from it).
std::optional<std::string> convertToUtf8(std::string_view bytes, const std::string& charset,
                                         const std::function<void()>& between = {});

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence, or npos.
size_t invalidUtf8At(std::string_view s);

}  // namespace k3
