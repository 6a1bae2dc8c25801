#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "history/manual_entry.h"
#include "store/derive.h"
#include "store/issue.h"
#include "store/province.h"

namespace k3 {

namespace {

// Column widths are given in twips; 15 twips make one pixel at 96 dpi.
int twips(int t) { return t / 15; }

QString q(const std::string& s) { return QString::fromStdString(s); }

QTableView* makeGrid(QWidget* parent, const char* name, const QString& tip) {
    auto* g = new QTableView(parent);
    g->setObjectName(name);
    g->setToolTip(tip);
    g->setSelectionBehavior(QAbstractItemView::SelectItems);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    g->verticalHeader()->setVisible(false);
    g->verticalHeader()->setDefaultSectionSize(22);
    g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    g->horizontalHeader()->setHighlightSections(false);
    g->setAlternatingRowColors(true);
    return g;
}

}  // namespace

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

frmMain::frmMain(const AppContext& ctx, QWidget* parent) : QMainWindow(parent), ctx_(ctx) {
    setObjectName("frmMain");
    setWindowTitle("快3遗漏分析");
    settings_ =
        ctx_.settingsFile.isEmpty() ? std::make_unique<Settings>() : std::make_unique<Settings>(ctx_.settingsFile);

    askOkCancel = [this](const QString& title, const QString& text) {
        return QMessageBox::question(this, title, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    askText = [this](const QString& title, const QString& prompt, const QString& preset) -> std::optional<QString> {
        bool ok = false;
        QString answer = QInputDialog::getText(this, title, prompt, QLineEdit::Normal, preset, &ok);
        if (!ok) return std::nullopt;
        return answer;
    };
    askOpenFile = [this](const QString& dir, const QString& filter) {
        CommonDialog1->setDirectory(dir);
        CommonDialog1->setNameFilter(filter);
        return CommonDialog1->exec() == QDialog::Accepted && !CommonDialog1->selectedFiles().isEmpty()
                   ? CommonDialog1->selectedFiles().first()
                   : QString();
    };
    tell = [this](const QString& title, const QString& text) { QMessageBox::information(this, title, text); };
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    buildMenus();
    buildControls();
    initAnalysis();
    initHistory();
    startUp();
}

frmMain::~frmMain() = default;

void frmMain::status(const QString& text) { statusBar()->showMessage(text); }

// ---------------------------------------------------------------- construction

void frmMain::buildMenus() {
    mnuLsgl = menuBar()->addMenu("历史管理");
    mnuLsgl->setObjectName("mnuLsgl");
    auto add = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    mnuDcls = add(mnuLsgl, "mnuDcls", "导出历史号码(&O)");
    mnuErase = add(mnuLsgl, "mnuErase", "删除最后历史(&E)");
    mnuClear = add(mnuLsgl, "mnuClear", "清空历史号码(&C)");
    mnuDlzd = add(mnuLsgl, "mnuDlzd", "删除到选定期(&D)");
    mnuEszhzd = add(mnuLsgl, "mnuEszhzd", "删除最后指定数量期历史(&E)");

    mnuSetup = menuBar()->addMenu("设置");
    mnuSetup->setObjectName("mnuSetup");
    mnuDssetup = mnuSetup->addMenu("段数参数设置(&A)");
    mnuDssetup->setObjectName("mnuDssetup");
    mnuDscs[0] = add(mnuDssetup, "mnuDscs_0", "段数参数0~2");
    mnuDscs[1] = add(mnuDssetup, "mnuDscs_1", "段数参数1~3");
    mnuSetup->addSeparator();
    mnuSetDay = add(mnuSetup, "mnuSetDay", "历史号码更新检索天(&Y)");
    mnuUpdateUrl = add(mnuSetup, "mnuUpdateUrl", "更新地址设置");
    mnuFrontPage = add(mnuSetup, "mnuFrontPage", "软件服务主页(&P)");
    mnuDescrb = add(mnuSetup, "mnuDescrb", "软件介绍说明(&R)");
    numYanshiDown = add(mnuSetup, "numYanshiDown", "软件演示说明录像下载(&D)");
    mnuSetup->addSeparator();

    mnuCaizhong = menuBar()->addMenu("彩种选择");
    mnuCaizhong->setObjectName("mnuCaizhong");
    for (int i = 0; i < kProvinceCount; ++i) {
        mnuK3[i] = add(mnuCaizhong, ("mnuK3_" + std::to_string(i)).c_str(), QString::fromUtf8(provinces()[i].caption));
        mnuK3[i]->setCheckable(true);
        connect(mnuK3[i], &QAction::triggered, this, [this, i] { mnuK3_Click(i); });
    }
    for (int i = 0; i < 2; ++i) {
        mnuDscs[i]->setCheckable(true);
        connect(mnuDscs[i], &QAction::triggered, this, [this, i] { mnuDscs_Click(i); });
    }
    connect(mnuDcls, &QAction::triggered, this, &frmMain::mnuDcls_Click);
    connect(mnuErase, &QAction::triggered, this, &frmMain::mnuErase_Click);
    connect(mnuClear, &QAction::triggered, this, &frmMain::mnuClear_Click);
    connect(mnuDlzd, &QAction::triggered, this, &frmMain::mnuDlzd_Click);
    connect(mnuEszhzd, &QAction::triggered, this, &frmMain::mnuEszhzd_Click);
    connect(mnuSetDay, &QAction::triggered, this, &frmMain::mnuSetDay_Click);
    connect(mnuUpdateUrl, &QAction::triggered, this, &frmMain::mnuUpdateUrl_Click);
    connect(mnuFrontPage, &QAction::triggered, this, &frmMain::mnuFrontPage_Click);
    connect(mnuDescrb, &QAction::triggered, this, &frmMain::mnuDescrb_Click);
    connect(numYanshiDown, &QAction::triggered, this, &frmMain::numYanshiDown_Click);
}

void frmMain::buildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    setStatusBar(new QStatusBar(this));

    auto edit = [](QWidget* parent, const QString& name, const QString& text) {
        auto* e = new QLineEdit(text, parent);
        e->setObjectName(name);
        return e;
    };
    auto check = [](QWidget* parent, const QString& name, const QString& caption) {
        auto* c = new QCheckBox(caption, parent);
        c->setObjectName(name);
        return c;
    };
    auto button = [](QWidget* parent, const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(name);
        return b;
    };
    auto group = [](QWidget* parent, const char* name, const QString& title) {
        auto* g = new QGroupBox(title, parent);
        g->setObjectName(name);
        return g;
    };
    auto label = [](QWidget* parent, const char* name, const QString& caption) {
        auto* l = new QLabel(caption, parent);
        l->setObjectName(name);
        return l;
    };

    const QString exportTip = "鼠标双击列表可以将列表导出到EXCEL";
    MSFlexGrid1 = makeGrid(central, "MSFlexGrid1", exportTip);
    MSFlexGrid2 = makeGrid(central, "MSFlexGrid2", exportTip);
    MSFlexGrid3 = makeGrid(central, "MSFlexGrid3", QString());
    model1_ = new HistoryModel(this);
    model2_ = new GridModel(this);
    model3_ = new GridModel(this);
    MSFlexGrid1->setModel(model1_);
    MSFlexGrid2->setModel(model2_);
    MSFlexGrid3->setModel(model3_);
    for (QTableView* g : {MSFlexGrid1, MSFlexGrid2, MSFlexGrid3}) {
        g->installEventFilter(this);
        g->viewport()->installEventFilter(this);
    }

    // ---- left: history grid, manual entry, history commands
    auto* left = new QVBoxLayout;
    left->addWidget(MSFlexGrid1, 1);
    Label12 = label(central, "Label12", "在下面输入    2007001 期历史号码:");
    left->addWidget(Label12);
    auto* entry = new QHBoxLayout;
    Text1 = edit(central, "Text1", "2007001");
    Text1->setMaximumWidth(110);
    entry->addWidget(Text1);
    for (int i = 1; i <= 3; ++i) {
        auto* box = edit(central, QString("MaskEdBox1_%1").arg(i), QString());
        box->setToolTip("在此补充输入最新历史号码");
        box->setPlaceholderText("_");
        box->setMaxLength(1);
        box->setAlignment(Qt::AlignCenter);
        box->setFixedWidth(32);
        box->setValidator(new QRegularExpressionValidator(QRegularExpression("[1-6]?"), box));
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, [this, i] { MaskEdBox1_Change(i); });
        MaskEdBox1[i] = box;
        entry->addWidget(box);
    }
    entry->addStretch();
    left->addLayout(entry);
    Command21 = button(central, "Command21", "历史号在线更新(&O)");
    Command21->setToolTip("从官方服务器更新历史号码");
    cmdRdLst = button(central, "cmdRdLst", "读取历史号文本(&W)");
    cmdRdLst->setToolTip("从历史号码文本文件中读取历史号中最后一期之后的新的历史号码");
    Command3 = button(central, "Command3", "删除最后历史(&D)");
    Command4 = button(central, "Command4", "历史号码导出文本文件(&O)");
    Command9 = button(central, "Command9", "软件设置(&T)");
    auto* cmds = new QGridLayout;
    cmds->addWidget(Command21, 0, 0);
    cmds->addWidget(cmdRdLst, 0, 1);
    cmds->addWidget(Command3, 1, 0);
    cmds->addWidget(Command4, 1, 1);
    cmds->addWidget(Command9, 2, 0, 1, 2);
    left->addLayout(cmds);

    // ---- right top: where the values come from, positions, range, commands
    TabStrip1 = new QTabBar(central);
    TabStrip1->setObjectName("TabStrip1");
    TabStrip1->addTab("手动输入号");
    TabStrip1->addTab("历史指定期");
    TabStrip1->setExpanding(false);

    Frame2[1] = group(central, "Frame2_1", QString());
    auto* f21 = new QGridLayout(Frame2[1]);
    Frame2[2] = group(central, "Frame2_2", QString());
    auto* f22 = new QGridLayout(Frame2[2]);
    for (int i = 1; i <= 3; ++i) {
        const QString pos = QString("第%1位").arg(i);
        Check11[i] = check(Frame2[1], QString("Check11_%1").arg(i), pos);
        Text22[i] = edit(Frame2[1], QString("Text22_%1").arg(i), QString());
        Text22[i]->setValidator(new QRegularExpressionValidator(QRegularExpression("[-0-9]*"), Text22[i]));
        Text22[i]->setMaximumWidth(60);
        Text22[i]->installEventFilter(this);
        f21->addWidget(Check11[i], 0, i - 1);
        f21->addWidget(Text22[i], 1, i - 1);
        Check1[10 + i] = check(Frame2[2], QString("Check1_%1").arg(10 + i), pos);
        Text2[10 + i] = edit(Frame2[2], QString("Text2_%1").arg(10 + i), QString());
        Text2[10 + i]->setReadOnly(true);
        Text2[10 + i]->setMaximumWidth(60);
        f22->addWidget(Check1[10 + i], 0, i - 1);
        f22->addWidget(Text2[10 + i], 1, i - 1);
    }
    Check4 = check(central, "Check4", "仅检索该期前");
    Text4 = edit(central, "Text4", "2013001");
    Text4->setMaximumWidth(110);
    Text4->installEventFilter(this);

    Frame1[0] = group(central, "Frame1_0", "检索位选择");
    auto* f1 = new QHBoxLayout(Frame1[0]);
    Option1[1] = new QRadioButton("自由位", Frame1[0]);
    Option1[1]->setObjectName("Option1_1");
    Option1[0] = new QRadioButton("固定位", Frame1[0]);
    Option1[0]->setObjectName("Option1_0");
    f1->addWidget(Option1[1]);
    f1->addWidget(Option1[0]);

    Frame7 = group(central, "Frame7", "检索起止期数");
    auto* f7 = new QHBoxLayout(Frame7);
    Label3[0] = label(Frame7, "Label3_0", "起");
    Text3[0] = edit(Frame7, "Text3_0", "2013001");
    Label4 = label(Frame7, "Label4", "～");
    Text3[1] = edit(Frame7, "Text3_1", "2013001");
    Label3[1] = label(Frame7, "Label3_1", "止");
    for (QWidget* wdg : std::initializer_list<QWidget*>{Label3[0], Text3[0], Label4, Text3[1], Label3[1]})
        f7->addWidget(wdg);

    Command1 = button(central, "Command1", "检索(&S)");

    Frame5 = group(central, "Frame5", "多位检索");
    auto* f5 = new QHBoxLayout(Frame5);
    Label1 = label(Frame5, "Label1", "分部位数");
    Combo1 = new QComboBox(Frame5);
    Combo1->setObjectName("Combo1");
    Combo1->setEditable(true);
    Combo1->addItems({"1", "2", "3", "4", "5", "6"});
    Combo1->installEventFilter(this);
    if (Combo1->lineEdit()) Combo1->lineEdit()->installEventFilter(this);
    Command2 = button(Frame5, "Command2", "分部检索(&G)");
    f5->addWidget(Label1);
    f5->addWidget(Combo1);
    f5->addWidget(Command2);

    Frame6 = group(central, "Frame6", "组合检索");
    auto* f6 = new QGridLayout(Frame6);
    Label5 = label(Frame6, "Label5", "组合位数");
    Combo2 = new QComboBox(Frame6);
    Combo2->setObjectName("Combo2");
    Combo2->setEditable(true);
    Combo2->addItems({"1", "2", "3", "4", "5", "6"});
    Combo2->setCurrentText("2");
    Text5 = edit(Frame6, "Text5", "0");
    Text5->setReadOnly(true);
    Text5->setMaximumWidth(40);
    auto* boxes = new QHBoxLayout;
    for (int i = 0; i < 10; ++i) {
        Check6[i] = check(Frame6, QString("Check6_%1").arg(i), QString::number(i));
        connect(Check6[i], &QCheckBox::clicked, this, [this, i] { Check6_Click(i); });
        boxes->addWidget(Check6[i]);
    }
    boxes->addStretch();
    const char* zh[] = {"全选", "清空", "反选"};
    auto* zhRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        cmdZH[i] = button(Frame6, ("cmdZH_" + std::to_string(i)).c_str(), zh[i]);
        connect(cmdZH[i], &QPushButton::clicked, this, [this, i] { cmdZH_Click(i); });
        zhRow->addWidget(cmdZH[i]);
    }
    Command5 = button(Frame6, "Command5", "分组计算(&P)");
    zhRow->addWidget(Command5);
    Frame3 = group(Frame6, "Frame3", "搜索类型选择");
    auto* f3 = new QHBoxLayout(Frame3);
    const char* types[] = {"号码", "大小", "单双", "段数"};
    for (int i = 0; i < 4; ++i) {
        Option3[i] = new QRadioButton(types[i], Frame3);
        Option3[i]->setObjectName(QString("Option3_%1").arg(i));
        connect(Option3[i], &QRadioButton::clicked, this, [this, i] { Option3_Click(i); });
        f3->addWidget(Option3[i]);
    }
    Combo2->setMaximumWidth(70);
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(Label5);
    sizeRow->addWidget(Combo2);
    sizeRow->addSpacing(16);
    sizeRow->addWidget(new QLabel("已选", Frame6));
    sizeRow->addWidget(Text5);
    sizeRow->addStretch();
    f6->addLayout(sizeRow, 0, 0);
    f6->addWidget(Frame3, 0, 1, 2, 1);
    f6->addLayout(boxes, 1, 0);
    f6->addLayout(zhRow, 2, 0, 1, 2);

    auto* top = new QGridLayout;
    auto* values = new QVBoxLayout;
    values->addWidget(TabStrip1);
    values->addWidget(Frame2[1]);
    values->addWidget(Frame2[2]);
    auto* chosen = new QHBoxLayout;
    chosen->addWidget(Text4);
    chosen->addWidget(Check4);
    chosen->addStretch();
    values->addLayout(chosen);
    top->addLayout(values, 0, 0, 2, 1);
    top->addWidget(Frame1[0], 0, 1);
    top->addWidget(Frame7, 0, 2);
    top->addWidget(Command1, 1, 1);
    top->addWidget(Frame5, 1, 2);
    top->addWidget(Frame6, 2, 0, 1, 3);

    auto* results = new QSplitter(Qt::Vertical, central);
    results->addWidget(MSFlexGrid2);
    results->addWidget(MSFlexGrid3);
    results->setStretchFactor(0, 3);
    results->setStretchFactor(1, 2);

    auto* right = new QVBoxLayout;
    right->addLayout(top);
    right->addWidget(results, 1);

    auto* main = new QHBoxLayout(central);
    main->addLayout(left, 0);
    main->addLayout(right, 1);
    MSFlexGrid1->setMinimumWidth(twips(1480 + 3 * 600) + 40);
    MSFlexGrid1->horizontalHeader()->setStretchLastSection(true);
    MSFlexGrid3->horizontalHeader()->setStretchLastSection(true);  // room for a ratio of 15 digits

    CommonDialog1 = new QFileDialog(this);
    CommonDialog1->setObjectName("CommonDialog1");
    CommonDialog1->setFileMode(QFileDialog::ExistingFile);
    WebBrowser1 = new QObject(this);
    WebBrowser1->setObjectName("WebBrowser1");

    connect(TabStrip1, &QTabBar::currentChanged, this, &frmMain::TabStrip1_Click);
    connect(Check4, &QCheckBox::clicked, this, &frmMain::Check4_Click);
    connect(Option1[0], &QRadioButton::clicked, this, [this] { Option1_Click(0); });
    connect(Option1[1], &QRadioButton::clicked, this, [this] { Option1_Click(1); });
    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMain::Command5_Click);
    connect(Command21, &QPushButton::clicked, this, &frmMain::Command21_Click);
    connect(cmdRdLst, &QPushButton::clicked, this, &frmMain::cmdRdLst_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmMain::Command4_Click);
    connect(Command9, &QPushButton::clicked, this, &frmMain::Command9_Click);
    connect(MSFlexGrid1, &QTableView::doubleClicked, this, &frmMain::MSFlexGrid1_DblClick);
    connect(MSFlexGrid2, &QTableView::doubleClicked, this, &frmMain::MSFlexGrid2_DblClick);
    connect(MSFlexGrid3, &QTableView::doubleClicked, this, &frmMain::MSFlexGrid3_DblClick);
    connect(MSFlexGrid3, &QTableView::clicked, this, [this](const QModelIndex& i) { MSFlexGrid3_Click(i.column()); });
    connect(MSFlexGrid3->horizontalHeader(), &QHeaderView::sectionClicked, this, &frmMain::MSFlexGrid3_Click);

    resize(1180, 760);
}

void frmMain::openDatabase() {
    const QString path = QDir(ctx_.dataDir).filePath(kDatabaseFileName);
    try {
        store_ = std::make_unique<HistoryStore>(path.toStdString());
        snap_ = store_->snapshot();
    } catch (const std::exception& e) {
        store_.reset();
        snap_ = std::make_shared<Snapshot>();
        const QString msg = QString::fromUtf8(e.what());
        status(msg);
        // Reported once the window is up (the question hooks may still be replaced until then).
        QTimer::singleShot(0, this, [this, msg] { tell("数据库错误", msg); });
        for (QWidget* wdg : std::initializer_list<QWidget*>{Command1, Command2, Command5, Command21, cmdRdLst, Command3,
                                                            Command4, MaskEdBox1[1], MaskEdBox1[2], MaskEdBox1[3]})
            wdg->setEnabled(false);
        for (QAction* a : {mnuDcls, mnuErase, mnuClear, mnuDlzd, mnuEszhzd}) a->setEnabled(false);
    }
}

void frmMain::startUp() {
    intSerchDay = settings_->iniSerchDay();
    intGsZl = settings_->gsZl();
    for (int i = 0; i < kProvinceCount; ++i) mnuK3[i]->setChecked(i == intGsZl);
    intDrawsPerDay = province(intGsZl).drawsPerDay;
    strCode = province(intGsZl).code;
    bolZyw = settings_->bolZyw();
    intLei = settings_->intLei();
    openDatabase();
    Option1[1]->setChecked(bolZyw);
    Option1[0]->setChecked(!bolZyw);
    intDsIni = settings_->dsIni();
    mnuDscs[0]->setChecked(intDsIni == 0);
    mnuDscs[1]->setChecked(intDsIni == 1);
    intZhW = settings_->intZhWSetup();
    Combo1->setCurrentText(QString::number(intZhW));
    QihaoXianshi();
    Option3[intLei]->setChecked(true);
    layoutValueBoxes(intLei);
    strLetter = QString(kTypeLetters[intLei]);
    if (!snap_->empty()) {
        Text3[0]->setText(QString::number(snap_->rows.front().sqqh));
        Text3[1]->setText(QString::number(snap_->rows.back().sqqh));
    }
    TabStrip1_Click(TabStrip1->currentIndex());
    bolManual = TabStrip1->currentIndex() == 0;
    strPrefix = "L";
    model1_->setSnapshot(snap_);
    MSFlexGrid1->setColumnWidth(0, twips(1480));
    for (int c = 1; c <= 3; ++c) MSFlexGrid1->setColumnWidth(c, twips(600));
    if (model1_->rowCount() + 1 > 39) MSFlexGrid1->scrollToBottom();
    Grid g2;
    g2.header = {"期号", "第1位", "第2位", "第3位", "遗漏次数", "序号"};
    model2_->setGrid(g2);
    Grid g3;
    g3.header = {"号码（分组）", "最小遗漏", "最大遗漏", "最后遗漏", "大后比"};
    model3_->setGrid(g3);
    MSFlexGrid3->setColumnWidth(0, twips(1880));
    for (int c = 1; c <= 3; ++c) MSFlexGrid3->setColumnWidth(c, twips(880));
    if (store_)
        status(snap_->empty() ? QString("历史数据库中还没有号码") : QString("共 %1 期历史号码").arg(snap_->size()));
}

// ---------------------------------------------------------------- history display

void frmMain::AddHaoma(std::shared_ptr<const Snapshot> fresh) {
    if (fresh) {
        snap_ = std::move(fresh);
    } else if (store_) {
        try {
            snap_ = store_->snapshot();
        } catch (const std::exception& e) {
            status(QString("读取历史号码失败: %1").arg(QString::fromUtf8(e.what())));
        }
    }
    MSFlexGrid1->setUpdatesEnabled(false);
    model1_->setSnapshot(snap_);
    MSFlexGrid1->setColumnWidth(0, twips(1480));
    for (int c = 1; c <= 3; ++c) MSFlexGrid1->setColumnWidth(c, twips(600));
    if (model1_->rowCount() + 1 > 39) MSFlexGrid1->scrollToBottom();
    MSFlexGrid1->setUpdatesEnabled(true);
}

void frmMain::QihaoXianshi() {
    if (!snap_ || snap_->empty()) return;
    const int32_t last = snap_->rows.back().sqqh;
    Text1->setText(QString::number(nextIssue(last, intDrawsPerDay, intGsZl == kBeijingIndex)));
    Text4->setText(QString::number(last));
}

void frmMain::YSJS() {
    ChosenDraw c = chooseDraw(*snap_, Text4->text().toStdString(), Check4->isChecked());
    if (c.rangeEnd) Text3[1]->setText(QString::number(*c.rangeEnd));
    if (!c.row) {
        if (!snap_->empty()) status(QString("历史中没有期号不大于「%1」的号码").arg(Text4->text()));
        return;
    }
    bolManual = false;
    const SnapRow& r = snap_->rows[*c.row];
    for (int i = 1; i <= 3; ++i) {
        intValues[i] = r.v[intLei][i - 1];
        Text2[10 + i]->setText(q(valueLabel(intLei, intValues[i])));
    }
}

void frmMain::refreshFromActiveTab(bool readTyped) {
    if (TabStrip1->currentIndex() == 1) {
        YSJS();
        return;
    }
    bolManual = true;
    strPrefix = "L";
    if (!readTyped) return;
    for (int i = 1; i <= 3; ++i)
        if (auto v = parseWhole(Text22[i]->text().toStdString(), -32768, 32767)) intValues[i] = static_cast<int>(*v);
}

void frmMain::historyChanged() {
    AddHaoma();
    QihaoXianshi();
    if (!snap_->empty()) {
        Text3[0]->setText(QString::number(snap_->rows.front().sqqh));
        Text3[1]->setText(QString::number(snap_->rows.back().sqqh));
    }
    refreshFromActiveTab();
}

void frmMain::TabStrip1_Click(int index) {
    const bool manual = index != 1;
    Frame2[1]->setVisible(manual);
    Frame2[2]->setVisible(!manual);
    Text4->setVisible(!manual);
    Check4->setVisible(!manual);
    if (manual) {
        refreshFromActiveTab();
        if (!snap_->empty()) Text3[1]->setText(QString::number(snap_->rows.back().sqqh));
    } else {
        YSJS();
    }
}

void frmMain::Check4_Click() {
    if (Check4->isChecked()) {
        YSJS();
    } else if (!snap_->empty()) {
        Text3[1]->setText(QString::number(snap_->rows.back().sqqh));
    }
}

void frmMain::Text4_LostFocus() { YSJS(); }

void frmMain::layoutValueBoxes(int type) {
    for (int i = 0; i < 10; ++i) {
        bool shown = false;
        QString caption = QString::number(i);
        switch (type) {
            case kNumber: shown = i >= 1 && i <= 6; break;
            case kBigSmall:
                shown = i <= 1;
                caption = kBigSmallLabels[i & 1];
                break;
            case kOddEven:
                shown = i <= 1;
                caption = kOddEvenLabels[i & 1];
                break;
            case kSegment:
                shown = i <= 2;
                caption = QString("%1段").arg(i + 1);
                break;
        }
        if (shown) Check6[i]->setText(caption);
        Check6[i]->setVisible(shown);
    }
}

void frmMain::setHistoryCommandsEnabled(bool on) {
    const bool can = on && store_;
    for (QWidget* wdg :
         std::initializer_list<QWidget*>{Command21, cmdRdLst, Command3, MaskEdBox1[1], MaskEdBox1[2], MaskEdBox1[3]})
        wdg->setEnabled(can);
    for (QAction* a : {mnuErase, mnuClear, mnuDlzd, mnuEszhzd}) a->setEnabled(can);
}

void frmMain::MSFlexGrid1_MouseUp(Qt::MouseButton button, const QPoint& globalPos) {
    if (button == Qt::RightButton) mnuLsgl->popup(globalPos);
}

// ---------------------------------------------------------------- settings and lottery choice

void frmMain::mnuK3_Click(int index) {
    if (index < 0 || index >= kProvinceCount) return;
    intGsZl = index;
    settings_->setGsZl(index);
    for (int i = 0; i < kProvinceCount; ++i) mnuK3[i]->setChecked(i == index);
    intDrawsPerDay = province(index).drawsPerDay;
    strCode = province(index).code;
    status(QString("彩种: %1（每天 %2 期）").arg(QString::fromUtf8(province(index).caption)).arg(intDrawsPerDay));
}

void frmMain::mnuDscs_Click(int index) {
    if (index != 0 && index != 1) return;
    intDsIni = index;
    settings_->setDsIni(index);
    mnuDscs[0]->setChecked(index == 0);
    mnuDscs[1]->setChecked(index == 1);
}

void frmMain::mnuSetDay_Click() {
    for (;;) {
        auto answer =
            askText("设置年数",
                    "请输入更新需要保留的历史号码的年数（2~16中的任意自然数），如果超过年数将删除最早的一年的历史号码",
                    QString::number(intSerchDay));
        if (!answer || answer->trimmed().isEmpty()) return;
        auto v = parseWhole(answer->toStdString(), 2, 16);
        if (!v) {
            tell("输入有误", "为了保证时效性和提高计算效率，软件只能统计16年以内的数据，请输入2到16中的自然数。");
            continue;
        }
        intSerchDay = static_cast<int>(*v);
        settings_->setIniSerchDay(intSerchDay);
        return;
    }
}

void frmMain::Command9_Click() { mnuSetup->popup(QCursor::pos()); }

// ---------------------------------------------------------------- help links

void frmMain::openHelpDocument(const QString& file) {
    QStringList dirs{QCoreApplication::applicationDirPath() + "/docs", QString(K3GAP_DOCS_DIR)};
    for (const QString& d : dirs) {
        QFileInfo fi(QDir(d).filePath(file));
        if (!fi.exists()) continue;
        if (!openUrl(QUrl::fromLocalFile(fi.absoluteFilePath())))
            status(QString("无法用默认浏览器打开 %1").arg(fi.absoluteFilePath()));
        return;
    }
    status(QString("找不到帮助文件 %1").arg(file));
}

void frmMain::mnuFrontPage_Click() { openHelpDocument("index.html"); }
void frmMain::mnuDescrb_Click() { openHelpDocument("manual.html"); }
void frmMain::numYanshiDown_Click() { openHelpDocument("walkthrough.html"); }

// ---------------------------------------------------------------- manual entry

void frmMain::MaskEdBox1_KeyPress(int) { bolEntryDone = false; }

void frmMain::MaskEdBox1_Change(int index) {
    if (index == 3 && !MaskEdBox1[3]->text().isEmpty() && !bolEntryDone) appendTypedDraw();
    if (!bolEntryDone && !MaskEdBox1[index]->text().isEmpty() && index < 3) MaskEdBox1[index + 1]->setFocus();
}

bool frmMain::appendTypedDraw() {
    if (!store_) return false;
    DerivedDraw added;
    try {
        added = addManualDraw(*store_, Text1->text().toStdString(), MaskEdBox1[1]->text().toStdString(),
                              MaskEdBox1[2]->text().toStdString(), MaskEdBox1[3]->text().toStdString(), intDsIni);
    } catch (const std::exception& e) {
        const QString msg = QString::fromUtf8(e.what());
        status(msg);
        tell("输入有误", msg);
        return false;
    }
    bolEntryDone = true;
    for (int i = 1; i <= 3; ++i) MaskEdBox1[i]->clear();
    MaskEdBox1[1]->setFocus();
    Text3[1]->setText(QString::number(int64_t{added.sqqh} + 1));
    // The usual newest draw needs no new read of the whole history.
    AddHaoma(withNewestAppended(*snap_, added));
    QihaoXianshi();
    refreshFromActiveTab();
    status(QString("已保存第 %1 期").arg(added.sqqh));
    return true;
}

// ---------------------------------------------------------------- events

bool frmMain::eventFilter(QObject* obj, QEvent* ev) {
    auto gridOf = [&](QObject* o) -> QTableView* {
        for (QTableView* g : {MSFlexGrid1, MSFlexGrid2, MSFlexGrid3})
            if (g && (o == g || o == g->viewport())) return g;
        return nullptr;
    };
    switch (ev->type()) {
        case QEvent::Wheel:
            // One notch moves the focused grid by exactly one row.
            if (gridOf(obj) && wheelTarget) {
                auto* we = static_cast<QWheelEvent*>(ev);
                QScrollBar* bar = wheelTarget->verticalScrollBar();
                if (we->angleDelta().y() <= 0)
                    bar->setValue(bar->value() + 1);
                else if (bar->value() > 0)
                    bar->setValue(bar->value() - 1);
                return true;
            }
            break;
        case QEvent::FocusIn:
            if (QTableView* g = gridOf(obj)) wheelTarget = g;
            break;
        case QEvent::FocusOut:
            if (gridOf(obj)) wheelTarget = nullptr;
            for (int i = 1; i <= 3; ++i)
                if (obj == Text22[i]) Text22_LostFocus(i);
            if (obj == Text4) Text4_LostFocus();
            if (obj == Combo1 || (Combo1 && obj == Combo1->lineEdit())) Combo1_LostFocus();
            break;
        case QEvent::MouseButtonRelease:
            if (obj == MSFlexGrid1->viewport()) {
                auto* me = static_cast<QMouseEvent*>(ev);
                MSFlexGrid1_MouseUp(me->button(), me->globalPosition().toPoint());
            }
            break;
        case QEvent::KeyPress:
            for (int i = 1; i <= 3; ++i)
                if (obj == MaskEdBox1[i]) MaskEdBox1_KeyPress(i);
            break;
        default: break;
    }
    return QMainWindow::eventFilter(obj, ev);
}

}  // namespace k3
