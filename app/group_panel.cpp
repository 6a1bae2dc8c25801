#include "group_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "groups/selection.h"
#include "history_session.h"
#include "object_names.h"
#include "search/grids.h"

namespace k3 {

GroupPanel::GroupPanel(HistorySession& session, QWidget* parent) : QGroupBox("组合检索", parent), m_session(session) {
    setObjectName(names::kGroupPanel);
    auto* grid = new QGridLayout(this);
    m_groupSizeLabel = new QLabel("组合位数", this);
    m_groupSizeLabel->setObjectName(names::kGroupSizeLabel);
    m_groupSizeCombo = new QComboBox(this);
    m_groupSizeCombo->setObjectName(names::kGroupSizeCombo);
    m_groupSizeCombo->setEditable(true);
    m_groupSizeCombo->addItems({"1", "2", "3", "4", "5", "6"});
    m_groupSizeCombo->setCurrentText("2");
    m_groupSizeCombo->setMaximumWidth(70);
    m_tickedCountEdit = new QLineEdit("0", this);
    m_tickedCountEdit->setObjectName(names::kTickedCountEdit);
    m_tickedCountEdit->setReadOnly(true);
    m_tickedCountEdit->setMaximumWidth(40);

    auto* boxes = new QHBoxLayout;
    for (int i = 0; i < kValueBoxes; ++i) {
        m_valueChecks[i] = new QCheckBox(QString::number(i), this);
        m_valueChecks[i]->setObjectName(QString(names::kValueCheckPrefix) + QString::number(i));
        connect(m_valueChecks[i], &QCheckBox::clicked, this, &GroupPanel::showTickedCount);
        boxes->addWidget(m_valueChecks[i]);
    }
    boxes->addStretch();
    const char* selectionCaptions[] = {"全选", "清空", "反选"};
    auto* buttons = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        m_selectionButtons[i] = new QPushButton(selectionCaptions[i], this);
        m_selectionButtons[i]->setObjectName(QString(names::kSelectionButtonPrefix) + QString::number(i));
        connect(m_selectionButtons[i], &QPushButton::clicked, this, [this, i] { selectionButtonClicked(i); });
        buttons->addWidget(m_selectionButtons[i]);
    }
    m_calculateButton = new QPushButton("分组计算(&P)", this);
    m_calculateButton->setObjectName(names::kCalculateButton);
    buttons->addWidget(m_calculateButton);

    m_searchTypeFrame = new QGroupBox("搜索类型选择", this);
    m_searchTypeFrame->setObjectName(names::kSearchTypeFrame);
    auto* types = new QHBoxLayout(m_searchTypeFrame);
    for (int i = 0; i < 4; ++i) {
        m_searchTypeOptions[i] = new QRadioButton(typeName(i), m_searchTypeFrame);
        m_searchTypeOptions[i]->setObjectName(QString(names::kSearchTypeOptionPrefix) + QString::number(i));
        connect(m_searchTypeOptions[i], &QRadioButton::clicked, this, [this, i] { searchTypeClicked(i); });
        types->addWidget(m_searchTypeOptions[i]);
    }

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(m_groupSizeLabel);
    sizeRow->addWidget(m_groupSizeCombo);
    sizeRow->addSpacing(16);
    sizeRow->addWidget(new QLabel("已选", this));
    sizeRow->addWidget(m_tickedCountEdit);
    sizeRow->addStretch();
    grid->addLayout(sizeRow, 0, 0);
    grid->addWidget(m_searchTypeFrame, 0, 1, 2, 1);
    grid->addLayout(boxes, 1, 0);
    grid->addLayout(buttons, 2, 0, 1, 2);

    connect(m_calculateButton, &QPushButton::clicked, this, &GroupPanel::calculationRequested);
    m_searchTypeOptions[m_session.searchType()]->setChecked(true);
    layOutValueBoxes(m_session.searchType());
}

GroupInput GroupPanel::groupInput() {
    BoxTicks ticks{};
    for (int i = 0; i < kValueBoxes; ++i) ticks[i] = m_valueChecks[i]->isChecked();
    if (auto k = parseGroupSize(m_groupSizeCombo->currentText().toStdString())) m_groupSize = *k;
    GroupInput in;
    in.type = m_session.searchType();
    in.selection = selectionValues(ticks, m_scanBound);
    in.groupSize = m_groupSize;
    return in;
}

void GroupPanel::setCalculationEnabled(bool on) { m_calculateButton->setEnabled(on); }

void GroupPanel::searchTypeClicked(int type) {
    if (!m_searchTypeOptions[type]->isChecked()) m_searchTypeOptions[type]->setChecked(true);
    m_session.setSearchType(type);
    selectionButtonClicked(kClearAll);
    layOutValueBoxes(type);
}

void GroupPanel::selectionButtonClicked(int button) {
    BoxTicks ticks{};
    for (int i = 0; i < kValueBoxes; ++i) ticks[i] = m_valueChecks[i]->isChecked();
    applySelectionButton(ticks, m_session.searchType(), button);
    for (int i = 0; i < kValueBoxes; ++i) m_valueChecks[i]->setChecked(ticks[i]);
    showTickedCount();
}

// The count of ticked boxes (a clicked box has already changed its tick).
void GroupPanel::showTickedCount() {
    if (auto bound = scanBound(m_session.searchType())) m_scanBound = *bound;
    BoxTicks ticks{};
    for (int i = 0; i < kValueBoxes; ++i) ticks[i] = m_valueChecks[i]->isChecked();
    m_tickedCountEdit->setText(QString::number(selectionCount(ticks, m_scanBound)));
}

void GroupPanel::layOutValueBoxes(int type) {
    for (const ValueBox& box : valueBoxes(type)) m_valueChecks[box.index]->setText(QString::fromStdString(box.caption));
    for (int i = 0; i < kValueBoxes; ++i) m_valueChecks[i]->setVisible(boxShown(type, i));
}

}  // namespace k3
