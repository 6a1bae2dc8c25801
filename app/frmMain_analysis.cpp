// The analysis commands of the main window: search, partial search, group calculation, group sorting,
// and the controls that feed them (search positions, search type, value boxes).
#include "frmMain.h"

namespace k3 {

struct frmMain::AnalysisState {};

void frmMain::initAnalysis() { analysis_ = std::make_shared<AnalysisState>(); }

void frmMain::Command1_Click() {}
void frmMain::Command2_Click() {}
void frmMain::Command5_Click() {}
void frmMain::MSFlexGrid3_Click(int) {}
void frmMain::Option1_Click(int) {}
void frmMain::Option3_Click(int) {}
void frmMain::cmdZH_Click(int) {}
void frmMain::Check6_Click(int) {}
void frmMain::Text22_LostFocus(int) {}
void frmMain::Combo1_LostFocus() {}

}  // namespace k3
