// Questions to the user and programs started for the user. The window asks through a Prompter, so
// tests answer without a dialog and record what would have been opened.
#pragma once
#include <QString>
#include <QUrl>
#include <optional>

class QFileDialog;
class QWidget;

namespace k3 {

struct ImportPreview;
struct UpdateAddressQuestion;

class Prompter {
public:
    virtual ~Prompter() = default;
    // OK/Cancel question; true for OK. `cancelByDefault`: Cancel is the default button (a question
    // whose OK cannot be undone).
    virtual bool askOkCancel(const QString& title, const QString& text, bool cancelByDefault = false) = 0;
    // Input box with a preset answer; nothing when cancelled. `cancelByDefault`: Enter cancels (an
    // answer that deletes history).
    virtual std::optional<QString> askText(const QString& title, const QString& prompt, const QString& preset,
                                           bool cancelByDefault = false) = 0;
    // A file to open, starting in `dir`; empty when cancelled.
    virtual QString askOpenFile(const QString& dir, const QString& filter) = 0;
    virtual void tell(const QString& title, const QString& text) = 0;
    // What an import read, before it stores; true to store. 取消 is the default answer.
    virtual bool confirmImport(const ImportPreview& preview) = 0;
    // The online update's address template (with 试读); nothing when cancelled.
    virtual std::optional<QString> askUpdateAddress(const UpdateAddressQuestion& question) = 0;
    // Opens a file or address with the desktop's default application; false when none could.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real thing: message and input boxes with Chinese buttons, the window's open-file dialog, the
// desktop services.
class DialogPrompter : public Prompter {
public:
    DialogPrompter(QWidget* parent, QFileDialog* openFileDialog);
    bool askOkCancel(const QString& title, const QString& text, bool cancelByDefault) override;
    std::optional<QString> askText(const QString& title, const QString& prompt, const QString& preset,
                                   bool cancelByDefault) override;
    QString askOpenFile(const QString& dir, const QString& filter) override;
    void tell(const QString& title, const QString& text) override;
    bool confirmImport(const ImportPreview& preview) override;
    std::optional<QString> askUpdateAddress(const UpdateAddressQuestion& question) override;
    bool openUrl(const QUrl& url) override;

private:
    QWidget* m_parent;
    QFileDialog* m_openFileDialog;
};

}  // namespace k3
