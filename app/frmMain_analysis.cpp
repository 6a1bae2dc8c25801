// The analysis commands of the main window: search, partial search, group calculation, group sorting,
// and the controls that feed them (search positions, search type, value boxes).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>

#include "frmMain.h"
#include "groups/group_calc.h"
#include "groups/selection.h"
#include "search/result_memory.h"
#include "search/search.h"
#include "store/issue.h"

namespace k3 {

struct frmMain::AnalysisState {};

void frmMain::initAnalysis() {
    analysis_ = std::make_shared<AnalysisState>();
    keepResultMemory();
}

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& t) { return t.toStdString(); }

// Puts a grid into a view, hidden from repainting while it is refilled, with the grid's column widths.
void showGrid(QTableView* view, GridModel* model, Grid g) {
    view->setUpdatesEnabled(false);
    std::vector<int> widths = g.widths;
    model->setGrid(std::move(g));
    for (size_t c = 0; c < widths.size(); ++c) view->setColumnWidth(static_cast<int>(c), widths[c] / 15);
    view->setUpdatesEnabled(true);
}

// Shows a search's matches in grid 2, its summary in grid 3 and its message in the status bar.
void showSearchOutput(frmMain& w, SearchOutput&& out) {
    showGrid(w.MSFlexGrid2, w.resultModel(), std::move(out.matches));
    showGrid(w.MSFlexGrid3, w.summaryModel(), std::move(out.summary));
    w.status(q(out.note.text));
}

// A search that could not run: empty lists and the reason.
void showSearchRefused(frmMain& w, const AnalysisError& e) {
    showGrid(w.MSFlexGrid2, w.resultModel(), resultGridEmpty());
    showGrid(w.MSFlexGrid3, w.summaryModel(), summaryGridEmpty());
    w.status(QString::fromUtf8(e.what()));
}

}  // namespace

void frmMain::Command1_Click() {
    BusyCursor busy;
    try {
        // A typed value still being edited counts, as when the box loses the focus to the button.
        for (int i = 1; i <= 3; ++i)
            if (Text22[i]->hasFocus()) Text22_LostFocus(i);
        SearchInput in;
        in.type = intLei;
        in.free = !Option1[0]->isChecked();
        for (int i = 1; i <= 3; ++i) {
            QCheckBox* box = bolManual ? Check11[i] : Check1[10 + i];
            in.selected[i - 1] = box->isChecked();
            in.values[i - 1] = intValues[i];
            in.texts[i - 1] = s(bolManual ? Text22[i]->text() : Text2[10 + i]->text());
        }
        in.from = s(Text3[0]->text());
        in.to = s(Text3[1]->text());
        SearchOutput out = runSearch(*snap_, in);
        strDescr = q(out.description);
        showSearchOutput(*this, std::move(out));
    } catch (const AnalysisError& e) {
        showSearchRefused(*this, e);
    } catch (const std::exception& e) {
        status(QString("检索失败：%1").arg(QString::fromUtf8(e.what())));
    }
}

void frmMain::Command2_Click() {
    BusyCursor busy;
    try {
        if (Combo1->hasFocus() || (Combo1->lineEdit() && Combo1->lineEdit()->hasFocus())) Combo1_LostFocus();
        for (int i = 1; i <= 3; ++i)
            if (Text22[i]->hasFocus()) Text22_LostFocus(i);
        PartialInput in;
        in.type = intLei;
        in.free = !Option1[0]->isChecked();
        bolZyw = in.free;
        for (int i = 1; i <= 3; ++i) {
            in.values[i - 1] = intValues[i];
            in.texts[i - 1] = s(bolManual ? Text22[i]->text() : Text2[10 + i]->text());
        }
        in.width = intZhW;
        in.widthText = s(Combo1->currentText());
        in.from = s(Text3[0]->text());
        in.to = s(Text3[1]->text());
        showSearchOutput(*this, runPartialSearch(*snap_, in));
    } catch (const AnalysisError& e) {
        showSearchRefused(*this, e);
    } catch (const std::exception& e) {
        status(QString("分部检索失败：%1").arg(QString::fromUtf8(e.what())));
    }
}

void frmMain::Command5_Click() {
    BusyCursor busy;
    try {
        BoxTicks ticks{};
        for (int i = 0; i < kValueBoxes; ++i) ticks[static_cast<size_t>(i)] = Check6[i]->isChecked();
        if (auto k = parseGroupSize(s(Combo2->currentText()))) intGroupSize = *k;
        GroupInput in;
        in.type = intLei;
        in.selection = selectionValues(ticks, intScanBound);
        in.groupSize = intGroupSize;
        in.from = s(Text3[0]->text());
        in.to = s(Text3[1]->text());
        if (!store_) {
            showGrid(MSFlexGrid3, summaryModel(), summaryGridEmpty());
            status("历史数据库没有打开，无法分组计算");
            return;
        }
        GroupCalculation calc = runGroupCalculation(*store_, *snap_, in);
        showGrid(MSFlexGrid3, summaryModel(), std::move(calc.grid));
        status(q(calc.outcome.note.text));
    } catch (const std::exception& e) {
        showGrid(MSFlexGrid3, summaryModel(), summaryGridEmpty());
        status(QString("分组计算失败：%1").arg(QString::fromUtf8(e.what())));
    }
}

void frmMain::MSFlexGrid3_Click(int column) {
    try {
        std::vector<YLRow> rows;
        if (store_) rows = store_->readYL("");
        showGrid(MSFlexGrid3, summaryModel(), groupResultGrid(std::move(rows), column));
    } catch (const std::exception& e) {
        showGrid(MSFlexGrid3, summaryModel(), summaryGridEmpty());
        status(QString("读取分组结果失败：%1").arg(QString::fromUtf8(e.what())));
    }
}

void frmMain::Option1_Click(int index) {
    bolZyw = index == 1;
    settings().setBolZyw(bolZyw);
    refreshFromActiveTab();
    // Either choice starts the range at the beginning of the history again.
    if (snap_ && !snap_->empty()) Text3[0]->setText(QString::number(snap_->rows.front().sqqh));
}

void frmMain::Option3_Click(int index) {
    if (index < kNumber || index > kSegment) return;
    intLei = index;
    if (!Option3[index]->isChecked()) Option3[index]->setChecked(true);
    cmdZH_Click(kClearAll);
    strLetter = QString(kTypeLetters[static_cast<size_t>(index)]);
    refreshFromActiveTab();
    settings().setIntLei(index);
    layoutValueBoxes(index);
}

void frmMain::cmdZH_Click(int index) {
    BoxTicks ticks{};
    for (int i = 0; i < kValueBoxes; ++i) ticks[static_cast<size_t>(i)] = Check6[i]->isChecked();
    applySelectionButton(ticks, intLei, index);
    for (int i = 0; i < kValueBoxes; ++i) Check6[i]->setChecked(ticks[static_cast<size_t>(i)]);
    Check6_Click(-1);
}

// Refreshes the count of ticked boxes (the clicked box has already changed its tick).
void frmMain::Check6_Click(int) {
    if (auto bound = scanBound(intLei)) intScanBound = *bound;
    BoxTicks ticks{};
    for (int i = 0; i < kValueBoxes; ++i) ticks[static_cast<size_t>(i)] = Check6[i]->isChecked();
    Text5->setText(QString::number(selectionCount(ticks, intScanBound)));
}

void frmMain::Text22_LostFocus(int index) {
    if (index < 1 || index > 3) return;
    // An empty or unreadable text (a lone "-") leaves the value as it was.
    if (auto v = parseWhole(s(Text22[index]->text()), -32768, 32767)) intValues[index] = static_cast<int>(*v);
}

void frmMain::Combo1_LostFocus() {
    const QString text = Combo1->currentText();
    if (auto v = parseWhole(s(text), -32768, 32767)) {
        intZhW = static_cast<int>(*v);
        settings().setIntZhWSetup(intZhW);
        return;
    }
    // Not a whole number: the width stays, and the box shows it again.
    Combo1->setCurrentText(QString::number(intZhW));
    status(QString("分部位数「%1」不是整数，仍用 %2").arg(text).arg(intZhW));
}

}  // namespace k3
