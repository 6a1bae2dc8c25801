// The fixed objectNames of the window's controls, for the window that sets them and the tests and
// tools that find them.
#pragma once

namespace k3::names {

// The main window, its menus and their entries.
inline constexpr const char* kMainWindow = "frmMain";
inline constexpr const char* kOpenFileDialog = "CommonDialog1";
inline constexpr const char* kHistoryMenu = "mnuLsgl";
inline constexpr const char* kExportHistoryAction = "mnuDcls";
inline constexpr const char* kDeleteNewestAction = "mnuErase";
inline constexpr const char* kClearHistoryAction = "mnuClear";
inline constexpr const char* kDeleteToIssueAction = "mnuDlzd";
inline constexpr const char* kDeleteLastAction = "mnuEszhzd";
inline constexpr const char* kAnalysisMenu = "mnuAnalysis";
inline constexpr const char* kOverviewAction = "mnuOverview";
inline constexpr const char* kSettingsMenu = "mnuSetup";
inline constexpr const char* kSegmentBaseMenu = "mnuDssetup";
inline constexpr const char* kSegmentBaseActionPrefix = "mnuDscs_";  // and 0 or 1
inline constexpr const char* kLookBackAction = "mnuSetDay";
inline constexpr const char* kUpdateAddressAction = "mnuUpdateUrl";
inline constexpr const char* kHomePageAction = "mnuFrontPage";
inline constexpr const char* kManualAction = "mnuDescrb";
inline constexpr const char* kWalkthroughAction = "numYanshiDown";
inline constexpr const char* kLotteryMenu = "mnuCaizhong";
inline constexpr const char* kLotteryActionPrefix = "mnuK3_";  // and the lottery's index
// In the status bar: the province and its history file.
inline constexpr const char* kProvinceLabel = "lblProvince";

// The history panel.
inline constexpr const char* kHistoryPanel = "HistoryPanel";
inline constexpr const char* kHistoryGrid = "MSFlexGrid1";
inline constexpr const char* kUpdateButton = "Command21";
inline constexpr const char* kImportButton = "cmdRdLst";
inline constexpr const char* kDeleteNewestButton = "Command3";
inline constexpr const char* kExportTextButton = "Command4";
inline constexpr const char* kEntryLabel = "Label12";
inline constexpr const char* kNextIssueEdit = "Text1";
inline constexpr const char* kEntryTailLabel = "lblEntryTail";
inline constexpr const char* kTypedDiceEditPrefix = "MaskEdBox1_";  // and the position 1..3

// The group panel.
inline constexpr const char* kGroupPanel = "Frame6";
inline constexpr const char* kGroupSizeLabel = "Label5";
inline constexpr const char* kGroupSizeCombo = "Combo2";
inline constexpr const char* kTickedCountEdit = "Text5";
inline constexpr const char* kValueCheckPrefix = "Check6_";      // and the box 0..9
inline constexpr const char* kSelectionButtonPrefix = "cmdZH_";  // and 0..2
inline constexpr const char* kCalculateButton = "Command5";
inline constexpr const char* kSearchTypeFrame = "Frame3";
inline constexpr const char* kSearchTypeOptionPrefix = "Option3_";  // and the type 0..3

// The result panel and the search panel.
inline constexpr const char* kResultPanel = "ResultPanel";
inline constexpr const char* kSearchChart = "chartSearch";
inline constexpr const char* kSearchPanel = "SearchPanel";

// The search panel's controls.
inline constexpr const char* kValueSourceTabs = "TabStrip1";
inline constexpr const char* kTypedValuesFrame = "Frame2_1";
inline constexpr const char* kChosenValuesFrame = "Frame2_2";
inline constexpr const char* kTypedPositionCheckPrefix = "Check11_";  // and the position 1..3
inline constexpr const char* kTypedValueEditPrefix = "Text22_";       // and the position 1..3
inline constexpr const char* kChosenPositionCheckPrefix = "Check1_";  // and 11..13
inline constexpr const char* kChosenValueEditPrefix = "Text2_";       // and 11..13
inline constexpr const char* kOnlyBeforeChosenCheck = "Check4";
inline constexpr const char* kChosenIssueEdit = "Text4";
inline constexpr const char* kPositionModeFrame = "Frame1_0";
inline constexpr const char* kFreePositionsOption = "Option1_1";
inline constexpr const char* kFixedPositionsOption = "Option1_0";
inline constexpr const char* kRangeFrame = "Frame7";
inline constexpr const char* kRangeStartLabel = "Label3_0";
inline constexpr const char* kRangeStartEdit = "Text3_0";
inline constexpr const char* kRangeDashLabel = "Label4";
inline constexpr const char* kRangeEndEdit = "Text3_1";
inline constexpr const char* kRangeEndLabel = "Label3_1";
inline constexpr const char* kSearchButton = "Command1";
inline constexpr const char* kPartialFrame = "Frame5";
inline constexpr const char* kPartialWidthLabel = "Label1";
inline constexpr const char* kPartialWidthCombo = "Combo1";
inline constexpr const char* kPartialSearchButton = "Command2";

// The result grids.
inline constexpr const char* kMatchesGrid = "MSFlexGrid2";
inline constexpr const char* kSummaryGrid = "MSFlexGrid3";

// The history commands' boxes.
inline constexpr const char* kTaskProgress = "TaskProgress";
inline constexpr const char* kSkippedDetailsButton = "cmdSkippedDetails";
inline constexpr const char* kSkippedLinesView = "SkippedLinesView";
inline constexpr const char* kSkippedLinesText = "SkippedLinesText";
inline constexpr const char* kImportPreview = "ImportPreview";
inline constexpr const char* kImportPreviewShape = "ImportPreviewShape";
inline constexpr const char* kImportPreviewCounts = "ImportPreviewCounts";
inline constexpr const char* kImportPreviewMisfit = "ImportPreviewMisfit";
inline constexpr const char* kImportPreviewLines = "ImportPreviewLines";
inline constexpr const char* kImportPreviewQuestion = "ImportPreviewQuestion";
inline constexpr const char* kUpdateAddressDialog = "UpdateAddressDialog";
inline constexpr const char* kUpdateAddressEdit = "UpdateAddressEdit";
inline constexpr const char* kUpdateTryReadButton = "UpdateTryReadButton";
inline constexpr const char* kUpdateTryReadResult = "UpdateTryReadResult";

}  // namespace k3::names
