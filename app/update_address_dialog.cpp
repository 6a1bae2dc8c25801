#include "update_address_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "background_task.h"
#include "object_names.h"
#include "translation.h"

namespace k3 {

UpdateAddressDialog::UpdateAddressDialog(QWidget* parent, UpdateAddressQuestion question)
    : QDialog(parent), m_question(std::move(question)) {
    setObjectName(names::kUpdateAddressDialog);
    setWindowTitle("在线更新地址");
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(m_question.prompt, this);
    prompt->setWordWrap(true);
    prompt->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(prompt);

    auto* row = new QHBoxLayout;
    m_edit = new QLineEdit(m_question.preset, this);
    m_edit->setObjectName(names::kUpdateAddressEdit);
    m_edit->setMinimumWidth(360);
    row->addWidget(m_edit, 1);
    m_tryButton = new QPushButton("试读(&T)", this);
    m_tryButton->setObjectName(names::kUpdateTryReadButton);
    m_tryButton->setAutoDefault(false);
    m_tryButton->setToolTip("取得这个地址的网页，列出在线更新将新增的号码；不保存任何号码");
    row->addWidget(m_tryButton);
    layout->addLayout(row);

    m_result = new QLabel(this);
    m_result->setObjectName(names::kUpdateTryReadResult);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_result->hide();
    layout->addWidget(m_result);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    chineseButtons(*buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tryButton, &QPushButton::clicked, this, &UpdateAddressDialog::tryRead);
    layout->addWidget(buttons);
    setMinimumWidth(520);
}

UpdateAddressDialog::~UpdateAddressDialog() {
    if (m_trying) m_trying->cancel();
}

QString UpdateAddressDialog::address() const { return m_edit->text(); }

void UpdateAddressDialog::tryRead() {
    if (!m_question.tryRead) return;
    m_tryButton->setEnabled(false);
    m_result->setText("正在试读 …");
    m_result->show();
    m_trying = m_question.tryRead(m_edit->text().trimmed(), this, [this](const QString& text) {
        m_trying.reset();
        m_result->setText(text);
        m_tryButton->setEnabled(true);
    });
    if (!m_trying) m_tryButton->setEnabled(true);  // refused at once; the text says why
}

}  // namespace k3
