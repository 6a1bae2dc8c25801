// The commands that bring draws in and take them out: text import, online update, trimming and
// compaction, text and workbook export.
#include "frmMain.h"

namespace k3 {

struct frmMain::HistoryState {};

void frmMain::initHistory() { historyState_ = std::make_shared<HistoryState>(); }

void frmMain::cmdRdLst_Click() {}
void frmMain::Command21_Click() {}
void frmMain::Command3_Click() {}
void frmMain::mnuErase_Click() {}
void frmMain::mnuDlzd_Click() {}
void frmMain::mnuEszhzd_Click() {}
void frmMain::mnuClear_Click() {}
void frmMain::mnuUpdateUrl_Click() {}
void frmMain::Command4_Click() {}
void frmMain::mnuDcls_Click() {}
void frmMain::MSFlexGrid1_DblClick() {}
void frmMain::MSFlexGrid2_DblClick() {}
void frmMain::MSFlexGrid3_DblClick() {}

}  // namespace k3
