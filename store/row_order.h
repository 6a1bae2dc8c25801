// The order a table's rows are shown in when sorted by a column.
#pragma once
#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

namespace k3 {

// The rows 0..rows-1 by key(i) (a std::optional<double>), ascending or descending; rows with equal keys
// keep their fixed order, and rows without a key (an empty cell) come last either way.
template <class Key>
std::vector<int> orderByKey(size_t rows, Key key, bool descending) {
    std::vector<int> order(rows);
    for (size_t i = 0; i < rows; ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const std::optional<double> ka = key(a), kb = key(b);
        if (!ka || !kb) return ka.has_value() && !kb.has_value();
        return descending ? *ka > *kb : *ka < *kb;
    });
    return order;
}

}  // namespace k3
