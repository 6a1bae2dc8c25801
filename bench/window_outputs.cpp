// Drives the real window offscreen over a data folder and prints what it shows: the history grid,
// a search, a partial search, group calculations (sorted by a click), a search on a chosen draw of the
// segment type, and the path of the exported history text. scripts/perf/same-output.sh compares this
// output (and the exported file) between two builds.
// usage: window_outputs DATA_FOLDER SETTINGS_FILE
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <iostream>

#include "main_window.h"
#include "prompter.h"

namespace {

// Answers OK to every question, cancels input boxes, records what would be opened.
class Answers : public k3::Prompter {
public:
    QStringList opened;
    bool askOkCancel(const QString&, const QString&, bool) override { return true; }
    std::optional<QString> askText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    QString askOpenFile(const QString&, const QString&) override { return {}; }
    void tell(const QString&, const QString&) override {}
    bool confirmImport(const k3::ImportPreview&) override { return true; }
    std::optional<QString> askUpdateAddress(const k3::UpdateAddressQuestion&) override { return std::nullopt; }
    bool openUrl(const QUrl& url) override {
        opened << url.toLocalFile();
        return true;
    }
};

template <class T = QWidget>
T* find(QWidget* w, const char* name) {
    T* found = w->findChild<T*>(name);
    if (!found) {
        std::cerr << "no control " << name << "\n";
        std::exit(1);
    }
    return found;
}

void click(QWidget* w, const char* name) {
    auto* b = find<QAbstractButton>(w, name);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    // What the click started in the background has ended.
    while (static_cast<k3::MainWindow*>(w->window())->busy()) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

void type(QWidget* w, const char* name, const QString& text) {
    auto* box = find<QLineEdit>(w, name);
    box->setFocus();
    box->clear();
    QTest::keyClicks(box, text);
}

void dump(QWidget* w, const char* grid) {
    const QAbstractItemModel* m = find<QTableView>(w, grid)->model();
    std::cout << "== " << grid << " " << m->rowCount() << " rows\n";
    for (int r = 0; r < m->rowCount(); ++r) {
        for (int c = 0; c < m->columnCount(); ++c)
            std::cout << (c ? "\t" : "") << m->index(r, c).data().toString().toStdString();
        std::cout << '\n';
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: window_outputs DATA_FOLDER SETTINGS_FILE\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QApplication app(qargc, argv);
    Answers answers;
    k3::MainWindow window(k3::AppContext{QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])}, &answers);
    window.show();
    QApplication::processEvents();
    QWidget* w = &window;
    dump(w, "MSFlexGrid1");

    type(w, "Text22_1", "2");
    type(w, "Text22_2", "5");
    type(w, "Text22_3", "3");
    click(w, "Check11_1");
    click(w, "Check11_2");
    click(w, "Command1");
    dump(w, "MSFlexGrid2");
    dump(w, "MSFlexGrid3");
    click(w, "Command2");
    dump(w, "MSFlexGrid2");
    dump(w, "MSFlexGrid3");

    click(w, "cmdZH_0");
    find<QComboBox>(w, "Combo2")->setCurrentText("3");
    click(w, "Command5");
    dump(w, "MSFlexGrid3");
    auto* groups = find<QTableView>(w, "MSFlexGrid3");
    QTest::mouseClick(groups->viewport(), Qt::LeftButton, {},
                      groups->visualRect(groups->model()->index(0, 4)).center());
    dump(w, "MSFlexGrid3");
    click(w, "Option3_3");
    click(w, "cmdZH_0");
    find<QComboBox>(w, "Combo2")->setCurrentText("2");
    click(w, "Command5");
    dump(w, "MSFlexGrid3");

    // The segment type's values of a chosen draw in the middle of the history.
    const QAbstractItemModel* history = find<QTableView>(w, "MSFlexGrid1")->model();
    const QString middle = history->index(history->rowCount() / 2, 0).data().toString();
    find<QTabBar>(w, "TabStrip1")->setCurrentIndex(1);
    type(w, "Text4", middle);
    click(w, "Check1_11");
    click(w, "Check1_12");
    click(w, "Command1");
    std::cout << "== chosen " << middle.toStdString();
    for (const char* box : {"Text2_11", "Text2_12", "Text2_13"})
        std::cout << '\t' << find<QLineEdit>(w, box)->text().toStdString();
    std::cout << '\n';
    dump(w, "MSFlexGrid2");
    dump(w, "MSFlexGrid3");

    click(w, "Command4");
    std::cout << "== exported " << answers.opened.join(" ").toStdString() << '\n';
    return 0;
}
