#include "search_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "history_session.h"
#include "object_names.h"
#include "store/issue.h"

namespace k3 {

namespace {

// What the issue boxes hold before there is a history.
const char* const kPresetIssue = "2013001";

std::optional<int> wholeValue(const QString& text) {
    if (auto v = parseWhole(text.toStdString(), -32768, 32767)) return static_cast<int>(*v);
    return std::nullopt;
}

template <class W>
W* named(W* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

}  // namespace

SearchPanel::SearchPanel(HistorySession& session, QWidget* parent)
    : QWidget(parent), m_session(session), m_snapshot(session.snapshot()) {
    setObjectName(names::kSearchPanel);
    buildControls();
    m_freePositionsOption->setChecked(m_session.freePositions());
    m_fixedPositionsOption->setChecked(!m_session.freePositions());
    m_partialWidthCombo->setCurrentText(QString::number(m_session.partialWidth()));
    showLastIssue();
    if (!m_snapshot->empty()) {
        m_rangeStartEdit->setText(issueString(m_snapshot->rows.front().sqqh));
        m_rangeEndEdit->setText(issueString(m_snapshot->rows.back().sqqh));
    }
    valueSourceChanged(m_valueSourceTabs->currentIndex());
    m_valuesTyped = m_valueSourceTabs->currentIndex() == 0;

    connect(m_valueSourceTabs, &QTabBar::currentChanged, this, &SearchPanel::valueSourceChanged);
    connect(m_onlyBeforeChosenCheck, &QCheckBox::clicked, this, &SearchPanel::onlyBeforeChosenClicked);
    connect(m_fixedPositionsOption, &QRadioButton::clicked, this, [this] { positionModeClicked(false); });
    connect(m_freePositionsOption, &QRadioButton::clicked, this, [this] { positionModeClicked(true); });
    connect(m_searchButton, &QPushButton::clicked, this, &SearchPanel::searchRequested);
    connect(m_watchButton, &QPushButton::clicked, this, &SearchPanel::watchRequested);
    connect(m_partialSearchButton, &QPushButton::clicked, this, &SearchPanel::partialSearchRequested);
    for (QLineEdit* edit : {m_rangeStartEdit, m_rangeEndEdit}) {
        connect(edit, &QLineEdit::editingFinished, this, &SearchPanel::rangeChanged);
        // While the user types, the range changes when the box is left.
        connect(edit, &QLineEdit::textChanged, this, [this, edit] {
            if (!edit->hasFocus()) emit rangeChanged();
        });
    }
    connect(&m_session, &HistorySession::historyChanged, this, &SearchPanel::followHistory);
    connect(&m_session, &HistorySession::searchTypeChanged, this, [this] { refreshFromActiveTab(); });
}

void SearchPanel::buildControls() {
    m_valueSourceTabs = named(new QTabBar(this), names::kValueSourceTabs);
    m_valueSourceTabs->addTab("手动输入号");
    m_valueSourceTabs->addTab("历史指定期");
    m_valueSourceTabs->setExpanding(false);

    m_typedValuesFrame = named(new QGroupBox(this), names::kTypedValuesFrame);
    auto* typed = new QGridLayout(m_typedValuesFrame);
    m_chosenValuesFrame = named(new QGroupBox(this), names::kChosenValuesFrame);
    auto* chosen = new QGridLayout(m_chosenValuesFrame);
    for (int i = 0; i < 3; ++i) {
        const QString position = QString("第%1位").arg(i + 1);
        m_typedPositionChecks[i] = named(new QCheckBox(position, m_typedValuesFrame),
                                         QString(names::kTypedPositionCheckPrefix) + QString::number(i + 1));
        QLineEdit* edit =
            named(new QLineEdit(m_typedValuesFrame), QString(names::kTypedValueEditPrefix) + QString::number(i + 1));
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[-0-9]*"), edit));
        edit->setMaximumWidth(60);
        edit->installEventFilter(this);
        m_typedValueEdits[i] = edit;
        typed->addWidget(m_typedPositionChecks[i], 0, i);
        typed->addWidget(edit, 1, i);
        m_chosenPositionChecks[i] = named(new QCheckBox(position, m_chosenValuesFrame),
                                          QString(names::kChosenPositionCheckPrefix) + QString::number(11 + i));
        m_chosenValueEdits[i] =
            named(new QLineEdit(m_chosenValuesFrame), QString(names::kChosenValueEditPrefix) + QString::number(11 + i));
        m_chosenValueEdits[i]->setReadOnly(true);
        m_chosenValueEdits[i]->setMaximumWidth(60);
        chosen->addWidget(m_chosenPositionChecks[i], 0, i);
        chosen->addWidget(m_chosenValueEdits[i], 1, i);
    }
    m_onlyBeforeChosenCheck = named(new QCheckBox("仅检索该期前", this), names::kOnlyBeforeChosenCheck);
    m_chosenIssueEdit = named(new QLineEdit(kPresetIssue, this), names::kChosenIssueEdit);
    m_chosenIssueEdit->setMaximumWidth(110);
    m_chosenIssueEdit->installEventFilter(this);

    m_positionModeFrame = named(new QGroupBox("检索位选择", this), names::kPositionModeFrame);
    auto* mode = new QHBoxLayout(m_positionModeFrame);
    m_freePositionsOption = named(new QRadioButton("自由位", m_positionModeFrame), names::kFreePositionsOption);
    m_fixedPositionsOption = named(new QRadioButton("固定位", m_positionModeFrame), names::kFixedPositionsOption);
    mode->addWidget(m_freePositionsOption);
    mode->addWidget(m_fixedPositionsOption);

    m_rangeFrame = named(new QGroupBox("检索起止期数", this), names::kRangeFrame);
    auto* range = new QHBoxLayout(m_rangeFrame);
    m_rangeStartLabel = named(new QLabel("起", m_rangeFrame), names::kRangeStartLabel);
    m_rangeStartEdit = named(new QLineEdit(kPresetIssue, m_rangeFrame), names::kRangeStartEdit);
    m_rangeDashLabel = named(new QLabel("～", m_rangeFrame), names::kRangeDashLabel);
    m_rangeEndEdit = named(new QLineEdit(kPresetIssue, m_rangeFrame), names::kRangeEndEdit);
    m_rangeEndLabel = named(new QLabel("止", m_rangeFrame), names::kRangeEndLabel);
    for (QWidget* w : std::initializer_list<QWidget*>{m_rangeStartLabel, m_rangeStartEdit, m_rangeDashLabel,
                                                      m_rangeEndEdit, m_rangeEndLabel})
        range->addWidget(w);
    // However narrow the window, an issue box shows its nine digits whole.
    for (QLineEdit* edit : {m_rangeStartEdit, m_rangeEndEdit, m_chosenIssueEdit})
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance("000000000") + 16);

    m_searchButton = named(new QPushButton("检索(&S)", this), names::kSearchButton);
    m_watchButton = named(new QPushButton("加入遗漏提醒", this), "cmdTixing");
    m_watchButton->setToolTip("把这个检索（类型、位置和号码）加入遗漏提醒，看它的当前遗漏何时到达门槛");

    m_partialFrame = named(new QGroupBox("多位检索", this), names::kPartialFrame);
    auto* partial = new QHBoxLayout(m_partialFrame);
    m_partialWidthLabel = named(new QLabel("分部位数", m_partialFrame), names::kPartialWidthLabel);
    m_partialWidthCombo = named(new QComboBox(m_partialFrame), names::kPartialWidthCombo);
    m_partialWidthCombo->setEditable(true);
    m_partialWidthCombo->addItems({"1", "2", "3", "4", "5", "6"});
    m_partialWidthCombo->installEventFilter(this);
    if (m_partialWidthCombo->lineEdit()) m_partialWidthCombo->lineEdit()->installEventFilter(this);
    m_partialSearchButton = named(new QPushButton("分部检索(&G)", m_partialFrame), names::kPartialSearchButton);
    partial->addWidget(m_partialWidthLabel);
    partial->addWidget(m_partialWidthCombo);
    partial->addWidget(m_partialSearchButton);

    // The two tabs' pages share one place of one size, so switching tabs moves nothing below them.
    m_valuePages = new QStackedWidget(this);
    auto* typedPage = new QWidget(m_valuePages);
    auto* typedLayout = new QVBoxLayout(typedPage);
    typedLayout->setContentsMargins(0, 0, 0, 0);
    typedLayout->addWidget(m_typedValuesFrame);
    typedLayout->addStretch();
    auto* chosenPage = new QWidget(m_valuePages);
    auto* chosenLayout = new QVBoxLayout(chosenPage);
    chosenLayout->setContentsMargins(0, 0, 0, 0);
    chosenLayout->addWidget(m_chosenValuesFrame);
    auto* chosenIssue = new QHBoxLayout;
    chosenIssue->addWidget(m_chosenIssueEdit);
    chosenIssue->addWidget(m_onlyBeforeChosenCheck);
    chosenIssue->addStretch();
    chosenLayout->addLayout(chosenIssue);
    chosenLayout->addStretch();
    m_valuePages->addWidget(typedPage);
    m_valuePages->addWidget(chosenPage);
    auto* values = new QVBoxLayout;
    values->setSpacing(0);
    values->addWidget(m_valueSourceTabs);
    values->addWidget(m_valuePages);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addLayout(values, 0, 0, 2, 1);
    grid->addWidget(m_positionModeFrame, 0, 1);
    grid->addWidget(m_rangeFrame, 0, 2);
    auto* searchButtons = new QHBoxLayout;
    searchButtons->addWidget(m_searchButton);
    searchButtons->addWidget(m_watchButton);
    grid->addLayout(searchButtons, 1, 1);
    grid->addWidget(m_partialFrame, 1, 2);
}

// ---------------------------------------------------------------- inputs of the analyses

void SearchPanel::readEditedValues() {
    for (int i = 0; i < 3; ++i)
        if (m_typedValueEdits[i]->hasFocus()) readTypedValue(i);
}

std::array<std::string, 3> SearchPanel::valueTexts() const {
    std::array<std::string, 3> texts;
    for (int i = 0; i < 3; ++i)
        texts[i] = (m_valuesTyped ? m_typedValueEdits[i] : m_chosenValueEdits[i])->text().toStdString();
    return texts;
}

SearchInput SearchPanel::searchInput() {
    readEditedValues();
    SearchInput in;
    in.type = m_session.searchType();
    in.free = !m_fixedPositionsOption->isChecked();
    for (int i = 0; i < 3; ++i)
        in.selected[i] = (m_valuesTyped ? m_typedPositionChecks[i] : m_chosenPositionChecks[i])->isChecked();
    in.values = m_searchValues;
    in.texts = valueTexts();
    in.from = rangeStart();
    in.to = rangeEnd();
    in.runningNumbers = m_session.runningNumbers();
    return in;
}

PartialInput SearchPanel::partialInput() {
    if (m_partialWidthCombo->hasFocus() ||
        (m_partialWidthCombo->lineEdit() && m_partialWidthCombo->lineEdit()->hasFocus()))
        readPartialWidth();
    readEditedValues();
    PartialInput in;
    in.type = m_session.searchType();
    in.free = !m_fixedPositionsOption->isChecked();
    in.values = m_searchValues;
    in.texts = valueTexts();
    in.width = m_session.partialWidth();
    in.widthText = m_partialWidthCombo->currentText().toStdString();
    in.from = rangeStart();
    in.to = rangeEnd();
    in.runningNumbers = m_session.runningNumbers();
    return in;
}

std::string SearchPanel::rangeStart() const { return m_rangeStartEdit->text().toStdString(); }
std::string SearchPanel::rangeEnd() const { return m_rangeEndEdit->text().toStdString(); }

void SearchPanel::setSearchEnabled(bool on) {
    m_searchButton->setEnabled(on);
    m_watchButton->setEnabled(on);
    m_partialSearchButton->setEnabled(on);
}

// ---------------------------------------------------------------- range and chosen draw

void SearchPanel::showWholeRange() {
    if (!m_snapshot->empty()) {
        m_rangeStartEdit->setText(issueString(m_snapshot->rows.front().sqqh));
        m_rangeEndEdit->setText(issueString(m_snapshot->rows.back().sqqh));
    }
    refreshFromActiveTab();
}

void SearchPanel::setRangeEnd(int64_t issue) { m_rangeEndEdit->setText(issueString(issue)); }

QString SearchPanel::issueString(int64_t issue) const {
    return QString::fromStdString(issueText(issue, m_session.runningNumbers()));
}

void SearchPanel::showLastIssue() {
    if (!m_snapshot->empty()) m_chosenIssueEdit->setText(issueString(m_snapshot->rows.back().sqqh));
}

// After this window's own change the chosen issue is the newest one, and after a command the range is
// the whole history. A change made elsewhere moves the
// chosen issue and the ends of the range only where they showed the old first or last issue, so what
// the user typed there stays.
void SearchPanel::followHistory(std::shared_ptr<const Snapshot> snapshot, HistoryOrigin origin) {
    const std::shared_ptr<const Snapshot> before = std::exchange(m_snapshot, std::move(snapshot));
    if (origin == HistoryOrigin::kSwitched && m_snapshot->empty()) {
        // Another province's history, still empty: nothing of the one left stays in the boxes.
        for (QLineEdit* edit : {m_chosenIssueEdit, m_rangeStartEdit, m_rangeEndEdit}) edit->setText(kPresetIssue);
        refreshFromActiveTab();
        return;
    }
    if (origin == HistoryOrigin::kCommand || origin == HistoryOrigin::kOpened || origin == HistoryOrigin::kSwitched) {
        // The whole history as the range.
        showLastIssue();
        showWholeRange();
        return;
    }
    if (origin == HistoryOrigin::kTypedDraw || origin == HistoryOrigin::kShownAgain) {
        showLastIssue();
    } else if (!m_snapshot->empty()) {
        auto follow = [&](QLineEdit* edit, int32_t oldIssue, int32_t newIssue) {
            if (!before->empty() && parseWhole(edit->text().toStdString(), INT32_MIN, INT32_MAX) == oldIssue)
                edit->setText(issueString(newIssue));
        };
        const int32_t oldFirst = before->empty() ? 0 : before->rows.front().sqqh;
        const int32_t oldLast = before->empty() ? 0 : before->rows.back().sqqh;
        follow(m_chosenIssueEdit, oldLast, m_snapshot->rows.back().sqqh);
        follow(m_rangeStartEdit, oldFirst, m_snapshot->rows.front().sqqh);
        follow(m_rangeEndEdit, oldLast, m_snapshot->rows.back().sqqh);
    }
    refreshFromActiveTab();
}

void SearchPanel::showChosenDraw() {
    ChosenDraw c =
        chooseDraw(*m_snapshot, m_chosenIssueEdit->text().toStdString(), m_onlyBeforeChosenCheck->isChecked());
    if (c.rangeEnd) m_rangeEndEdit->setText(issueString(*c.rangeEnd));
    if (!c.row) {
        if (!m_snapshot->empty())
            emit statusMessage(QString("历史中没有期号不大于「%1」的号码").arg(m_chosenIssueEdit->text()));
        return;
    }
    m_valuesTyped = false;
    const SnapRow& row = m_snapshot->rows[*c.row];
    const int type = m_session.searchType();
    for (int i = 0; i < 3; ++i) {
        m_searchValues[i] = row.v[type][i];
        m_chosenValueEdits[i]->setText(QString::fromStdString(valueLabel(type, m_searchValues[i])));
    }
}

void SearchPanel::refreshFromActiveTab(bool readTyped) {
    if (m_valueSourceTabs->currentIndex() == 1) {
        showChosenDraw();
        return;
    }
    m_valuesTyped = true;
    if (!readTyped) return;
    for (int i = 0; i < 3; ++i)
        if (auto v = wholeValue(m_typedValueEdits[i]->text())) m_searchValues[i] = *v;
}

void SearchPanel::valueSourceChanged(int tab) {
    const bool typed = tab != 1;
    m_valuePages->setCurrentIndex(typed ? 0 : 1);
    if (typed) {
        refreshFromActiveTab();
        if (!m_snapshot->empty()) m_rangeEndEdit->setText(issueString(m_snapshot->rows.back().sqqh));
    } else {
        showChosenDraw();
    }
}

void SearchPanel::onlyBeforeChosenClicked() {
    if (m_onlyBeforeChosenCheck->isChecked()) {
        showChosenDraw();
    } else if (!m_snapshot->empty()) {
        m_rangeEndEdit->setText(issueString(m_snapshot->rows.back().sqqh));
    }
}

void SearchPanel::positionModeClicked(bool free) {
    m_session.setFreePositions(free);
    refreshFromActiveTab();
    // Either choice starts the range at the beginning of the history again.
    if (!m_snapshot->empty()) m_rangeStartEdit->setText(issueString(m_snapshot->rows.front().sqqh));
}

// An empty or unreadable text (a lone "-") leaves the value as it was.
void SearchPanel::readTypedValue(int index) {
    if (auto v = wholeValue(m_typedValueEdits[index]->text())) m_searchValues[index] = *v;
}

void SearchPanel::readPartialWidth() {
    const QString text = m_partialWidthCombo->currentText();
    if (auto v = wholeValue(text)) {
        m_session.setPartialWidth(*v);
        return;
    }
    // Not a whole number: the width stays, and the box shows it again.
    const int width = m_session.partialWidth();
    m_partialWidthCombo->setCurrentText(QString::number(width));
    emit statusMessage(QString("分部位数「%1」不是整数，仍用 %2").arg(text).arg(width));
}

bool SearchPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (int i = 0; i < 3; ++i)
            if (watched == m_typedValueEdits[i]) readTypedValue(i);
        if (watched == m_chosenIssueEdit) showChosenDraw();
        if (watched == m_partialWidthCombo || (m_partialWidthCombo && watched == m_partialWidthCombo->lineEdit()))
            readPartialWidth();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace k3
