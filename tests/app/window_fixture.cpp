#include "window_fixture.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "background_task.h"
#include "history_session.h"

namespace k3test {

namespace {

void showActive(QWidget* w) {
    w->show();
    w->activateWindow();
    QApplication::setActiveWindow(w);
    if (!QTest::qWaitForWindowExposed(w, 5000)) ADD_FAILURE() << "the window was never shown";
    // Activation is the window system's to grant; the tests' key events go to the focused control anyway.
    [[maybe_unused]] bool active = QTest::qWaitForWindowActive(w, 1000);
}

}  // namespace

void WindowTest::openWithDialogs() {
    testApp();
    k3::setProgressDelay(std::chrono::milliseconds(0));
    w.reset();
    w = std::make_unique<k3::MainWindow>(k3::AppContext{QString::fromStdString(dir.path().string()), settingsFile()});
    w->resize(k3::MainWindow::kPreferredSize);
    showActive(w.get());
    waitForDamageCheck();
}

void WindowTest::open() {
    openWhileChecking();
    waitForDamageCheck();
}

void WindowTest::openWhileChecking() {
    testApp();
    // Every command's progress box at once: the tests see it whatever the machine's speed.
    k3::setProgressDelay(std::chrono::milliseconds(0));
    w.reset();
    k3::AppContext ctx{QString::fromStdString(dir.path().string()), settingsFile()};
    w = std::make_unique<k3::MainWindow>(ctx, this);
    // The tests' screen (offscreen, 800 x 600) is smaller than a player's: the window gets the size it
    // opens at on a common screen. The layout tests try the small screens.
    w->resize(k3::MainWindow::kPreferredSize);
    showActive(w.get());
}

void WindowTest::TearDown() {
    w.reset();
    k3::waitForBackgroundTasks();
}

k3::HistorySession& WindowTest::session() const {
    auto* s = w->findChild<k3::HistorySession*>();
    if (!s) throw std::runtime_error("the window has no history session");
    return *s;
}

void WindowTest::waitForDamageCheck() {
    ASSERT_TRUE(eventually([this] { return session().access() != k3::HistoryAccess::kChecking; }))
        << "the check for damage gives no verdict";
}

QAction* WindowTest::action(const QString& name) const { return find<QAction>(name); }

void WindowTest::settle() {
    EXPECT_TRUE(eventually([this] { return !w->busy(); }, 30000)) << "the window's command does not end";
}

void WindowTest::trigger(const QString& name) {
    action(name)->trigger();
    settle();
}

void WindowTest::clickOnly(const QString& name) {
    auto* button = find<QAbstractButton>(name);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

void WindowTest::click(const QString& name) {
    clickOnly(name);
    settle();
}

void WindowTest::type(const QString& name, const QString& text) {
    auto* box = find<QLineEdit>(name);
    box->setFocus();
    box->clear();
    QTest::keyClicks(box, text);
}

QString WindowTest::text(const QString& lineEdit) const { return find<QLineEdit>(lineEdit)->text(); }

QString WindowTest::status() const { return w->statusBar()->currentMessage(); }

QStringList WindowTest::gridRow(const QString& grid, int row) const {
    const QAbstractItemModel* m = find<QTableView>(grid)->model();
    QStringList out;
    for (int c = 0; c < m->columnCount(); ++c) out << m->index(row, c).data().toString();
    return out;
}

QStringList WindowTest::gridColumn(const QString& grid, int column) const {
    const QAbstractItemModel* m = find<QTableView>(grid)->model();
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r) out << m->index(r, column).data().toString();
    return out;
}

int WindowTest::gridRows(const QString& grid) const { return find<QTableView>(grid)->model()->rowCount(); }

void WindowTest::clickCell(const QString& grid, int row, int column, Qt::MouseButton button) {
    auto* view = find<QTableView>(grid);
    QTest::mouseClick(view->viewport(), button, {}, view->visualRect(view->model()->index(row, column)).center());
}

void WindowTest::doubleClickCell(const QString& grid, int row, int column) {
    auto* view = find<QTableView>(grid);
    const QPoint at = view->visualRect(view->model()->index(row, column)).center();
    // As a user's double-click arrives: a click, then the second press as a double-click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    settle();
}

QString WindowTest::setting(const char* key) const {
    return QSettings(settingsFile(), QSettings::IniFormat).value(QString("IniSetting/") + key).toString();
}

bool WindowTest::askOkCancel(const QString& title, const QString& text, bool cancelByDefault) {
    questions << title + "|" + text;
    if (cancelByDefault) cancelFirst << title + "|" + text;
    if (okAnswers.empty()) return true;
    bool a = okAnswers.front();
    okAnswers.pop_front();
    return a;
}

std::optional<QString> WindowTest::askText(const QString& title, const QString& prompt, const QString& preset,
                                           bool cancelByDefault) {
    questions << title + "|" + prompt + "|" + preset;
    if (cancelByDefault) cancelFirst << title + "|" + prompt;
    if (textAnswers.empty()) return std::nullopt;
    std::optional<QString> answer;
    answer.swap(textAnswers.front());
    textAnswers.pop_front();
    return answer;
}

QString WindowTest::askOpenFile(const QString&, const QString&) {
    if (fileAnswers.empty()) return QString();
    QString f = fileAnswers.front();
    fileAnswers.pop_front();
    return f;
}

void WindowTest::tell(const QString& title, const QString& text) { told << title + "|" + text; }

bool WindowTest::confirmImport(const k3::ImportPreview& preview) {
    previews << preview;
    return askOkCancel("读入历史", preview.question, true);
}

std::optional<QString> WindowTest::askUpdateAddress(const k3::UpdateAddressQuestion& question) {
    return askText("在线更新地址", question.prompt, question.preset, false);
}

bool WindowTest::openUrl(const QUrl& url) {
    opened << url.toString();
    return openSucceeds;
}

void WindowTest::typeKeys(const QString& keys) {
    for (QChar c : keys) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

void WindowTest::clickMenuEntry(const QString& menu, const QString& entry) {
    auto* m = find<QMenu>(menu);
    QMenuBar* bar = w->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(m->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m, 1000)) << menu.toStdString();
    QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(action(entry)).center());
    settle();
}

}  // namespace k3test
