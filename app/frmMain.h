// The main window: every control, menu and piece of state that lives between commands.
// Control names are the objectNames; an element of a control array is "Name_index".
#pragma once
#include <QMainWindow>
#include <QString>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "grid_models.h"
#include "settings/settings.h"
#include "store/history_store.h"
#include "store/snapshot.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTableView;

namespace k3 {

struct TrimResult;

// Shows the hourglass for the life of a command, whatever way the command ends.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Where the window keeps its files and settings.
struct AppContext {
    QString dataDir;       // folder of gapbook.db, the backup, the exports and "历史号码"
    QString settingsFile;  // empty: the user's settings store; else an ini file of its own (tests)
};

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit frmMain(const AppContext& ctx, QWidget* parent = nullptr);
    ~frmMain() override;

    // ---- controls (objectName = member name; arrays by their spec indices) ----
    QTableView* MSFlexGrid1 = nullptr;
    QTableView* MSFlexGrid2 = nullptr;
    QTableView* MSFlexGrid3 = nullptr;
    QTabBar* TabStrip1 = nullptr;
    std::array<QGroupBox*, 3> Frame2{};   // 1, 2
    std::array<QLineEdit*, 4> Text22{};   // 1..3
    std::array<QCheckBox*, 4> Check11{};  // 1..3
    std::array<QLineEdit*, 14> Text2{};   // 11..13
    std::array<QCheckBox*, 14> Check1{};  // 11..13
    QCheckBox* Check4 = nullptr;
    QLineEdit* Text4 = nullptr;
    std::array<QGroupBox*, 1> Frame1{};      // 0
    std::array<QRadioButton*, 2> Option1{};  // 0 fixed, 1 free
    QGroupBox* Frame7 = nullptr;
    std::array<QLineEdit*, 2> Text3{};  // 0 start, 1 end
    std::array<QLabel*, 2> Label3{};
    QLabel* Label4 = nullptr;
    QPushButton* Command1 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command2 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* Combo2 = nullptr;
    QLineEdit* Text5 = nullptr;
    std::array<QCheckBox*, 10> Check6{};  // 0..9
    std::array<QPushButton*, 3> cmdZH{};  // 0..2
    QPushButton* Command5 = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::array<QRadioButton*, 4> Option3{};  // 0..3
    QLineEdit* Text1 = nullptr;
    QLabel* Label12 = nullptr;
    std::array<QLineEdit*, 4> MaskEdBox1{};  // 1..3
    QPushButton* Command21 = nullptr;
    QPushButton* cmdRdLst = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command9 = nullptr;
    QFileDialog* CommonDialog1 = nullptr;  // open-file dialog of the text import
    QObject* WebBrowser1 = nullptr;        // owner of the running online update

    // ---- menus ----
    QMenu* mnuLsgl = nullptr;
    QAction* mnuDcls = nullptr;
    QAction* mnuErase = nullptr;
    QAction* mnuClear = nullptr;
    QAction* mnuDlzd = nullptr;
    QAction* mnuEszhzd = nullptr;
    QMenu* mnuSetup = nullptr;
    QMenu* mnuDssetup = nullptr;
    std::array<QAction*, 2> mnuDscs{};
    QAction* mnuSetDay = nullptr;
    QAction* mnuUpdateUrl = nullptr;  // "更新地址设置"
    QAction* mnuFrontPage = nullptr;
    QAction* mnuDescrb = nullptr;
    QAction* numYanshiDown = nullptr;
    QMenu* mnuCaizhong = nullptr;
    std::array<QAction*, 15> mnuK3{};

    // ---- state that lives between commands ----
    int intGsZl = 0;  // lottery index
    QString strCode;  // province code
    int intDrawsPerDay = 78;
    bool bolZyw = true;              // free positions
    int intLei = 0;                  // search type index
    QString strLetter = "A";         // current type letter
    QString strPrefix = "L";         // field-name prefix
    int intDsIni = 1;                // segment base
    int intZhW = 2;                  // partial-search width
    int intSerchDay = 6;             // update look-back, years
    bool bolManual = true;           // search values come from Text22
    std::array<int, 4> intValues{};  // search values of positions 1..3
    int intScanBound = 0;            // highest Check6 index the selection looks at
    int intGroupSize = 0;            // group size of the last group calculation
    QString strDescr;                // description of the last search
    QTableView* wheelTarget = nullptr;
    bool bolEntryDone = false;  // a typed draw was just appended; box changes are ignored

    HistoryStore* store() const { return store_.get(); }
    const std::shared_ptr<const Snapshot>& snapshot() const { return snap_; }
    Settings& settings() { return *settings_; }
    const AppContext& context() const { return ctx_; }
    HistoryModel* historyModel() const { return model1_; }
    GridModel* resultModel() const { return model2_; }   // grid 2
    GridModel* summaryModel() const { return model3_; }  // grid 3

    // Questions to the user and programs started for the user. They show dialogs and open the default
    // application; tests replace them to answer without a dialog and to record what would be opened.
    std::function<bool(const QString& title, const QString& text)> askOkCancel;
    std::function<std::optional<QString>(const QString& title, const QString& prompt, const QString& preset)> askText;
    std::function<QString(const QString& dir, const QString& filter)> askOpenFile;
    std::function<void(const QString& title, const QString& text)> tell;
    std::function<bool(const QUrl& url)> openUrl;

    // Says what happened (or why nothing did) in the status bar.
    void status(const QString& text);

    // ---- shared procedures ----
    // Refills MSFlexGrid1 from the history read again, or from `fresh` when the caller has it already.
    void AddHaoma(std::shared_ptr<const Snapshot> fresh = nullptr);
    void QihaoXianshi();  // Text4 := last issue, Text1 := next issue
    void YSJS();          // chosen historical draw -> search values, Text2, range end
    // Search values from the active tab (YSJS on the second tab, Text22 on the first).
    void refreshFromActiveTab(bool readTyped = true);
    // After any change of the history: redraw, issues, the whole range, values of the active tab.
    void historyChanged();
    // Lays out Check6 for a search type (shown boxes and captions).
    void layoutValueBoxes(int type);
    // Disables the commands that change the history (while an update runs).
    void setHistoryCommandsEnabled(bool on);

public slots:
    // start-up and history display
    void TabStrip1_Click(int index);
    void Check4_Click();
    void Text4_LostFocus();
    void MSFlexGrid1_MouseUp(Qt::MouseButton button, const QPoint& globalPos);
    // settings and lottery choice, help
    void mnuK3_Click(int index);
    void mnuDscs_Click(int index);
    void mnuSetDay_Click();
    void Command9_Click();
    void mnuFrontPage_Click();
    void mnuDescrb_Click();
    void numYanshiDown_Click();
    // manual entry
    void MaskEdBox1_Change(int index);
    void MaskEdBox1_KeyPress(int index);

    // analyses (frmMain_analysis.cpp)
    void Command1_Click();
    void Command2_Click();
    void Command5_Click();
    void MSFlexGrid3_Click(int column);
    void Option1_Click(int index);
    void Option3_Click(int index);
    void cmdZH_Click(int index);
    void Check6_Click(int index);
    void Text22_LostFocus(int index);
    void Combo1_LostFocus();

    // history in and out (frmMain_history.cpp)
    void cmdRdLst_Click();
    void Command21_Click();
    void Command3_Click();
    void mnuErase_Click();
    void mnuDlzd_Click();
    void mnuEszhzd_Click();
    void mnuClear_Click();
    void mnuUpdateUrl_Click();
    void Command4_Click();
    void mnuDcls_Click();
    void MSFlexGrid1_DblClick();
    void MSFlexGrid2_DblClick();
    void MSFlexGrid3_DblClick();

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override;

private:
    void buildControls();
    void buildMenus();
    void startUp();
    void openDatabase();
    void openHelpDocument(const QString& file);
    bool appendTypedDraw();
    void trimWithAnswer(const QString& prompt, const QString& preset,
                        const std::function<TrimResult(int64_t, const std::string&)>& trim);

    AppContext ctx_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<HistoryStore> store_;
    std::shared_ptr<const Snapshot> snap_ = std::make_shared<Snapshot>();  // never null
    HistoryModel* model1_ = nullptr;
    GridModel* model2_ = nullptr;
    GridModel* model3_ = nullptr;

    // Owned by the analysis and history command files; declared here so those files stay separate.
    struct AnalysisState;
    struct HistoryState;
    std::shared_ptr<AnalysisState> analysis_;  // shared_ptr: deleter made where the type is complete
    std::shared_ptr<HistoryState> historyState_;
    void initAnalysis();
    void initHistory();
};

}  // namespace k3
