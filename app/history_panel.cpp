#include "history_panel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "grid_models.h"
#include "grid_view.h"
#include "history/manual_entry.h"
#include "history_session.h"
#include "object_names.h"
#include "prompter.h"
#include "store/issue.h"

namespace k3 {

namespace {

constexpr int kIssueColumnTwips = 1480;
constexpr int kDieColumnTwips = 600;
// More grid rows than this (header included): scrolled so that the newest draw is in view.
constexpr int kRowsWithoutScrolling = 39;
// The issue box before there is a history.
const char* const kPresetIssue = "2007001";

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& tip = {}) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    return b;
}

}  // namespace

HistoryPanel::HistoryPanel(HistorySession& session, Prompter& prompter, OneRowWheel& wheel, QWidget* parent)
    : QWidget(parent), m_session(session), m_prompter(prompter) {
    setObjectName(names::kHistoryPanel);
    m_historyGrid = makeGridView(this, names::kHistoryGrid, "鼠标双击列表可以将列表导出到EXCEL");
    m_historyModel = new HistoryModel(this);
    m_historyGrid->setModel(m_historyModel);
    m_historyGrid->setMinimumWidth(twipsToPixels(kIssueColumnTwips + 3 * kDieColumnTwips) + 40);
    // The issue column keeps its width; the three dice share the rest equally.
    for (int c = 1; c <= 3; ++c) m_historyGrid->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
    auto* gridBox = new WholeRowsBox(m_historyGrid, this);
    m_historyGrid->viewport()->installEventFilter(this);
    wheel.watch(m_historyGrid);

    // The entry row reads as one sentence, the issue box standing where the caption names the issue.
    m_entryLabel = new QLabel("在下面输入", this);
    m_entryLabel->setObjectName(names::kEntryLabel);
    m_entryLabel->setAccessibleName("在下面输入    2007001 期历史号码:");
    m_nextIssueEdit = new QLineEdit(kPresetIssue, this);
    m_nextIssueEdit->setObjectName(names::kNextIssueEdit);
    m_nextIssueEdit->setFixedWidth(m_nextIssueEdit->fontMetrics().horizontalAdvance("888888888") + 12);
    m_entryLabel->setBuddy(m_nextIssueEdit);
    auto* entryTail = new QLabel("期历史号码:", this);
    entryTail->setObjectName(names::kEntryTailLabel);
    auto* sentence = new QHBoxLayout;
    sentence->setSpacing(4);
    sentence->addWidget(m_entryLabel);
    sentence->addWidget(m_nextIssueEdit);
    sentence->addWidget(entryTail);
    sentence->addStretch();
    auto* entry = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString(names::kTypedDiceEditPrefix) + QString::number(i + 1));
        box->setToolTip("在此补充输入最新历史号码");
        box->setPlaceholderText("_");
        box->setMaxLength(1);
        box->setAlignment(Qt::AlignCenter);
        box->setFixedWidth(32);
        box->setValidator(new QRegularExpressionValidator(QRegularExpression("[1-6]?"), box));
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, [this, i] { diceEditChanged(i); });
        m_typedDiceEdits[i] = box;
        entry->addWidget(box);
    }
    entry->addStretch();

    m_updateButton = makeButton(this, names::kUpdateButton, "历史号在线更新(&O)", "从官方服务器更新历史号码");
    m_importButton = makeButton(this, names::kImportButton, "读取历史号文本(&W)",
                                "从历史号码文本文件中读取历史号中最后一期之后的新的历史号码");
    m_deleteNewestButton = makeButton(this, names::kDeleteNewestButton, "删除最后历史(&D)");
    m_exportTextButton = makeButton(this, names::kExportTextButton, "历史号码导出文本文件(&O)");
    m_settingsButton = makeButton(this, "Command9", "软件设置(&T)");
    auto* buttons = new QGridLayout;
    buttons->addWidget(m_updateButton, 0, 0);
    buttons->addWidget(m_importButton, 0, 1);
    buttons->addWidget(m_deleteNewestButton, 1, 0);
    buttons->addWidget(m_exportTextButton, 1, 1);
    buttons->addWidget(m_settingsButton, 2, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gridBox, 1);
    layout->addLayout(sentence);
    layout->addLayout(entry);
    layout->addLayout(buttons);

    connect(m_updateButton, &QPushButton::clicked, this, &HistoryPanel::updateRequested);
    connect(m_importButton, &QPushButton::clicked, this, &HistoryPanel::importRequested);
    connect(m_deleteNewestButton, &QPushButton::clicked, this, &HistoryPanel::deleteNewestRequested);
    connect(m_exportTextButton, &QPushButton::clicked, this, &HistoryPanel::exportTextRequested);
    connect(m_settingsButton, &QPushButton::clicked, this, &HistoryPanel::settingsMenuRequested);
    connect(m_historyGrid, &QTableView::doubleClicked, this, &HistoryPanel::gridExportRequested);
    connect(&m_session, &HistorySession::historyChanged, this, &HistoryPanel::reloadHistoryGrid);
    // A grid showing the newest draw keeps showing it when its height changes (the window shown or
    // resized); one the player scrolled up stays where it is.
    QScrollBar* bar = m_historyGrid->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!m_reloading) m_followNewest = value == bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (m_followNewest && !m_reloading) bar->setValue(maximum);
    });
    connect(&m_session, &HistorySession::accessChanged, this, &HistoryPanel::storeWaitingDraw);
    connect(&m_session, &HistorySession::provinceChanged, this, &HistoryPanel::leaveProvince);
    reloadHistoryGrid(m_session.snapshot());
}

// The digits typed for the province left (also a draw waiting for the check) are not stored in the
// other province's history; its issue box starts as a new history's does.
void HistoryPanel::leaveProvince() {
    m_typedDrawWaiting = false;
    m_fillingDice = true;
    for (QLineEdit* box : m_typedDiceEdits) box->clear();
    m_fillingDice = false;
    m_nextIssueEdit->setText(kPresetIssue);
}

// A draw typed while the check for damage ran is stored once the check has passed.
void HistoryPanel::storeWaitingDraw() {
    if (!m_typedDrawWaiting || m_session.access() == HistoryAccess::kChecking) return;
    m_typedDrawWaiting = false;
    if (m_session.canChange()) storeTypedDraw();
}

void HistoryPanel::reloadHistoryGrid(std::shared_ptr<const Snapshot> snapshot) {
    m_historyGrid->setUpdatesEnabled(false);
    m_reloading = true;
    m_historyModel->setRunningNumbers(m_session.runningNumbers());
    m_historyModel->setSnapshot(std::move(snapshot));
    m_historyGrid->setColumnWidth(0, twipsToPixels(kIssueColumnTwips));
    m_followNewest = m_historyModel->rowCount() + 1 > kRowsWithoutScrolling;
    if (m_followNewest) m_historyGrid->scrollToBottom();
    m_reloading = false;
    m_historyGrid->setUpdatesEnabled(true);
    showNextIssue();
}

void HistoryPanel::showNextIssue() {
    if (auto next = m_session.nextIssue())
        m_nextIssueEdit->setText(QString::fromStdString(issueText(*next, m_session.runningNumbers())));
}

void HistoryPanel::setHistoryCommandsEnabled(bool on) {
    const bool can = on && m_session.isOpen();
    for (QWidget* w : std::initializer_list<QWidget*>{m_updateButton, m_importButton, m_deleteNewestButton})
        w->setEnabled(can);
    for (QLineEdit* box : m_typedDiceEdits) box->setEnabled(can);
}

void HistoryPanel::setAllCommandsEnabled(bool on) {
    setHistoryCommandsEnabled(on);
    m_exportTextButton->setEnabled(on);
}

void HistoryPanel::focusEntry() {
    if (m_typedDiceEdits[0]->isEnabled()) m_typedDiceEdits[0]->setFocus();
}

void HistoryPanel::setGridVisible(bool visible) { m_historyGrid->setVisible(visible); }

// A digit that reached a box some other way than a key (pasted, for example).
void HistoryPanel::diceEditChanged(int index) {
    if (m_fillingDice || m_typedDiceEdits[index]->text().isEmpty()) return;
    diceEntered(index);
}

// A digit in a box: on to the next box, or, in the third, the draw is stored.
void HistoryPanel::diceEntered(int index) {
    if (index < 2)
        focusDiceBox(index + 1);
    else
        storeTypedDraw();
}

// The box focused with its digit selected, so the next digit typed replaces it.
void HistoryPanel::focusDiceBox(int index) {
    m_typedDiceEdits[index]->setFocus();
    m_typedDiceEdits[index]->selectAll();
}

bool HistoryPanel::storeTypedDraw() {
    if (!m_session.isOpen()) return false;
    // Stored now, the draw would wait on the window's thread for a check of the whole file: it waits
    // for the check running in the background instead, its digits kept in the boxes.
    if (m_session.access() == HistoryAccess::kChecking) {
        if (!m_typedDrawWaiting) emit statusMessage("正在检查历史数据库是否完好，检查完毕即保存这一期…");
        m_typedDrawWaiting = true;
        return false;
    }
    DerivedDraw added;
    try {
        // The texts as the user sees them now: a history changed elsewhere must not move the issue.
        added = m_session.addTypedDraw(m_nextIssueEdit->text().toStdString(), m_typedDiceEdits[0]->text().toStdString(),
                                       m_typedDiceEdits[1]->text().toStdString(),
                                       m_typedDiceEdits[2]->text().toStdString());
    } catch (const std::exception& e) {
        const QString msg = QString::fromUtf8(e.what());
        emit statusMessage(msg);
        m_prompter.tell("输入有误", msg);
        // The refused digits stay in view; the next three digits typed replace them.
        focusDiceBox(0);
        return false;
    }
    m_fillingDice = true;
    for (QLineEdit* box : m_typedDiceEdits) box->clear();
    m_fillingDice = false;
    m_typedDiceEdits[0]->setFocus();
    emit drawTyped(added);
    emit statusMessage(
        QString("已保存第 %1 期").arg(QString::fromStdString(issueText(added.sqqh, m_session.runningNumbers()))));
    return true;
}

bool HistoryPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && watched == m_historyGrid->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) emit historyMenuRequested(mouse->globalPosition().toPoint());
    }
    const auto box = std::find(m_typedDiceEdits.begin(), m_typedDiceEdits.end(), watched);
    if (box == m_typedDiceEdits.end()) return QWidget::eventFilter(watched, event);
    const int index = static_cast<int>(box - m_typedDiceEdits.begin());
    switch (event->type()) {
        case QEvent::FocusIn:
            // A click places the cursor after the focus arrived: the digit is selected on the release.
            m_selectOnRelease = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
            (*box)->selectAll();
            break;
        case QEvent::MouseButtonRelease:
            if (std::exchange(m_selectOnRelease, false)) (*box)->selectAll();
            break;
        case QEvent::KeyPress: {
            // The digits of a draw waiting to be stored stay as they are.
            if (m_typedDrawWaiting) return true;
            // A die typed into a box replaces what it held, wherever the cursor stands.
            auto* key = static_cast<QKeyEvent*>(event);
            const QString digit = key->text();
            if (digit.size() != 1 || digit[0] < '1' || digit[0] > '6' ||
                (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
                break;
            m_fillingDice = true;
            (*box)->setText(digit);
            m_fillingDice = false;
            diceEntered(index);
            return true;
        }
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace k3
