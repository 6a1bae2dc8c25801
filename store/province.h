// The fifteen provinces whose K3 game the history can belong to.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace k3 {

struct Province {
    const char* caption;  // menu caption, e.g. "福建快3"
    const char* code;     // first part of the draw-result service's host name
    int drawsPerDay;
};

inline constexpr int kProvinceCount = 15;
// Index of "北京快3", whose issue numbers are running numbers rather than dates.
inline constexpr int kBeijingIndex = 9;

const std::array<Province, kProvinceCount>& provinces();
// The row of the index, or the first row when the index is out of range.
const Province& province(int index);
// The index of the province with that code (as a history file records it); nothing for an unknown code.
std::optional<int> provinceIndexOfCode(std::string_view code);

}  // namespace k3
