// The window over a history file it may not or cannot change: damaged, read-only, held by another
// program, or in the user's data folder instead of the program's. It shows and analyses what it can,
// keeps the commands that change the history off, and says why, naming the file.
#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <fstream>

#include "data_folder.h"
#include "history_session.h"
#include "store/issue.h"
#include "window_fixture.h"

using namespace k3test;
namespace fs = std::filesystem;

namespace {

const char* const kChangingControls[] = {"Command21",    "cmdRdLst",     "Command3",
                                         "MaskEdBox1_1", "MaskEdBox1_2", "MaskEdBox1_3"};
const char* const kChangingEntries[] = {"mnuErase", "mnuClear", "mnuDlzd", "mnuEszhzd"};

class DatabaseWindowTest : public WindowTest {
protected:
    std::vector<k3::DerivedDraw> history = generateDraws(200, 78, 130325001);

    void fill() { k3::HistoryStore(dbPath()).append(history); }
    QString q(const std::string& s) const { return QString::fromStdString(s); }

    // Whether the commands that change the history are on; every one of them agrees.
    bool changesOn() {
        bool on = find(kChangingControls[0])->isEnabled();
        for (const char* name : kChangingControls) EXPECT_EQ(find(name)->isEnabled(), on) << name;
        for (const char* name : kChangingEntries) EXPECT_EQ(action(name)->isEnabled(), on) << name;
        return on;
    }
    // The history is shown, searched and written to a text file.
    void showsSearchesAndExports(int rows) {
        EXPECT_EQ(gridRows(k3::names::kHistoryGrid), rows);
        ASSERT_TRUE(find(k3::names::kSearchButton)->isEnabled());
        click("Check11_1");
        type("Text22_1", "2");
        click(k3::names::kSearchButton);
        EXPECT_GT(gridRows(k3::names::kMatchesGrid), 0);
        click(k3::names::kExportTextButton);
        EXPECT_TRUE(status().startsWith(QString("已导出 %1 期历史号码").arg(rows))) << status().toStdString();
    }
};

// Overwrites a page of table YL with garbage: the draws read as before, a check of the whole file finds
// the damage.
void damageGroupTable(const std::string& db) {
    int64_t page = 0, pageSize = 0;
    {
        k3::HistoryStore store(db);
        store.replaceYL(std::vector<k3::YLRow>(300, k3::YLRow{"1 2 3", 1, 2, 3, 1.5f}));
        page = store.db().scalarInt("SELECT MAX(pageno) FROM dbstat WHERE name = 'YL' AND pagetype = 'leaf'");
        pageSize = store.db().scalarInt("PRAGMA page_size");
    }
    ASSERT_GT(page, 1);
    std::fstream f(db, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp((page - 1) * pageSize);
    for (int64_t i = 0; i < pageSize; ++i) f.put(static_cast<char>(0x5A ^ i));
}

}  // namespace

// The check for damage reads the whole file in the background once the window is up. The commands that
// change the history are on from the start: one started before the verdict waits for it on its own
// thread, and the store then does not check the file a second time.
TEST_F(DatabaseWindowTest, ChangesAreOnAtOnceAndWaitForTheCheckForDamage) {
    fill();
    testApp();
    w = std::make_unique<k3::MainWindow>(k3::AppContext{q(dir.path().string()), settingsFile()}, this);
    w->show();
    // No event handled yet: the check has not even begun.
    EXPECT_EQ(session().access(), k3::HistoryAccess::kChecking);
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200);
    EXPECT_TRUE(changesOn());
    QTest::mouseClick(find<QAbstractButton>(k3::names::kDeleteNewestButton), Qt::LeftButton);
    ASSERT_TRUE(eventually([this] { return !w->busy() && session().access() != k3::HistoryAccess::kChecking; }))
        << "the deletion did not end";
    EXPECT_EQ(session().access(), k3::HistoryAccess::kWritable);
    EXPECT_TRUE(changesOn());
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 199);
    EXPECT_EQ(k3::HistoryStore(dbPath()).count(), 199);
    EXPECT_TRUE(session().store().integrityChecked());
    EXPECT_TRUE(told.isEmpty());
}

// A draw typed before the verdict is kept in the boxes and stored once the check has passed; on a file
// the check finds damaged it is never stored.
TEST_F(DatabaseWindowTest, ADrawTypedDuringTheCheckIsStoredWhenItPasses) {
    for (bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "intact");
        fs::remove(dbPath());
        fs::remove(dbPath() + "-wal");
        fs::remove(dbPath() + "-shm");
        fill();
        if (damaged) damageGroupTable(dbPath());
        told.clear();
        testApp();
        w.reset();
        w = std::make_unique<k3::MainWindow>(k3::AppContext{q(dir.path().string()), settingsFile()}, this);
        w->show();
        QWidget* first = find("MaskEdBox1_1");
        first->setFocus();
        for (const char* name : {"MaskEdBox1_1", "MaskEdBox1_2", "MaskEdBox1_3"})
            QTest::keyClick(find(name), Qt::Key_4);
        EXPECT_TRUE(status().contains("检查完毕即保存这一期")) << status().toStdString();
        EXPECT_EQ(text("MaskEdBox1_3"), "4");
        ASSERT_TRUE(eventually([this] { return session().access() != k3::HistoryAccess::kChecking; }))
            << "the check gave no verdict";
        ASSERT_TRUE(eventually([this] { return !w->busy(); })) << "the window stayed busy";
        if (damaged) {
            EXPECT_EQ(session().access(), k3::HistoryAccess::kDamaged);
            EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200);
            EXPECT_EQ(told.size(), 1);
            EXPECT_FALSE(changesOn());
        } else {
            EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 201);
            EXPECT_EQ(gridRow(k3::names::kHistoryGrid, 200).mid(1), QStringList({"4", "4", "4"}));
            EXPECT_TRUE(status().startsWith("已保存第")) << status().toStdString();
            EXPECT_EQ(text("MaskEdBox1_1"), "");
        }
        w.reset();
        EXPECT_EQ(k3::HistoryStore(dbPath()).count(), damaged ? 200 : 201);
    }
}

// A change started before the verdict on a damaged file fails with the damage and changes nothing.
TEST_F(DatabaseWindowTest, AChangeStartedBeforeTheCheckFindsDamageChangesNothing) {
    fill();
    damageGroupTable(dbPath());
    const std::string before = fileBytes(dbPath());
    testApp();
    w = std::make_unique<k3::MainWindow>(k3::AppContext{q(dir.path().string()), settingsFile()}, this);
    w->show();
    ASSERT_TRUE(changesOn());
    QTest::mouseClick(find<QAbstractButton>(k3::names::kDeleteNewestButton), Qt::LeftButton);
    ASSERT_TRUE(eventually([this] { return !w->busy() && session().access() != k3::HistoryAccess::kChecking; }))
        << "the deletion did not end";
    EXPECT_EQ(session().access(), k3::HistoryAccess::kDamaged);
    EXPECT_FALSE(changesOn());
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200);
    EXPECT_TRUE(status().contains("已损坏")) << status().toStdString();
    w.reset();
    EXPECT_TRUE(fileBytes(dbPath()) == before);
}

TEST_F(DatabaseWindowTest, ADamagedFileIsShownAndAnalysedNeverChanged) {
    fill();
    damageGroupTable(dbPath());
    const std::string before = fileBytes(dbPath());
    open();
    EXPECT_EQ(session().access(), k3::HistoryAccess::kDamaged);
    EXPECT_FALSE(changesOn());
    for (const QString& part : {q(dbPath()), QString("已损坏"), QString("重新读入历史号码文本文件")})
        EXPECT_TRUE(status().contains(part)) << status().toStdString();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith("历史数据库已损坏|" + status()));
    EXPECT_TRUE(told[0].contains("改名或移走")) << told[0].toStdString();
    showsSearchesAndExports(200);
    click(k3::names::kCalculateButton);  // the group calculation runs, though its table cannot be stored
    EXPECT_EQ(told.size(), 1);
    EXPECT_TRUE(fileBytes(dbPath()) == before);
}

TEST_F(DatabaseWindowTest, AReadOnlyFileIsShownAndAnalysedNotChanged) {
    if (!runHereUnprivileged()) return;
    fill();
    fs::permissions(dbPath(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = fileBytes(dbPath());
    open();
    EXPECT_EQ(session().access(), k3::HistoryAccess::kReadOnly);
    EXPECT_EQ(status(), q("历史数据库 " + dbPath() + " 不能写入（文件是只读的），历史号码只能查看，不能改动"));
    EXPECT_FALSE(changesOn());
    EXPECT_TRUE(told.isEmpty());
    showsSearchesAndExports(200);
    w.reset();
    EXPECT_TRUE(fileBytes(dbPath()) == before);
    EXPECT_FALSE(fs::exists(dbPath() + "-wal") || fs::exists(dbPath() + "-shm"));
}

TEST_F(DatabaseWindowTest, AReadOnlyFolderIsShownNotChanged) {
    if (!runHereUnprivileged()) return;
    const std::string data = dir.file("data");
    fs::create_directory(data);
    k3::HistoryStore(data + "/gapbook.db").append(history);
    fs::permissions(data, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    testApp();
    w = std::make_unique<k3::MainWindow>(k3::AppContext{q(data), settingsFile()}, this);
    w->show();
    waitForDamageCheck();
    EXPECT_EQ(status(), q("历史数据库 " + data + "/gapbook.db 不能写入（它所在的文件夹 " + data +
                          " 是只读的），历史号码只能查看，不能改动"));
    EXPECT_FALSE(changesOn());
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200);
    EXPECT_TRUE(find(k3::names::kSearchButton)->isEnabled());
    w.reset();
    EXPECT_FALSE(fs::exists(data + "/gapbook.db-wal") || fs::exists(data + "/gapbook.db-shm"));
    fs::permissions(data, fs::perms::owner_write, fs::perm_options::add);  // so that the folder can go
}

// Another program holds the file with a lock that keeps readers out (a writer of a file without a
// write-ahead log): the window comes up at once, says that it waits, and reads the history when the lock
// goes, with every command on, without a restart.
TEST_F(DatabaseWindowTest, AFileHeldByAnotherProgramIsReadWhenItLetsGo) {
    fill();
    k3::Db(dbPath(), false).exec("PRAGMA journal_mode=DELETE");
    auto held = std::make_unique<HeldWrite>(dbPath(), "BEGIN EXCLUSIVE; DELETE FROM lishi;");
    open();
    EXPECT_EQ(session().access(), k3::HistoryAccess::kWaiting);
    EXPECT_EQ(status(), q("历史数据库 " + dbPath() + " 正被另一个程序改动，等它改完后自动读入历史号码…"));
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 0);
    EXPECT_FALSE(changesOn());
    EXPECT_FALSE(find(k3::names::kSearchButton)->isEnabled());
    EXPECT_FALSE(find(k3::names::kExportTextButton)->isEnabled());
    // Tried again meanwhile (every few hundred milliseconds), still held.
    EXPECT_TRUE(holdsFor([this] { return session().access() == k3::HistoryAccess::kWaiting; }, 1200))
        << "the window stopped waiting for a file still held";
    EXPECT_TRUE(told.isEmpty());

    held.reset();  // rolled back: the history is as it was
    ASSERT_TRUE(eventually([this] { return gridRows(k3::names::kHistoryGrid) > 0; }))
        << "the history was not read once the file was let go";
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 200);
    waitForDamageCheck();
    EXPECT_TRUE(changesOn());
    EXPECT_TRUE(find(k3::names::kSearchButton)->isEnabled());
    EXPECT_EQ(status(), "共 200 期历史号码");
    EXPECT_EQ(text(k3::names::kRangeStartEdit), "130325001");
    EXPECT_EQ(text(k3::names::kRangeEndEdit), q(std::to_string(history.back().sqqh)));
    EXPECT_EQ(text(k3::names::kNextIssueEdit), q(std::to_string(k3::nextIssue(history.back().sqqh, 78, false))));
    QTest::keyClicks(find("MaskEdBox1_1"), "1");
    QTest::keyClicks(find("MaskEdBox1_2"), "2");
    QTest::keyClicks(find("MaskEdBox1_3"), "3");
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 201);
    EXPECT_TRUE(told.isEmpty());
}

TEST_F(DatabaseWindowTest, TheTitleNamesTheFileInUse) {
    open();
    EXPECT_EQ(w->windowTitle(), "快3遗漏分析 — 福建快3 — " + QDir::toNativeSeparators(q(dbPath())));
}

// The program's folder is used when the program may write there; else the user's data folder, and
// when the program's folder holds a history database, the window says which one it uses instead.
TEST_F(DatabaseWindowTest, AReadOnlyProgramFolderGivesTheUsersFolder) {
    if (!runHereUnprivileged()) return;
    const std::string program = dir.file("program"), user = dir.file("user/k3gap");
    fs::create_directory(program);
    k3::DataFolder folder = k3::chooseDataFolder(q(program), q(user));
    EXPECT_EQ(folder.dir, q(program));
    EXPECT_TRUE(folder.note.isEmpty());

    const auto readOnly = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(program, readOnly, fs::perm_options::remove);
    folder = k3::chooseDataFolder(q(program), q(user));
    EXPECT_EQ(folder.dir, q(user));
    EXPECT_TRUE(fs::is_directory(user));
    EXPECT_TRUE(folder.note.isEmpty());  // no history there to miss

    fs::permissions(program, fs::perms::owner_write, fs::perm_options::add);
    k3::HistoryStore(program + "/gapbook.db").append(history);
    fs::permissions(program, readOnly, fs::perm_options::remove);
    folder = k3::chooseDataFolder(q(program), q(user));
    EXPECT_EQ(folder.dir, q(user));
    EXPECT_EQ(folder.note, q("程序文件夹 " + program + " 不能写入，因此使用用户数据文件夹 " + user +
                             " 中的历史数据库；" + program + "/gapbook.db 未被使用"));

    testApp();
    w = std::make_unique<k3::MainWindow>(k3::AppContext{folder.dir, settingsFile(), folder.note}, this);
    w->show();
    waitForDamageCheck();
    EXPECT_EQ(status(), folder.note);
    EXPECT_EQ(w->windowTitle(), q("快3遗漏分析 — 福建快3 — " + user + "/gapbook.db"));
    EXPECT_EQ(gridRows(k3::names::kHistoryGrid), 0);
    EXPECT_TRUE(changesOn());
    fs::permissions(program, fs::perms::owner_write, fs::perm_options::add);
}
