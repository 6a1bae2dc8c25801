#include "window_driver.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "object_names.h"
#include "qt_support.h"

namespace k3test {

namespace {

QString canonical(const QString& folder) { return QFileInfo(folder).canonicalFilePath(); }

// The dialog shows a file of `folder`: it has read the folder (the files it does not show came in the same
// listing).
bool showsAFileOf(QFileSystemModel* model, const QString& folder) {
    const QModelIndex root = model->index(folder);
    for (int r = 0; r < model->rowCount(root); ++r)
        if (!model->isDir(model->index(r, 0, root))) return true;
    return false;
}

// In the open file dialog, which starts in a folder of `folder`: up one folder with the dialog's own button
// until it shows `folder` and has read it, then 取消.
QString listFolder(QFileDialog* files, const QString& folder) {
    auto* up = files->findChild<QAbstractButton*>("toParentButton");
    auto* model = files->findChild<QFileSystemModel*>();
    if (!up || !model) return "the file dialog has no button to the folder above or no model";
    const QString start = canonical(files->directory().absolutePath());
    QString problem;
    if (!start.startsWith(canonical(folder) + "/")) {
        problem = "the file dialog starts in " + start + ", not in a folder of " + folder;
    } else {
        while (canonical(files->directory().absolutePath()) != canonical(folder) && up->isEnabled())
            QTest::mouseClick(up, Qt::LeftButton);
        if (canonical(files->directory().absolutePath()) != canonical(folder))
            problem = "the file dialog did not go up to " + folder;
        else if (!eventually([&] { return showsAFileOf(model, files->directory().absolutePath()); }, 10000))
            problem = "the file dialog shows no file of " + folder;
    }
    QAbstractButton* cancel = buttonReading(files, "取消");
    if (cancel)
        QTest::mouseClick(cancel, Qt::LeftButton);
    else
        files->reject();
    return problem;
}

}  // namespace

QString browseImportDialogTo(QWidget* window, const QString& folder) {
    QString problem = "the import asked nothing";
    onNextDialog(
        [&](QWidget* question) {
            onNextDialog([&](QWidget* d) { problem = listFolder(qobject_cast<QFileDialog*>(d), folder); },
                         "QFileDialog");
            problem = "the file dialog did not open";
            QTest::mouseClick(buttonReading(question, "确定"), Qt::LeftButton);
        },
        "QMessageBox");
    auto* import = window->findChild<QAbstractButton*>(k3::names::kImportButton);
    if (!import) return "no import button";
    QTest::mouseClick(import, Qt::LeftButton);
    if (!eventually([] { return QApplication::activeModalWidget() == nullptr; }, 20000))
        return "a dialog of the import stayed open";
    return problem;
}

QString typeDraw(QWidget* window, const QString& issue, const QString& dice) {
    auto* issueBox = window->findChild<QLineEdit*>(k3::names::kNextIssueEdit);
    if (!issueBox) return "no issue box";
    issueBox->setFocus();
    issueBox->selectAll();
    QTest::keyClicks(issueBox, issue);
    if (issueBox->text() != issue) return "the issue box reads " + issueBox->text();
    for (int i = 0; i < 3; ++i) {
        auto* box = window->findChild<QLineEdit*>(QString(k3::names::kTypedDiceEditPrefix) + QString::number(i + 1));
        if (!box) return "no entry box";
        QTest::keyClicks(box, dice.mid(i, 1));
    }
    auto* bar = window->findChild<QStatusBar*>();
    const QString saved = "已保存第 " + issue + " 期";
    if (!bar || bar->currentMessage() != saved)
        return "the window says \"" + (bar ? bar->currentMessage() : QString()) + "\", not \"" + saved + "\"";
    return {};
}

UnexpectedMessages::UnexpectedMessages() : m_timer(new QTimer) {
    m_timer->setInterval(50);
    QObject::connect(m_timer, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        m_texts << box->text();
        box->accept();
    });
    m_timer->start();
}

UnexpectedMessages::~UnexpectedMessages() { delete m_timer; }

}  // namespace k3test
