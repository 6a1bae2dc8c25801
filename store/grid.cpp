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

std::vector<std::string> historyHeader() { return {"期号", "第1位", "第2位", "第3位"}; }

Grid historyGrid(const Snapshot& snap) {
    Grid g;
    g.header = historyHeader();
    g.widths = {1480, 600, 600, 600};
    g.rows.reserve(snap.size());
    for (const SnapRow& r : snap.rows)
        g.rows.push_back(
            {std::to_string(r.sqqh), std::to_string(r.die(1)), std::to_string(r.die(2)), std::to_string(r.die(3))});
    return g;
}

}  // namespace k3
