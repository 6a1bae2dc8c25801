// Helpers of the tests that run Qt widgets offscreen: the one application object, and answering the
// dialog that a modal call is about to open.
#pragma once
#include <QApplication>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QWidget;

namespace k3test {

// The tests' QApplication, made on first use with the offscreen platform (its screen as
// K3GAP_TEST_SCREEN says, for example 1024x768 or 1920x1080@2; else the platform's own).
QApplication& testApp();

// Every wait of a widget test is one of these two, used as ASSERT_TRUE(eventually(...)) << "what did not
// happen": the test fails with that message instead of hanging, and no test sleeps blindly. (QTest's
// QTRY_ macros report to QTest, not to GoogleTest, so a test using them would pass on a timeout.)
// Handles events until `condition` holds; false when `timeoutMs` passes first.
[[nodiscard]] bool eventually(const std::function<bool()>& condition, int timeoutMs = 10000);
// Handles events for `ms`; false as soon as `condition` stops holding (a state that must last).
[[nodiscard]] bool holdsFor(const std::function<bool()>& condition, int ms);

// Runs `act` on the dialog that the next modal call opens (of class `kind`, when given).
void onNextDialog(std::function<void(QWidget*)> act, const char* kind = nullptr);
// The visible button of a dialog with that text; null when there is none.
QAbstractButton* buttonReading(QWidget* dialog, const QString& text);
// The texts of a dialog's visible buttons.
QStringList buttonTexts(QWidget* dialog);

}  // namespace k3test
