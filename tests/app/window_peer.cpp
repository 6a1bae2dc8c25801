// A second window on a history, in a process of its own, for the tests of two programs on one history:
// the real main window with its real dialogs, started from the folder it is started in (as a portable copy
// is), doing what its standard input says, one line at a time, and answering each on standard output:
//   list            the import's file dialog browsed to the data folder until it has read it, then closed
//   type ISSUE DDD  the issue and the three dice typed into the entry boxes
//   switch N        province N chosen in 彩种 (its action triggered); answered as soon as the switch runs
//   close           the window closed; the program ends
// An answer is "ok", or "error " and what went wrong. Usage: k3gap-window-peer DATA_DIR SETTINGS_FILE
#include <poll.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <string>

#include "background_task.h"
#include "history_session.h"
#include "main_window.h"
#include "qt_support.h"
#include "window_driver.h"

namespace {

void answer(const QString& problem) {
    const std::string line = problem.isEmpty() ? "ok\n" : "error " + problem.simplified().toStdString() + "\n";
    if (::write(STDOUT_FILENO, line.data(), line.size()) < 0) std::_Exit(3);
}

// The next line of standard input, the window's events handled while it is awaited; empty at its end.
std::string nextLine() {
    static std::string pending;
    for (;;) {
        if (const size_t end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 10) > 0) {
            char buf[256];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) return {};
            pending.append(buf, static_cast<size_t>(n));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: k3gap-window-peer DATA_DIR SETTINGS_FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dataDir = QString::fromLocal8Bit(argv[1]);
    auto window = std::make_unique<k3::MainWindow>(k3::AppContext{dataDir, QString::fromLocal8Bit(argv[2])});
    window->show();
    auto* session = window->findChild<k3::HistorySession*>();
    const bool checked =
        session && k3test::eventually([&] { return session->access() != k3::HistoryAccess::kChecking; }, 20000);
    answer(checked && session->canChange() ? QString() : "the history cannot be changed");
    for (std::string line = nextLine(); !line.empty(); line = nextLine()) {
        const QStringList words = QString::fromStdString(line).split(' ', Qt::SkipEmptyParts);
        if (words.value(0) == "list") {
            answer(k3test::browseImportDialogTo(window.get(), dataDir));
        } else if (words.value(0) == "type" && words.size() == 3) {
            k3test::UnexpectedMessages messages;
            QString problem = k3test::typeDraw(window.get(), words[1], words[2]);
            if (!messages.texts().isEmpty()) problem += " " + messages.texts().join(" ");
            answer(problem);
        } else if (words.value(0) == "switch" && words.size() == 2) {
            auto* entry = window->findChild<QAction*>("mnuK3_" + words[1]);
            if (entry) entry->trigger();
            answer(!entry ? "no province " + words[1] : session->switching() ? QString() : "the switch did not start");
        } else if (words.value(0) == "close") {
            window.reset();
            k3::waitForBackgroundTasks();
            answer({});
            return 0;
        } else {
            answer("unknown command " + QString::fromStdString(line));
        }
    }
    return 1;
}
