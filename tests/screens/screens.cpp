// k3gap-screens DATA_DIR OUT_DIR: the real window over the history in DATA_DIR (settings in
// DATA_DIR/settings.ini), driven by its controls' names as a user would drive it, with each scene
// written to OUT_DIR as a PNG: the main window after a search and a group calculation
// (screenshot.png), the omission table with the chart of 和值 10 (overview.png), and the dialogs a
// player meets (update-address.png, update-question.png, lookback.png, import-question.png).
// scripts/screenshot.sh runs it under a virtual display.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>

#include "app_identity.h"
#include "main_window.h"
#include "overview_window.h"
#include "translation.h"

namespace {

QString outDir;
int failures = 0;

void save(QWidget* w, const QString& name) {
    QTest::qWait(300);  // let charts and layouts settle
    const QString path = QDir(outDir).filePath(name);
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("written: %s\n", qPrintable(path));
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

void clickMenuEntry(QMainWindow& w, const char* menu, const char* entry) {
    auto* m = find<QMenu>(&w, menu);
    QTest::mouseClick(w.menuBar(), Qt::LeftButton, {}, w.menuBar()->actionGeometry(m->menuAction()).center());
    QTest::qWaitForWindowExposed(m);
    QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(w.findChild<QAction*>(entry)).center());
}

// Saves the dialog the next modal call opens, then answers it with the button reading `answer`.
void shootNextDialog(const QString& name, const QString& answer, std::function<void(QWidget*)> then = {}) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* d = QApplication::activeModalWidget();
        if (!d || !d->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        save(d, name);
        if (then) then(d);
        for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
            if (b->isVisible() && b->text() == answer) return click(b);
        std::fprintf(stderr, "no button %s in %s\n", qPrintable(answer), qPrintable(name));
        ++failures;
    });
    timer->start();
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
    const QString settings = QDir(dataDir).filePath("settings.ini");

    k3::MainWindow w(k3::AppContext{dataDir, settings});
    w.show();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    if (!QTest::qWaitForWindowActive(&w)) return 1;

    // A search for a 2 at the first position, then the groups of pairs of 1, 3 and 5.
    click(find(&w, "Check11_1"));
    typeInto(find<QLineEdit>(&w, "Text22_1"), "2");
    click(find(&w, "Command1"));
    for (const char* value : {"Check6_1", "Check6_3", "Check6_5"}) click(find(&w, value));
    click(find(&w, "Command5"));
    save(&w, "screenshot.png");

    // The omission table with the chart of 和值 10.
    clickMenuEntry(w, "mnuAnalysis", "mnuOverview");
    auto* overview = find<k3::OverviewWindow>(&w, "frmOverview");
    QTest::qWaitForWindowExposed(overview);
    QTableView* table = overview->tableView();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(7, 1)).center());
    save(overview, "overview.png");
    overview->close();

    // The first online update: no address yet, then the address dialog, then the question.
    shootNextDialog("update-unset.png", "确定", [](QWidget*) {
        shootNextDialog("update-address.png", "确定", [](QWidget* d) {
            if (auto* edit = d->findChild<QLineEdit*>()) edit->setText("file:///nowhere/{code}.html");
            shootNextDialog("update-question.png", "取消");
        });
    });
    click(find(&w, "Command21"));

    shootNextDialog("lookback.png", "取消");
    clickMenuEntry(w, "mnuSetup", "mnuSetDay");

    // An import of a file of only the newest draws.
    const QString newest = QDir(dataDir).filePath("newest.txt");  // typed key by key: a plain path
    std::ofstream(QFile::encodeName(newest).toStdString(), std::ios::binary) << "261207078 123\r\n261208001 456\r\n";
    shootNextDialog("import-read.png", "确定", [newest](QWidget*) {
        auto* files = new QTimer;
        files->setInterval(20);
        QObject::connect(files, &QTimer::timeout, [files, newest] {
            QWidget* d = QApplication::activeModalWidget();
            auto* name = d ? d->findChild<QLineEdit*>("fileNameEdit") : nullptr;
            if (!name || !name->isVisible()) return;
            files->stop();
            files->deleteLater();
            shootNextDialog("import-question.png", "取消");
            QTest::keyClicks(name, newest);
            QTest::keyClick(name, Qt::Key_Return);
        });
        files->start();
    });
    click(find(&w, "cmdRdLst"));
    save(&w, "after-import-cancelled.png");
    return failures ? 1 : 0;
}
