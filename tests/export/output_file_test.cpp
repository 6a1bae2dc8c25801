// The one way an output file is written: refused targets, whole-or-nothing, a full disk said as such.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "export/history_text.h"
#include "export/output_file.h"
#include "export/workbook.h"
#include "export/xlsx_book.h"
#include "process_support.h"
#include "test_support.h"

using namespace k3;
namespace fs = std::filesystem;
using k3test::fileBytes;
using k3test::onSmallDisk;

namespace {

size_t entries(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

}  // namespace

TEST(OutputFile, EveryRefusedTargetIsLeftAloneAndNothingIsWritten) {
    k3test::TempDir dir;
    const std::string data = dir.path().string();
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}}));
    for (const char* side : {"gapbook.db-wal", "gapbook.db-shm", "gapbook.db-journal", "lsbf.txt"})
        if (!fs::exists(dir.file(side))) std::ofstream(dir.file(side)) << side;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    fs::create_directory(dir.file("sub"));
    fs::create_symlink(dir.file("gapbook.db"), dir.file("link-to-db"));
    fs::create_symlink("fifo", dir.file("link-to-fifo"));
    fs::create_hard_link(dir.file("lsbf.txt"), dir.file("hard-to-backup"));
    std::map<std::string, std::string> before;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (fs::is_regular_file(e.path())) before[e.path().string()] = fileBytes(e.path().string());
    const size_t count = entries(dir.path());

    for (const std::string& target :
         {dir.file("gapbook.db"), data + "/sub/../gapbook.db", dir.file("gapbook.db-wal"), dir.file("gapbook.db-shm"),
          dir.file("gapbook.db-journal"), dir.file("lsbf.txt"), dir.file("link-to-db"), dir.file("hard-to-backup"),
          dir.file("fifo"), dir.file("link-to-fifo"), dir.file("sub"), std::string("/dev/null"), std::string()}) {
        bool called = false;
        EXPECT_THROW(writeOutputFile(target, data, [&](const std::string&) { called = true; }), ExportError) << target;
        EXPECT_FALSE(called) << target;
        EXPECT_THROW(writeOutputBytes(target, data, "x"), ExportError) << target;  // a pipe never blocks
    }
    for (const auto& [path, bytes] : before) EXPECT_TRUE(fileBytes(path) == bytes) << path;
    EXPECT_EQ(entries(dir.path()), count);
    EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
    EXPECT_EQ(store.snapshot()->size(), 1u);
    try {
        writeOutputBytes(dir.file("gapbook.db"), data, "x");
    } catch (const ExportError& e) {
        EXPECT_NE(std::string(e.what()).find("历史数据库"), std::string::npos) << e.what();
    }
}

TEST(OutputFile, AnyDatabaseIsRefusedWithoutItsFolder) {
    k3test::TempDir dir;
    HistoryStore(dir.file("other.db")).append(k3test::draws({{130325001, "253"}}));
    std::ofstream(dir.file("other.db-journal")) << "journal";
    const std::string db = fileBytes(dir.file("other.db"));
    for (const char* name : {"other.db", "other.db-journal"})
        EXPECT_THROW(writeOutputBytes(dir.file(name), "", "x"), ExportError) << name;
    EXPECT_TRUE(fileBytes(dir.file("other.db")) == db);
    EXPECT_EQ(fileBytes(dir.file("other.db-journal")), "journal");
}

TEST(OutputFile, WholeOrNotAtAllBesideTheTarget) {
    k3test::TempDir dir;
    const std::string target = dir.file("out.png");
    std::ofstream(target, std::ios::binary) << "earlier";
    ::chmod(target.c_str(), 0640);

    // The side file is a new file of its own in the target's folder; a failure removes it.
    std::string seen;
    EXPECT_THROW(writeOutputFile(target, "",
                                 [&](const std::string& side) {
                                     seen = side;
                                     EXPECT_EQ(fs::path(side).parent_path(), dir.path());
                                     EXPECT_EQ(fs::file_size(side), 0u);
                                     std::ofstream(side, std::ios::binary) << "half";
                                     throw std::runtime_error("drawing failed");
                                 }),
                 ExportError);
    EXPECT_FALSE(fs::exists(seen));
    EXPECT_EQ(fileBytes(target), "earlier");
    EXPECT_EQ(entries(dir.path()), 1u);

    // Done: the content replaces the earlier file, which keeps its mode; a link stays a link.
    writeOutputBytes(target, "", "new picture");
    EXPECT_EQ(fileBytes(target), "new picture");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("out.png", dir.file("link.png"));
    writeOutputBytes(dir.file("link.png"), "", "through the link");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.png")));
    EXPECT_EQ(fileBytes(target), "through the link");
    EXPECT_EQ(entries(dir.path()), 2u);

    // A missing folder is said, and nothing is made.
    try {
        writeOutputBytes(dir.file("missing/x.png"), "", "x");
        ADD_FAILURE() << "written into a missing folder";
    } catch (const ExportError& e) {
        EXPECT_NE(std::string(e.what()).find("不存在"), std::string::npos) << e.what();
    }
}

TEST(OutputFile, AFullDiskIsSaidSoAndTheEarlierFileStaysWhole) {
    k3test::TempDir dir;
    const std::string small = dir.file("small");
    fs::create_directory(small);
    Grid big;
    big.header = {"期号", "号码"};
    for (int i = 0; i < 20000; ++i) big.rows.push_back({std::to_string(130000000 + i), "x" + std::to_string(i * 7919)});
    auto report = onSmallDisk(small, 64 * 1024, [&]() -> std::string {
        const std::string target = small + "/out.bin";
        std::ofstream(target, std::ios::binary) << "earlier";
        std::string problems;
        auto expectFull = [&](const std::function<void()>& write, const char* what) {
            try {
                write();
                problems += std::string(what) + ": written on a full disk\n";
            } catch (const ExportError& e) {
                if (std::string(e.what()).find("磁盘已满") == std::string::npos)
                    problems += std::string(what) + ": " + e.what() + "\n";
            }
            if (fileBytes(target) != "earlier") problems += std::string(what) + ": earlier file changed\n";
            if (entries(small) != 1) problems += std::string(what) + ": a side file is left\n";
        };
        expectFull([&] { writeOutputBytes(target, "", std::string(200 * 1024, 'p')); }, "bytes");
        expectFull([&] { writeWorkbook(big, target); }, "workbook");
        return problems;
    });
    if (!report) GTEST_SKIP() << "no mount namespace with a tmpfs here";
    EXPECT_EQ(*report, "");
}

// The history files of the data folder, however the target names them, are refused without being opened:
// opening one outside SQLite would drop this process's locks on it. A name the history would take for
// one of its files is refused before it exists.
TEST(OutputFile, HistoryFilesAreRefusedWithoutBeingOpened) {
    k3test::TempDir dir;
    const std::string data = dir.path().string();
    HistoryStore store(dir.file("gapbook.db"));
    store.append(k3test::draws({{130325001, "253"}}));
    HistoryStore province(dir.file("gapbook-gd.db"));
    province.append(k3test::draws({{130325001, "111"}}));
    fs::create_hard_link(dir.file("gapbook.db"), dir.file("linked"));
    const size_t count = entries(dir.path());
    for (const std::string& target :
         {dir.file("gapbook-gd.db"), dir.file("gapbook-gd.db-wal"), dir.file("linked"), dir.file("linked-wal"),
          dir.file("GAPBOOK.DB-JOURNAL"), dir.file("gapbook-jx.db"), dir.file("lsbf-gd.txt")}) {
        EXPECT_THROW(writeOutputBytes(target, data, "x"), ExportError) << target;
        for (const char* db : {"gapbook.db", "gapbook-gd.db"})
            EXPECT_TRUE(k3test::sqliteLockHolders(dir.file(db)).count(::getpid()))
                << target << " dropped the lock of " << db;
    }
    EXPECT_EQ(entries(dir.path()), count);
    EXPECT_EQ(province.snapshot()->size(), 1u);
}

// The writer replaces only a file its user may write, though the folder would let the user replace any.
TEST(OutputFile, AFileTheUserMayNotWriteIsRefused) {
    if (!k3test::runHereUnprivileged()) return;
    k3test::TempDir dir;
    const std::string target = dir.file("ro.out");
    std::ofstream(target, std::ios::binary) << "theirs";
    ::chmod(target.c_str(), 0444);
    try {
        writeOutputBytes(target, "", "mine");
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const ExportError& e) {
        EXPECT_EQ(std::string(e.what()), "文件 " + target + " 是只读的，未写入");
    }
    Grid g;
    g.header = {"期号"};
    EXPECT_THROW(writeWorkbook(g, target), ExportError);
    EXPECT_TRUE(fileBytes(target) == "theirs") << "the read-only file was written";
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(entries(dir.path()), 1u);
}

// Every call of umask() in this program comes here (a definition in the program comes before the C
// library's): learning the umask by setting it would change it for every thread of the process for a
// moment, and a file another thread created then would get the wrong permissions.
std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask) {
    ++umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

// A new file gets the user's umask, and writing one never touches the umask of the process.
TEST(OutputFile, NewFilesTakeTheUmaskWhichStaysAsItWas) {
    k3test::TempDir dir;
    const mode_t saved = ::umask(027);
    umaskCalls = 0;
    writeOutputBytes(dir.file("new.txt"), "", "x");
    Grid g;
    g.header = {"期号"};
    writeWorkbook(g, dir.file("new.xlsx"));
    EXPECT_EQ(umaskCalls, 0) << "the writer changed the umask";
    ::umask(saved);
    for (const char* name : {"new.txt", "new.xlsx"})
        EXPECT_EQ(fs::status(dir.file(name)).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
            << name;
}

// libxlsxwriter copies the rows into the sheet it packs without looking whether the copy arrived: on a
// disk with room for the rows but not for their copy, the workbook is said not to be written, never
// left cut short as if it were whole.
TEST(OutputFile, AWorkbookWithoutRoomForItsTemporaryCopyIsNotClaimed) {
    k3test::TempDir dir;
    const std::string small = dir.file("small");
    fs::create_directory(small);
    Grid big;
    big.header = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"};
    for (int i = 0; i < 40000; ++i) {
        std::vector<std::string> row;
        for (int c = 0; c < 12; ++c) row.push_back(std::to_string(100000 + (i * 7919 + c * 104729) % 900000));
        big.rows.push_back(std::move(row));
    }
    auto report = onSmallDisk(small, 24 << 20, [&]() -> std::string {
        const std::string target = small + "/out.xlsx";
        try {
            writeWorkbook(big, target);
            return "written";
        } catch (const ExportError& e) {
            if (std::string(e.what()).find("磁盘已满") == std::string::npos) return e.what();
        }
        return entries(small) == 0 ? "" : "files left behind";
    });
    if (!report) GTEST_SKIP() << "no mount namespace with a tmpfs here";
    EXPECT_EQ(*report, "");
    // The same workbook where there is room: written whole.
    writeWorkbook(big, dir.file("out.xlsx"));
    EXPECT_GT(fs::file_size(dir.file("out.xlsx")), 100000u);
}

// What other parts of the program write to standard error while libxlsxwriter may print there is
// written out afterwards, in its order; the library's own lines are not.
TEST(OutputFile, TheLibrarysLinesNeverReachStandardError) {
    k3test::TempDir dir;
    const std::string file = dir.file("stderr");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int to = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(to, 0);
    ::dup2(to, STDERR_FILENO);
    ::close(to);
    auto say = [](const char* s) { ASSERT_GT(::write(STDERR_FILENO, s, std::strlen(s)), 0); };
    std::string during;
    {
        LibraryStderr outer;
        say("first\n");
        std::thread other([&] {
            LibraryStderr inner;  // another workbook at the same time
            say("[ERROR][./src/packager.c:1541]: Error in closing member in the zipfile\n");
            say("from another thread\n");
        });
        other.join();
        say("[WARNING]: worksheet_write_string(): String exceeds Excel's limit\n");
        during = fileBytes(file);
    }
    say("after\n");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    EXPECT_EQ(during, "");  // held back while the library may print
    EXPECT_EQ(fileBytes(file), "first\nfrom another thread\nafter\n");
}
