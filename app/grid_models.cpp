#include "grid_models.h"

#include "store/issue.h"

namespace k3 {

void HistoryModel::setSnapshot(std::shared_ptr<const Snapshot> snap) {
    beginResetModel();
    m_snap = std::move(snap);
    endResetModel();
}

void HistoryModel::setRunningNumbers(bool running) {
    if (running == m_runningNumbers) return;
    m_runningNumbers = running;
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DisplayRole});
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_snap ? 0 : static_cast<int>(m_snap->size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!m_snap || !index.isValid() || index.row() >= static_cast<int>(m_snap->size())) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const auto row = static_cast<size_t>(index.row());
    if (index.column() == 0) return QString::fromStdString(issueText(m_snap->issue(row), m_runningNumbers));
    try {
        return QString::number(m_snap->die(row, index.column()));
    } catch (const std::exception&) {
        // The values of an older draw could not be read (the session reads them again, or says the
        // history is damaged): the cell stays empty rather than end the program.
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (o == Qt::Vertical) return section + 1;
    static const auto header = historyHeader();
    return section >= 0 && section < 4 ? QString::fromStdString(header[static_cast<size_t>(section)]) : QVariant{};
}

void GridModel::setGrid(Grid g) {
    beginResetModel();
    m_grid = std::move(g);
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_grid.rows.size());
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_grid.header.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_grid.rows.size())) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const auto& row = m_grid.rows[static_cast<size_t>(index.row())];
    size_t c = static_cast<size_t>(index.column());
    return c < row.size() ? QString::fromStdString(row[c]) : QString();
}

QVariant GridModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (o == Qt::Vertical) return section + 1;
    size_t c = static_cast<size_t>(section);
    return c < m_grid.header.size() ? QString::fromStdString(m_grid.header[c]) : QVariant{};
}

}  // namespace k3
