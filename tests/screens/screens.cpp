// k3gap-screens DATA_DIR OUT_DIR: the real window over the data folder DATA_DIR (settings in
// DATA_DIR/settings.ini), driven by its controls' names as a player drives it in a first hour, with
// each scene written to OUT_DIR as a PNG. DATA_DIR starts without a history; its folder 历史号码 holds
// the history text file the window reads in. The scenes, in the order they are taken:
//   start.png            the window at its first start, empty
//   menu-lottery.png     the menu 彩种选择 open over the window
//   import-read.png      the question of 读取历史号文本
//   import-file.png      the open-file dialog in the folder 历史号码
//   import-preview.png   what the file holds, shown before it is stored
//   after-import.png     the window after the import (two lines of the file skipped)
//   skipped.png          the list of skipped lines behind 详情
//   entry.png            the history column after the newest draw was typed into the three boxes
//   search.png           a search for a 2 anywhere in the draw, with its chart
//   screenshot.png       the same with the groups of pairs of 1, 3 and 5 below (the README's picture)
//   groups.png           the groups sorted by a click on the header 最大遗漏
//   chosen.png           a search for the values of a chosen draw (tab 历史指定期)
//   partial.png          the partial search of the same values, two positions
//   overview.png         遗漏总表 with the chart of 和值 10
//   trend.png            走势图 of the newest 30 draws, the 和值 balls joined
//   backtest.png         遗漏回测 at twice the theoretical omission, with the chart of 和值 9
//   history-menu.png     the right-click menu of the history grid
//   settings-menu.png    the menu 设置 open over the window
//   lookback.png         the look-back question
//   update-unset.png, update-address.png, update-question.png   the first online update
//   import-question.png  the preview of an import that would shrink the history
// scripts/screenshot.sh runs it under a virtual display and copies the pictures into docs/.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <functional>

#include "app_identity.h"
#include "main_window.h"
#include "overview_window.h"
#include "stats_windows.h"
#include "translation.h"
#include "trend_window.h"

namespace {

QString outDir;
int failures = 0;
QStringList written;  // the pictures written so far

void fail(const QString& what) {
    std::fprintf(stderr, "%s\n", qPrintable(what));
    ++failures;
}

void savePixmap(const QPixmap& picture, const QString& name) {
    const QString path = QDir(outDir).filePath(name);
    if (picture.isNull() || !picture.save(path)) return fail("cannot write " + path);
    written << name;
    std::printf("written: %s\n", qPrintable(path));
}

// A widget as it draws itself (a window, a dialog), after charts and layouts have settled.
void save(QWidget* w, const QString& name) {
    QTest::qWait(300);
    savePixmap(w->grab(), name);
}

// What the screen shows over the window, popup menus included; `part` (window coordinates) crops it.
void saveScreen(QWidget* window, const QString& name, QRect part = {}) {
    QTest::qWait(300);
    if (part.isNull()) part = window->rect();
    const QPoint at = window->mapToGlobal(part.topLeft());
    savePixmap(QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), part.width(), part.height()), name);
}

template <class T = QWidget>
T* find(QWidget* in, const char* name) {
    T* w = in->findChild<T*>(name);
    if (!w) {
        std::fprintf(stderr, "no control %s\n", name);
        std::exit(2);
    }
    return w;
}

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

void typeInto(QLineEdit* edit, const QString& text) {
    click(edit);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void clickCell(QTableView* view, int row, int column) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(row, column)).center());
}

void clickHeader(QTableView* view, int column) {
    QHeaderView* h = view->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2));
}

// Opens a menu of the menu bar with the mouse; it stays open until an entry is clicked.
QMenu* openMenu(QMainWindow& w, const char* menu) {
    auto* m = find<QMenu>(&w, menu);
    QTest::mouseClick(w.menuBar(), Qt::LeftButton, {}, w.menuBar()->actionGeometry(m->menuAction()).center());
    if (!QTest::qWaitForWindowExposed(m)) fail(QString("menu %1 did not open").arg(menu));
    return m;
}

void clickEntry(QMainWindow& w, QMenu* m, const char* entry) {
    QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(find<QAction>(&w, entry)).center());
}

void clickMenuEntry(QMainWindow& w, const char* menu, const char* entry) { clickEntry(w, openMenu(w, menu), entry); }

// Runs `action` on the next modal dialog once it shows and `ready` holds for it (polled while the
// modal call that opens it runs).
void whenModal(std::function<bool(QWidget*)> ready, std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* d = QApplication::activeModalWidget();
        if (!d || !d->isVisible() || !ready(d)) return;
        timer->stop();
        timer->deleteLater();
        action(d);
    });
    timer->start();
}

void clickButton(QWidget* dialog, const QString& answer, const QString& name) {
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        if (b->isVisible() && b->text() == answer) return click(b);
    fail(QString("no button %1 in %2").arg(answer, name));
}

// Saves the dialog the next modal call opens (unless `name` is empty), then answers it with the button
// reading `answer`. With `objectName`, the next dialog of that name (one that opens after others).
void shootNextDialog(const QString& name, const QString& answer, std::function<void(QWidget*)> then = {},
                     const char* objectName = nullptr) {
    whenModal([objectName](QWidget* d) { return !objectName || d->objectName() == objectName; },
              [=](QWidget* d) {
                  if (!name.isEmpty()) save(d, name);
                  if (then) then(d);
                  clickButton(d, answer, name);
              });
}

// Picks `path` in the open-file dialog the next modal call opens, saving it first as `name` if given.
void pickFileInNextDialog(const QString& path, const QString& name = {}) {
    whenModal(
        [](QWidget* d) {
            auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
            return edit && edit->isVisible();
        },
        [=](QWidget* d) {
            auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
            edit->setText(path);  // the name may be Chinese, which key clicks cannot type
            if (!name.isEmpty()) {
                d->resize(700, 420);
                for (QTreeView* files : d->findChildren<QTreeView*>())  // whole sizes, types and dates
                    files->header()->resizeSections(QHeaderView::ResizeToContents);
                save(d, name);
            }
            QTest::keyClick(edit, Qt::Key_Return);
        });
}

// The first start, the province, the history read in from the folder 历史号码, one draw typed.
void firstSteps(k3::MainWindow& w, const QString& historyFile) {
    save(&w, "start.png");

    QMenu* lotteries = openMenu(w, "mnuCaizhong");
    saveScreen(&w, "menu-lottery.png", QRect(0, 0, 660, 400));
    clickEntry(w, lotteries, "mnuK3_0");

    shootNextDialog("import-read.png", "确定", [historyFile](QWidget*) {
        pickFileInNextDialog(QFileInfo(historyFile).fileName(), "import-file.png");
        shootNextDialog("import-preview.png", "确定", {}, "ImportPreview");
    });
    click(find(&w, "cmdRdLst"));
    // The file is read and stored in the background, after its preview was answered.
    auto* history = find<QTableView>(&w, "MSFlexGrid1");
    if (!QTest::qWaitFor([&] { return history->model()->rowCount() > 0 && !w.busy(); }, 30000))
        fail("the import did not end");
    save(&w, "after-import.png");

    click(find(&w, "cmdSkippedDetails"));
    QWidget* skipped = find(&w, "SkippedLinesView");
    if (!QTest::qWaitForWindowExposed(skipped)) fail("the skipped lines did not show");
    skipped->resize(460, 150);
    save(skipped, "skipped.png");
    skipped->close();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    if (!QTest::qWaitForWindowActive(&w)) fail("the window is not active again");

    // The newest draw typed die by die: each box passes the focus on, the third stores the draw.
    click(find(&w, "MaskEdBox1_1"));
    QTest::keyClicks(find(&w, "MaskEdBox1_1"), "4");
    QTest::keyClicks(find(&w, "MaskEdBox1_2"), "1");
    QTest::keyClicks(find(&w, "MaskEdBox1_3"), "6");
    QWidget* panel = find(&w, "HistoryPanel");
    const QRect column(0, panel->mapTo(&w, QPoint(0, 0)).y(), panel->mapTo(&w, QPoint(panel->width(), 0)).x() + 2,
                       w.height() - panel->mapTo(&w, QPoint(0, 0)).y());
    QTest::qWait(300);
    savePixmap(w.grab(column), "entry.png");
}

// A search, the group calculation and its sorting, a chosen draw and the partial search.
void analyses(k3::MainWindow& w) {
    click(find(&w, "Check11_1"));
    typeInto(find<QLineEdit>(&w, "Text22_1"), "2");
    click(find(&w, "Command1"));
    save(&w, "search.png");

    for (const char* value : {"Check6_1", "Check6_3", "Check6_5"}) click(find(&w, value));
    click(find(&w, "Command5"));
    save(&w, "screenshot.png");
    clickHeader(find<QTableView>(&w, "MSFlexGrid3"), 2);
    save(&w, "groups.png");

    // The draw of 261206040 as the values, all three positions, anywhere in a draw.
    auto* tabs = find<QTabBar>(&w, "TabStrip1");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    typeInto(find<QLineEdit>(&w, "Text4"), "261206040");
    QTest::keyClick(find<QLineEdit>(&w, "Text4"), Qt::Key_Tab);
    for (const char* position : {"Check1_11", "Check1_12", "Check1_13"}) click(find(&w, position));
    click(find(&w, "Command1"));
    save(&w, "chosen.png");

    auto* width = find<QComboBox>(&w, "Combo1");
    width->setFocus();
    width->setCurrentText("2");
    click(find(&w, "Command2"));
    save(&w, "partial.png");

    clickMenuEntry(w, "mnuAnalysis", "mnuOverview");
    auto* overview = find<k3::OverviewWindow>(&w, "frmOverview");
    if (!QTest::qWaitForWindowExposed(overview)) fail("遗漏总表 did not show");
    // The table is made in the background: the row is clicked once it is there.
    if (!QTest::qWaitFor([overview] { return overview->tableView()->model()->rowCount() > 7; }))
        fail("遗漏总表 got no table");
    clickCell(overview->tableView(), 7, 1);  // 和值 10
    if (!QTest::qWaitFor([overview] { return overview->selectedItem() >= 0; })) fail("和值 10 was not selected");
    save(overview, "overview.png");
    overview->close();

    clickMenuEntry(w, "mnuAnalysis", "mnuTrend");
    auto* trend = find<k3::TrendWindow>(&w, "frmTrend");
    if (!QTest::qWaitForWindowExposed(trend)) fail("走势图 did not show");
    auto* rows = find<QComboBox>(trend, "cboTrendRows");
    rows->setFocus();
    QTest::keyClick(rows, Qt::Key_Home);  // 最近30期
    if (!QTest::qWaitFor([trend] { return !trend->busy() && trend->chart() && trend->chart()->rowCount() == 30; }))
        fail("走势图 did not show 30 draws");
    auto* line = find<QWidget>(trend, "chkTrendLine");
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(8, line->height() / 2));
    // Every column in the picture, wider than the screen the window opens on lets it be.
    trend->resize(k3::TrendGeometry().fullWidth() + 40, 30 * k3::TrendGeometry::kRowHeight + 200);
    save(trend, "trend.png");
    trend->close();

    clickMenuEntry(w, "mnuAnalysis", "mnuBacktest");
    auto* backtest = find<k3::BacktestWindow>(&w, "frmBacktest");
    if (!QTest::qWaitForWindowExposed(backtest)) fail("遗漏回测 did not show");
    if (!QTest::qWaitFor([backtest] { return !backtest->busy() && backtest->valid(); })) fail("遗漏回测 got no table");
    clickCell(backtest->tableView(), 6, 1);  // 和值 9
    if (!QTest::qWaitFor([backtest] { return backtest->selectedItem() >= 0; })) fail("和值 9 was not selected");
    save(backtest, "backtest.png");
    backtest->close();
}

// The menus, the settings' questions, the first online update and an import that would shrink the
// history.
void menusAndDialogs(k3::MainWindow& w, const QString& dataDir) {
    auto* grid = find<QTableView>(&w, "MSFlexGrid1");
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {},
                      grid->visualRect(grid->model()->index(grid->model()->rowCount() - 3, 0)).center());
    auto* historyMenu = find<QMenu>(&w, "mnuLsgl");
    if (!QTest::qWaitForWindowExposed(historyMenu)) fail("the history menu did not open");
    saveScreen(&w, "history-menu.png", QRect(0, 300, 660, w.height() - 300));
    historyMenu->close();

    QMenu* settings = openMenu(w, "mnuSetup");
    saveScreen(&w, "settings-menu.png", QRect(0, 0, 660, 300));
    shootNextDialog("lookback.png", "取消");
    clickEntry(w, settings, "mnuSetDay");

    shootNextDialog("update-unset.png", "确定", [](QWidget*) {
        shootNextDialog("update-address.png", "确定", [](QWidget* d) {
            if (auto* edit = d->findChild<QLineEdit*>()) edit->setText("file:///home/player/{code}.html");
            shootNextDialog("update-question.png", "取消");
        });
    });
    click(find(&w, "Command21"));

    // A file of only the two newest draws would replace 1,400 draws: the window asks, 取消 keeps them.
    const QString newest = QDir(dataDir).filePath("newest.txt");
    std::ofstream(QFile::encodeName(newest).toStdString(), std::ios::binary) << "261207078 123\r\n261208001 416\r\n";
    shootNextDialog({}, "确定", [newest](QWidget*) {
        pickFileInNextDialog(newest);
        shootNextDialog("import-question.png", "取消", {}, "ImportPreview");
    });
    click(find(&w, "cmdRdLst"));
    // The file is read in the background; the preview comes after.
    if (!QTest::qWaitFor([&] { return written.contains("import-question.png") && !w.busy(); }, 30000))
        fail("the preview of the shrinking import did not show");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: k3gap-screens DATA_DIR OUT_DIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    k3::installChineseTranslation(app);
    k3::applyAppIdentity(app);
    const QString dataDir = QString::fromLocal8Bit(argv[1]);
    outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    const QDir historyFolder(QDir(dataDir).filePath("历史号码"));
    const QStringList files = historyFolder.entryList({"*.txt"}, QDir::Files);
    if (files.size() != 1) {
        std::fprintf(stderr, "%s should hold one history text file\n", qPrintable(historyFolder.path()));
        return 2;
    }

    k3::MainWindow w(k3::AppContext{dataDir, QDir(dataDir).filePath("settings.ini")});
    w.show();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    if (!QTest::qWaitForWindowActive(&w)) return 1;

    firstSteps(w, historyFolder.filePath(files.front()));
    analyses(w);
    menusAndDialogs(w, dataDir);
    return failures ? 1 : 0;
}
