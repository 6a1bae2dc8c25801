// Two windows and k3gap-cli on one history, as players use them: a window started from the data folder
// (its file dialog lists the history's files), the import's file dialog browsed there, a second window in
// a process of its own, and the command line adding and reading beside them. On POSIX, a process that
// opens and closes one of the history's files outside SQLite loses its locks on the file; the next
// program to close the file then takes itself for the last one and deletes the log under the others,
// whose draws are lost. Every program keeps its lock, no log is deleted under anyone, and every draw of
// every program is in the history at the end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <chrono>
#include <fstream>
#include <set>

#include "background_task.h"
#include "cli_runner.h"
#include "store/province_history.h"
#include "window_driver.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

// The working folder changed for as long as it lives.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder) : m_saved(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder() {
        std::error_code ec;
        fs::current_path(m_saved, ec);
    }

private:
    fs::path m_saved;
};

// The second window (tests/app/window_peer.cpp), started from the data folder, driven line by line.
class SecondWindow {
public:
    SecondWindow(const std::string& dataDir, const std::string& settingsFile) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        const std::string program = K3GAP_WINDOW_PEER;
        char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(dataDir.c_str()),
                              const_cast<char*>(settingsFile.c_str()), nullptr};
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::chdir(dataDir.c_str()) != 0 || ::dup2(in[0], STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0)
                ::_exit(127);
            ::execv(argv[0], argv);
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_to = in[1];
        m_from = out[0];
    }
    ~SecondWindow() {
        if (m_to >= 0) ::close(m_to);
        if (m_pid > 0 && !exited(std::chrono::seconds(20))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_from >= 0) ::close(m_from);
    }
    pid_t pid() const { return m_pid; }
    // The answer to the start ("" when it did not start).
    std::string started() { return m_pid > 0 ? reply() : "error not started"; }
    // Sends one command and returns its answer: "ok", or "error ..." (also when none comes in time).
    std::string ask(const std::string& command) {
        const std::string line = command + "\n";
        if (::write(m_to, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "error not sent";
        return reply();
    }
    // The process ended within `wait`, with status 0.
    bool exited(std::chrono::milliseconds wait) {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            ::usleep(10000);
        }
        return false;
    }

private:
    std::string reply() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            if (const size_t end = m_pending.find('\n'); end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return line;
            }
            if (std::chrono::steady_clock::now() > until) return "error no answer in time";
            pollfd p{m_from, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(m_from, buf, sizeof buf);
            if (n <= 0) return "error the second window ended";
            m_pending.append(buf, static_cast<size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_to = -1, m_from = -1;
    std::string m_pending;
};

class TwoProgramsTest : public WindowTest {
protected:
    std::string config() const { return dir.file("config"); }
    CliRun cli(const std::string& args) {
        return runCli(dir.path().string(), config(), "--lottery 0 --segment-base 1 " + args);
    }
    // After another program ended: this process and the second window (when given) still hold their
    // locks on the history, and no log was deleted under either.
    void expectLocksKept(const std::string& after, pid_t second = 0) {
        const std::set<pid_t> holders = sqliteLockHolders(dbPath());
        EXPECT_TRUE(holders.count(::getpid())) << "after " << after << " the window holds no lock on the history";
        if (second) {
            EXPECT_TRUE(holders.count(second)) << "after " << after << " the second window holds no lock";
        }
        for (pid_t pid : {pid_t{0}, second})
            if (pid || second == 0)
                for (const std::string& fd : deletedHistoryFiles(pid))
                    ADD_FAILURE() << "after " << after << ", deleted under "
                                  << (pid ? "the second window" : "the window") << ": " << fd;
    }
};

std::string issueAt(int n) { return std::to_string(130325000 + n); }
std::string diceAt(int n) { return std::string{char('1' + n % 6), char('1' + (n / 6) % 6), char('1' + (n / 3) % 6)}; }

}  // namespace

TEST_F(TwoProgramsTest, TwoWindowsAndTheCommandLineKeepEveryDraw) {
    k3::HistoryStore(dbPath()).append(draws({{130325001, "253"}, {130325002, "146"}}));
    std::vector<std::string> expected = {issueAt(1), issueAt(2)};
    std::ofstream(dir.file("history.txt")) << "130325001 253\r\n";  // the dialog shows text files
    {
        // Started from the data folder, as a copy of the programs beside their data is: the file dialog made
        // at the start lists the working folder.
        WorkingFolder here(dir.path());
        openWithDialogs();
    }
    ASSERT_TRUE(session().canChange()) << session().accessMessage().toStdString();
    const QString folder = QString::fromStdString(dir.path().string());
    EXPECT_EQ(browseImportDialogTo(w.get(), folder), "");
    expectLocksKept("the import's file dialog listed the data folder");

    SecondWindow second(dir.path().string(), dir.file("second.ini"));
    ASSERT_EQ(second.started(), "ok");
    EXPECT_EQ(second.ask("list"), "ok");

    UnexpectedMessages messages;
    int n = 3;
    for (int round = 0; round < 20; ++round) {
        EXPECT_EQ(typeDraw(w.get(), QString::fromStdString(issueAt(n)), QString::fromStdString(diceAt(n))), "")
            << "round " << round;
        expected.push_back(issueAt(n++));
        CliRun r = cli("add " + issueAt(n) + " " + diceAt(n));
        EXPECT_EQ(r.rc, 0) << r.err;
        expected.push_back(issueAt(n++));
        expectLocksKept("k3gap-cli add", second.pid());
        r = cli("next");
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_EQ(r.out, issueAt(n - 1) + "\t" + issueAt(n) + "\n");
        expectLocksKept("k3gap-cli next", second.pid());
        EXPECT_EQ(second.ask("type " + issueAt(n) + " " + diceAt(n)), "ok") << "round " << round;
        expected.push_back(issueAt(n++));
        if (::testing::Test::HasFailure()) break;  // one round tells it; the others would repeat it
    }

    // The second window closes: it is not the last program on the history.
    EXPECT_EQ(second.ask("close"), "ok");
    EXPECT_TRUE(second.exited(std::chrono::seconds(20))) << "the second window did not end";
    expectLocksKept("the second window closed");
    CliRun r = cli("add " + issueAt(n) + " " + diceAt(n));
    EXPECT_EQ(r.rc, 0) << r.err;
    expected.push_back(issueAt(n++));
    expectLocksKept("k3gap-cli add beside one window");
    EXPECT_EQ(typeDraw(w.get(), QString::fromStdString(issueAt(n)), QString::fromStdString(diceAt(n))), "");
    expected.push_back(issueAt(n++));
    EXPECT_EQ(messages.texts(), QStringList());

    // The window closes last; every draw of every program is in the history, and the file is whole.
    w.reset();
    k3::waitForBackgroundTasks();
    r = cli("show");
    ASSERT_EQ(r.rc, 0) << r.err;
    std::vector<std::string> shown;
    for (size_t at = r.out.find('\n') + 1; at < r.out.size(); at = r.out.find('\n', at) + 1)
        shown.push_back(r.out.substr(at, 9));
    EXPECT_EQ(shown, expected);
    k3::Db db(dbPath(), k3::Db::Mode::kReadOnly);
    EXPECT_EQ(db.scalarText("PRAGMA integrity_check"), "ok");
}

// A window killed (kill -9) at any moment of a switch to another province loses nothing: the history it
// left (an older gapbook.db, given its province's record on the way) is whole with every draw, and the
// other province's file, new or not, is a history of its own that k3gap-cli opens.
TEST_F(TwoProgramsTest, KilledDuringASwitchLosesNothing) {
    const auto fujian = generateDraws(3000, 78, 130325001);
    const auto jiangsu = generateDraws(2000, 82, 130401001);
    std::vector<int32_t> fujianIssues;
    for (const auto& d : fujian) fujianIssues.push_back(d.sqqh);
    int round = 0;
    for (int delayMs : {0, 2, 5, 10, 25, 60, 150}) {
        for (bool jiangsuExists : {false, true}) {
            SCOPED_TRACE("killed " + std::to_string(delayMs) + " ms into the switch, 江苏's file " +
                         (jiangsuExists ? "there" : "new"));
            const std::string data = dir.file("kill" + std::to_string(round++));
            fs::create_directories(data);
            const std::string main = data + "/gapbook.db", js = data + "/gapbook-js.db";
            k3::HistoryStore(main).append(fujian);  // made before histories recorded their province
            if (jiangsuExists) k3::HistoryStore(js, "js").append(jiangsu);
            {
                SecondWindow second(data, data + "/settings.ini");
                ASSERT_EQ(second.started(), "ok");
                ASSERT_EQ(second.ask("switch 3"), "ok");
                if (delayMs) ::usleep(static_cast<useconds_t>(delayMs) * 1000);
                ::kill(second.pid(), SIGKILL);
                second.exited(std::chrono::seconds(10));
            }
            {
                k3::HistoryStore left(main);
                EXPECT_NO_THROW(left.checkIntegrity());
                EXPECT_EQ(left.issues(), fujianIssues);
                const auto recorded = left.recordedProvince();
                EXPECT_TRUE(!recorded || *recorded == "fj") << *recorded;
            }
            if (fs::exists(js)) {
                k3::ProvinceHistory h = k3::openProvinceHistory(data, 3, 0);
                EXPECT_EQ(h.files.database, js);
                EXPECT_NO_THROW(h.store->checkIntegrity());
                EXPECT_EQ(h.store->count(), jiangsuExists ? 2000 : 0);
            }
            const CliRun r = runCli(data, data + "/config", "--lottery 0 next");
            EXPECT_EQ(r.rc, 0) << r.err;
            EXPECT_EQ(r.out.substr(0, 9), std::to_string(fujian.back().sqqh));
            if (::testing::Test::HasFailure()) return;  // one round tells it
        }
    }
}
