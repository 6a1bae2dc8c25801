#include "province.h"

namespace k3 {

const std::array<Province, kProvinceCount>& provinces() {
    static const std::array<Province, kProvinceCount> table{{
        {"福建快3", "fj", 78},
        {"广西快3", "gx", 78},
        {"上海快3", "sh", 82},
        {"江苏快3", "js", 82},
        {"安徽快3", "ah", 80},
        {"江西快3", "jx", 84},
        {"湖北快3", "hb", 78},
        {"贵州快3", "gz", 78},
        {"吉林快3", "jl", 87},
        {"北京快3", "bj", 78},
        {"河北快3", "heb", 81},
        {"河南快3", "hen", 84},
        {"甘肃快3", "gs", 78},
        {"青海快3", "qh", 78},
        {"内蒙快3", "nmg", 73},
    }};
    return table;
}

const Province& province(int index) {
    if (index < 0 || index >= kProvinceCount) index = 0;
    return provinces()[index];
}

std::optional<int> provinceIndexOfCode(std::string_view code) {
    for (int i = 0; i < kProvinceCount; ++i)
        if (code == provinces()[i].code) return i;
    return std::nullopt;
}

}  // namespace k3
