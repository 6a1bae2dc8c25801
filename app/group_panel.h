// The group panel: the values to combine (ten boxes laid out for the search type), the selection
// buttons, the group size, the search type, and the button of the group calculation.
#pragma once
#include <QGroupBox>
#include <array>

#include "groups/group_calc.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace k3 {

class HistorySession;

class GroupPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit GroupPanel(HistorySession& session, QWidget* parent = nullptr);

    // Type, ticked values and group size of the calculation; the range is the search panel's.
    GroupInput groupInput();
    void setCalculationEnabled(bool on);

signals:
    void calculationRequested();

private:
    void searchTypeClicked(int type);
    void selectionButtonClicked(int button);
    void showTickedCount();
    void layOutValueBoxes(int type);

    HistorySession& m_session;
    QLabel* m_groupSizeLabel = nullptr;
    QComboBox* m_groupSizeCombo = nullptr;
    QLineEdit* m_tickedCountEdit = nullptr;
    std::array<QCheckBox*, 10> m_valueChecks{};
    std::array<QPushButton*, 3> m_selectionButtons{};  // select all, clear, invert
    QPushButton* m_calculateButton = nullptr;
    QGroupBox* m_searchTypeFrame = nullptr;
    std::array<QRadioButton*, 4> m_searchTypeOptions{};

    int m_scanBound = 0;  // highest box index the selection looks at
    int m_groupSize = 0;  // the last group size that could be read
};

}  // namespace k3
