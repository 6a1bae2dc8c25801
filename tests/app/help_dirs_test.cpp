// The help pages found where a build tree or an installation puts them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "help_dirs.h"
#include "test_support.h"

namespace {

void writeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html></html>");
}

TEST(HelpDirs, BesideTheProgramThenInstalledThenSourceTree) {
    const QStringList dirs = k3::helpDocumentDirs("/opt/k3/bin");
    ASSERT_EQ(dirs.size(), 3);
    EXPECT_EQ(dirs[0], "/opt/k3/bin/docs");
    EXPECT_EQ(dirs[1], "/opt/k3/share/k3gap/docs");
    EXPECT_TRUE(QFileInfo(dirs[2] + "/index.html").isFile()) << dirs[2].toStdString();
}

TEST(HelpDirs, FindsPagesOfAnInstalledProgram) {
    k3test::TempDir tmp;
    const QString prefix = QString::fromStdString(tmp.path().string());
    QDir().mkpath(prefix + "/bin");
    writeFile(prefix + "/share/k3gap/docs/manual.html");
    const QStringList dirs = k3::helpDocumentDirs(prefix + "/bin");
    EXPECT_EQ(k3::findHelpDocument("manual.html", dirs), prefix + "/share/k3gap/docs/manual.html");
    // A folder named like a page is no page; a page beside the program comes first.
    QDir().mkpath(prefix + "/bin/docs/index.html");
    EXPECT_EQ(k3::findHelpDocument("index.html", dirs), QFileInfo(dirs[2] + "/index.html").absoluteFilePath());
    writeFile(prefix + "/bin/docs/manual.html");
    EXPECT_EQ(k3::findHelpDocument("manual.html", dirs), prefix + "/bin/docs/manual.html");
    EXPECT_EQ(k3::findHelpDocument("missing.html", dirs), QString());
}

}  // namespace
