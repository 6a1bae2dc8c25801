// A real frmMain over a temporary data folder and settings file, under the offscreen platform.
// Questions are answered from queues instead of dialogs; opened addresses are recorded.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <deque>
#include <memory>
#include <optional>

#include "frmMain.h"
#include "test_support.h"

namespace k3test {

QApplication& testApp();

class WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<k3::frmMain> w;
    std::deque<bool> okAnswers;                      // answers to OK/Cancel questions (default OK)
    std::deque<std::optional<QString>> textAnswers;  // answers to input boxes (default: cancel)
    std::deque<QString> fileAnswers;                 // answers to the open-file dialog (default: none)
    QStringList questions, told, opened;

    QString settingsFile() const { return QString::fromStdString(dir.file("settings.ini")); }
    std::string dbPath() const { return dir.file("gapbook.db"); }
    // Creates (or re-creates) the window over the folder.
    void open();
    void TearDown() override { w.reset(); }
};

}  // namespace k3test
