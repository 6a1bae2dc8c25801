// What a player does with a main window that both the tests and the second window of the tests of two
// programs on one history need: browse the import's file dialog to a folder, type a draw. Real key and
// mouse events, real dialogs; each returns what went wrong, empty when all went as expected.
#pragma once
#include <QString>
#include <QStringList>

class QTimer;
class QWidget;

namespace k3test {

// The import button clicked, its question answered 确定, the file dialog (which starts in a folder of
// `folder`) taken up to `folder` with its own button until it shows a file there (a text file: `folder` must
// hold one); then 取消. Nothing is imported.
QString browseImportDialogTo(QWidget* window, const QString& folder);

// The issue typed into the issue box, then the three dice into the entry boxes; the window stores the
// draw when the third arrives.
QString typeDraw(QWidget* window, const QString& issue, const QString& dice);

// Every message box that opens while it lives is recorded and closed with 确定 (a message box nobody
// expects would wait for a click forever).
class UnexpectedMessages {
public:
    UnexpectedMessages();
    ~UnexpectedMessages();
    UnexpectedMessages(const UnexpectedMessages&) = delete;
    UnexpectedMessages& operator=(const UnexpectedMessages&) = delete;
    const QStringList& texts() const { return m_texts; }

private:
    QStringList m_texts;
    QTimer* m_timer;
};

}  // namespace k3test
