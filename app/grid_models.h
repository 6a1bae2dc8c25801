// Table models behind the three grids. The history model reads the snapshot directly, so a history of a
// million draws costs no more than the rows on screen.
#pragma once
#include <QAbstractTableModel>
#include <memory>

#include "search/grids.h"
#include "store/snapshot.h"

namespace k3 {

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setSnapshot(std::shared_ptr<const Snapshot> snap);
    // How the issues are written (issueText): running numbers, or dates with all nine digits.
    void setRunningNumbers(bool running);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    std::shared_ptr<const Snapshot> m_snap;
    bool m_runningNumbers = false;
};

// A grid of texts: the header row is the view's header, the data rows its rows.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setGrid(Grid g);
    const Grid& grid() const { return m_grid; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    Grid m_grid;
};

}  // namespace k3
