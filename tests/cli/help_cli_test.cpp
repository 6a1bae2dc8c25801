// k3gap-cli's help names every command with its options and an example; the data folder's one rule.
#include <gtest/gtest.h>

#include <QDir>
#include <filesystem>

#include "cli_runner.h"
#include "settings/data_folder.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const char* const kCommandNames[] = {"show",   "next",   "add",  "search",      "partial",   "group", "overview",
                                     "import", "update", "trim", "export-text", "provinces", "watch"};

}  // namespace

TEST(CliHelp, EveryCommandWithItsOptionsAndAnExample) {
    k3test::TempDir dir;
    k3test::CliRun all = k3test::runCli(dir.path().string(), dir.file("config"), "--help");
    EXPECT_EQ(all.rc, 0);
    EXPECT_EQ(all.out.find("README"), std::string::npos);  // not installed with the package
    for (const std::string name : kCommandNames) {
        EXPECT_NE(all.out.find("\n  " + name), std::string::npos) << name;
        EXPECT_NE(all.out.find("例：k3gap-cli " + name), std::string::npos) << name;
        k3test::CliRun one = k3test::runCli(dir.path().string(), dir.file("config"), name + " --help");
        EXPECT_EQ(one.rc, 0) << name;
        EXPECT_NE(one.out.find("例：k3gap-cli " + name), std::string::npos) << name << ": " << one.out;
        EXPECT_EQ(one.out.find("例：", one.out.find("例：") + 1), std::string::npos) << name << ": one command only";
    }
    k3test::CliRun bad = k3test::runCli(dir.path().string(), dir.file("config"), "frobnicate --help");
    EXPECT_EQ(bad.rc, 2);
}

TEST(DataFolder, AnInstalledProgramUsesTheUsersFolder) {
    k3test::TempDir dir;
    const QString user = QString::fromStdString(dir.file("user/k3gap"));
    for (const char* installed : {"/usr/bin", "/usr/local/bin", "/opt/k3gap/bin", "/usr"})
        EXPECT_TRUE(k3::installedProgram(installed)) << installed;
    for (const char* own : {"/usrlocal/bin", "/home/me/k3gap", "/optional"})
        EXPECT_FALSE(k3::installedProgram(own)) << own;
    // /usr/bin may be writable (run as root): the user's folder all the same.
    k3::DataFolder folder = k3::chooseDataFolder("/usr/bin", user);
    EXPECT_EQ(folder.dir, user);
    EXPECT_TRUE(fs::is_directory(dir.file("user/k3gap")));
    // A build tree or a portable copy keeps its data beside the program.
    const QString portable = QString::fromStdString(dir.file("portable"));
    QDir().mkpath(portable);
    EXPECT_EQ(k3::chooseDataFolder(portable, user).dir, portable);
}

// A value left out (an unset variable in a script gives an empty word) is a usage error in every
// command's options and in the options before the command, never the default, and an option's name is
// never taken for the value before it.
TEST(CliUsage, EmptyValuesAndOptionNamesAsValuesAreRefused) {
    k3test::TempDir dir;
    auto cli = [&dir](const std::string& args) {
        return k3test::runCli(dir.path().string(), dir.file("config"), args);
    };
    ASSERT_EQ(cli("add 130325001 253").rc, 0);
    const std::string out = dir.file("out");
    for (const std::string& args : std::vector<std::string>{"--data '' next",
                                                            "--lottery '' next",
                                                            "--segment-base '' next",
                                                            "--data --lottery 0 next",
                                                            "--lottery --data next",
                                                            "trend --last 3 --png --xlsx",
                                                            "trend --last 3 --xlsx --png",
                                                            "trend --from '' --last 3",
                                                            "show --xlsx ''",
                                                            "show --xlsx=",
                                                            "search --pos 1=2 --from ''",
                                                            "search --pos 1=2 --to --xlsx " + out,
                                                            "search --type '' --pos 1=2",
                                                            "search --pos ''",
                                                            "partial --values '' --width 2",
                                                            "partial --values 1,2,3 --width ''",
                                                            "group --values 1,2 --size ''",
                                                            "group --values --size 2",
                                                            "group --values 1,2 --size 2 --xlsx ''",
                                                            "overview --from ''",
                                                            "overview --item '' --png " + out,
                                                            "fairness --to ''",
                                                            "backtest --times ''",
                                                            "backtest --min-omission ''",
                                                            "update --url ''",
                                                            "update --today ''",
                                                            "trim --to ''",
                                                            "trim --last --clear"}) {
        k3test::CliRun r = cli(args);
        EXPECT_EQ(r.rc, 2) << args << ": " << r.err;
        EXPECT_NE(r.err.find("needs a value"), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists("--xlsx") || fs::exists("--png") || fs::exists(out));
    // Nothing changed: the one draw, in the folder given.
    k3test::CliRun r = cli("next");
    EXPECT_EQ(r.out, "130325001\t130325002\n");
    // A negative number is a value.
    EXPECT_EQ(cli("partial --values -1,2,3 --width 2").rc, 1);
}
