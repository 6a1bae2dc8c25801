// Qt's own texts (standard buttons, file and input dialogs, context menus) in Chinese, like the window.
#pragma once
#include <QString>
#include <QStringList>
#include <optional>

class QCoreApplication;
class QDialogButtonBox;
class QFileDialog;
class QInputDialog;
class QMessageBox;
class QWidget;

namespace k3 {

// The Qt translation that matches the given UI languages ("zh-CN", "zh-Hant-HK", "en-US", ...): "zh_TW"
// for the first Chinese language when it is written in traditional characters, else "zh_CN". A language
// other than Chinese is passed over: the window's own texts are Chinese, and Qt's must match them.
QString qtTranslationLanguage(const QStringList& uiLanguages);

// Where Qt's translations are looked for: Qt's own folder, then beside the program.
QStringList qtTranslationDirs();

// Loads qtbase_<language>.qm for the system's UI languages from qtTranslationDirs() and installs it;
// false when no such file is found. Replaces a translation installed by an earlier call.
bool installChineseTranslation(QCoreApplication& app);
bool installChineseTranslation(QCoreApplication& app, const QStringList& uiLanguages, const QStringList& dirs);
// Removes the translation installed above, if any.
void removeChineseTranslation(QCoreApplication& app);

// Set the standard buttons' texts directly (确定, 取消, 是(&Y), 否(&N), ...), so a dialog reads Chinese even on a
// machine without Qt's translation. Call after the buttons are added.
void chineseButtons(QMessageBox& box);
void chineseButtons(QDialogButtonBox& box);
void chineseButtons(QInputDialog& dialog);
void chineseButtons(QFileDialog& dialog);

// A question with 确定 and 取消; true when 确定 was chosen. `cancelByDefault` makes 取消 the default
// button, for questions whose 确定 cannot be undone.
bool askOkCancel(QWidget* parent, const QString& title, const QString& text, bool cancelByDefault = false);
// A line of text with 确定 and 取消, the field preset to `preset`; nothing when cancelled.
std::optional<QString> askText(QWidget* parent, const QString& title, const QString& prompt, const QString& preset,
                               bool cancelByDefault = false);
// A message with 确定.
void showInformation(QWidget* parent, const QString& title, const QString& text);

}  // namespace k3
