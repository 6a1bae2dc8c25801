// Helpers of the tests that run Qt widgets offscreen: the one application object, and answering the
// dialog that a modal call is about to open.
#pragma once
#include <QApplication>
#include <QStringList>
#include <functional>

class QAbstractButton;
class QWidget;

namespace k3test {

// The tests' QApplication, made on first use with the offscreen platform.
QApplication& testApp();

// Runs `act` on the dialog that the next modal call opens (of class `kind`, when given).
void onNextDialog(std::function<void(QWidget*)> act, const char* kind = nullptr);
// The visible button of a dialog with that text; null when there is none.
QAbstractButton* buttonReading(QWidget* dialog, const QString& text);
// The texts of a dialog's visible buttons.
QStringList buttonTexts(QWidget* dialog);

}  // namespace k3test
