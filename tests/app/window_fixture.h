// A real MainWindow over a temporary data folder and settings file, under the offscreen platform. The
// fixture is the window's Prompter: questions are answered from queues instead of dialogs, and opened
// addresses are recorded. Controls are found by objectName and driven by real events.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "import_preview.h"
#include "main_window.h"
#include "object_names.h"
#include "process_support.h"
#include "prompter.h"
#include "qt_support.h"
#include "test_support.h"
#include "update_address_dialog.h"

class QAbstractButton;
class QAction;
class QLineEdit;
class QTableView;

// Readable texts in the messages of failed expectations.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace k3test {

class WindowTest : public ::testing::Test, public k3::Prompter {
protected:
    TempDir dir;
    std::unique_ptr<k3::MainWindow> w;
    std::deque<bool> okAnswers;                      // answers to OK/Cancel questions (default OK)
    std::deque<std::optional<QString>> textAnswers;  // answers to input boxes (default: cancel)
    std::deque<QString> fileAnswers;                 // answers to the open-file dialog (default: none)
    QStringList questions, told, opened;
    QList<k3::ImportPreview> previews;  // what each import showed before it stored
    QStringList cancelFirst;            // the questions asked with 取消 as the default button
    bool openSucceeds = true;           // whether the desktop has a program for what is opened

    QString settingsFile() const { return QString::fromStdString(dir.file("settings.ini")); }
    std::string dbPath() const { return dir.file("gapbook.db"); }
    // Creates (or re-creates) the window over the folder and waits until the check for damage (run in
    // the background) has said whether the history may be changed.
    void open();
    // The same without waiting for the check's verdict.
    void openWhileChecking();
    // The same with the real dialogs instead of the fixture's answers.
    void openWithDialogs();
    // The window closed, and what it left running in the background ended.
    void TearDown() override;
    // Waits (events handled) until the window's check for damage has given its verdict.
    void waitForDamageCheck();
    k3::HistorySession& session() const;

    // The control of that objectName; a missing one fails the test.
    template <class T = QWidget>
    T* find(const QString& name) const {
        T* found = w->findChild<T*>(name);
        if (!found) throw std::runtime_error("no control " + name.toStdString());
        return found;
    }
    QAction* action(const QString& name) const;
    // Waits until what the window runs in the background (a command, a search, the omission table) has
    // ended; a deadline fails the test.
    void settle();
    // A menu entry triggered, and the command it started waited for.
    void trigger(const QString& action);
    // A left click on a button, a check box or an option button, and the command it started waited for.
    void click(const QString& name);
    // The same without waiting for the command.
    void clickOnly(const QString& name);
    // Focus on a line edit, its text cleared, then the text typed key by key.
    void type(const QString& name, const QString& text);
    QString text(const QString& lineEdit) const;
    QString status() const;
    // Cells of a grid as shown: one row, one column, the number of data rows.
    QStringList gridRow(const QString& grid, int row) const;
    QStringList gridColumn(const QString& grid, int column) const;
    int gridRows(const QString& grid) const;
    void clickCell(const QString& grid, int row, int column, Qt::MouseButton button = Qt::LeftButton);
    void doubleClickCell(const QString& grid, int row, int column);
    QString setting(const char* key) const;
    // Types into whichever control has the keyboard focus, key by key, as a user does.
    void typeKeys(const QString& keys);
    // Clicks a menu entry as a user does: its menu opened from the menu bar, then the entry.
    void clickMenuEntry(const QString& menu, const QString& entry);

    bool askOkCancel(const QString& title, const QString& text, bool cancelByDefault) override;
    std::optional<QString> askText(const QString& title, const QString& prompt, const QString& preset,
                                   bool cancelByDefault) override;
    QString askOpenFile(const QString& dir, const QString& filter) override;
    void tell(const QString& title, const QString& text) override;
    // An import's preview: asked as its question, "读入历史|…", with 取消 as the default, answered from okAnswers.
    bool confirmImport(const k3::ImportPreview& preview) override;
    // The address dialog: asked as "在线更新地址|prompt|preset", answered from textAnswers.
    std::optional<QString> askUpdateAddress(const k3::UpdateAddressQuestion& question) override;
    bool openUrl(const QUrl& url) override;
};

}  // namespace k3test
