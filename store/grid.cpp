#include "grid.h"

namespace k3 {

std::string gridText(const Grid& g) {
    std::string out;
    auto line = [&out](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i) out += '\t';
            out += cells[i];
        }
        out += '\n';
    };
    line(g.header);
    for (const auto& r : g.rows) line(r);
    return out;
}

}  // namespace k3
