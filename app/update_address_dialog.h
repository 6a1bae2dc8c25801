// 设置 → 在线更新地址: the address template of the online update, with 试读, which fetches the page of the
// address as typed and shows what an update would add, storing nothing. The fetch runs on the window's
// background helper; the dialog goes on answering meanwhile, and closing it stops the fetch.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace k3 {

class TaskControl;

struct UpdateAddressQuestion {
    QString prompt;  // what the placeholders mean, with an example
    QString preset;  // the address set now, or empty
    // Fetches the page of a template in the background and calls `show` with what it found, on the window's
    // thread and only while `context` exists; the control stops it.
    using Show = std::function<void(const QString& text)>;
    std::function<std::shared_ptr<TaskControl>(const QString& tmpl, QObject* context, Show show)> tryRead;
};

class UpdateAddressDialog : public QDialog {
    Q_OBJECT

public:
    UpdateAddressDialog(QWidget* parent, UpdateAddressQuestion question);
    ~UpdateAddressDialog() override;
    QString address() const;

private:
    void tryRead();

    UpdateAddressQuestion m_question;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_tryButton = nullptr;
    QLabel* m_result = nullptr;
    std::shared_ptr<TaskControl> m_trying;
};

}  // namespace k3
