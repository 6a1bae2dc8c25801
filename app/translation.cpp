#include "translation.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace k3 {

namespace {

const char* const kTranslatorName = "k3gapQtTranslation";

// The Chinese text of a standard button (the values of QMessageBox and QDialogButtonBox agree).
QString standardButtonText(int button) {
    switch (button) {
        case QDialogButtonBox::Ok: return QStringLiteral("确定");
        case QDialogButtonBox::Cancel: return QStringLiteral("取消");
        case QDialogButtonBox::Yes: return QStringLiteral("是(&Y)");  // the access keys of Qt's own translation
        case QDialogButtonBox::No: return QStringLiteral("否(&N)");
        case QDialogButtonBox::YesToAll: return QStringLiteral("全部是(&A)");
        case QDialogButtonBox::NoToAll: return QStringLiteral("全部否(&O)");
        case QDialogButtonBox::Open: return QStringLiteral("打开");
        case QDialogButtonBox::Save: return QStringLiteral("保存");
        case QDialogButtonBox::SaveAll: return QStringLiteral("全部保存");
        case QDialogButtonBox::Close: return QStringLiteral("关闭");
        case QDialogButtonBox::Discard: return QStringLiteral("不保存");
        case QDialogButtonBox::Apply: return QStringLiteral("应用");
        case QDialogButtonBox::Reset: return QStringLiteral("重置");
        case QDialogButtonBox::RestoreDefaults: return QStringLiteral("恢复默认");
        case QDialogButtonBox::Help: return QStringLiteral("帮助");
        case QDialogButtonBox::Abort: return QStringLiteral("中止");
        case QDialogButtonBox::Retry: return QStringLiteral("重试");
        case QDialogButtonBox::Ignore: return QStringLiteral("忽略");
        default: return QString();
    }
}

template <typename Box>
void setStandardTexts(Box& box) {
    for (QAbstractButton* button : box.buttons()) {
        const QString text = standardButtonText(static_cast<int>(box.standardButton(button)));
        if (!text.isEmpty()) button->setText(text);
    }
}

}  // namespace

QString qtTranslationLanguage(const QStringList& uiLanguages) {
    for (const QString& tag : uiLanguages) {
        const QLocale locale(tag);
        if (locale.language() != QLocale::Chinese) continue;
        // QLocale completes the script from the territory: zh-TW, zh-HK and zh-MO are traditional.
        return locale.script() == QLocale::TraditionalHanScript ? QStringLiteral("zh_TW") : QStringLiteral("zh_CN");
    }
    return QStringLiteral("zh_CN");
}

QStringList qtTranslationDirs() {
    const QString programDir = QCoreApplication::applicationDirPath();
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath), programDir + "/translations", programDir};
}

bool installChineseTranslation(QCoreApplication& app) {
    return installChineseTranslation(app, QLocale::system().uiLanguages(), qtTranslationDirs());
}

bool installChineseTranslation(QCoreApplication& app, const QStringList& uiLanguages, const QStringList& dirs) {
    removeChineseTranslation(app);
    QStringList languages{qtTranslationLanguage(uiLanguages)};
    if (languages.first() != "zh_CN") languages << "zh_CN";  // Simplified rather than none
    auto* translator = new QTranslator(&app);
    translator->setObjectName(kTranslatorName);
    for (const QString& language : languages) {
        for (const QString& dir : dirs) {
            // The exact file only: QTranslator would also try shortened names such as qtbase.qm.
            const QString file = QDir(dir).filePath("qtbase_" + language + ".qm");
            if (dir.isEmpty() || !QFileInfo::exists(file) || !translator->load(file)) continue;
            if (QCoreApplication::installTranslator(translator)) return true;
        }
    }
    delete translator;
    return false;
}

void removeChineseTranslation(QCoreApplication& app) {
    for (QTranslator* translator : app.findChildren<QTranslator*>(kTranslatorName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void chineseButtons(QMessageBox& box) { setStandardTexts(box); }
void chineseButtons(QDialogButtonBox& box) { setStandardTexts(box); }

void chineseButtons(QInputDialog& dialog) {
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
}

void chineseButtons(QFileDialog& dialog) {
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("文件名："));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
    dialog.setLabelText(QFileDialog::Accept, dialog.acceptMode() == QFileDialog::AcceptSave ? QStringLiteral("保存")
                                                                                            : QStringLiteral("打开"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
}

bool askOkCancel(QWidget* parent, const QString& title, const QString& text, bool cancelByDefault) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(cancelByDefault ? QMessageBox::Cancel : QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    chineseButtons(box);
    return box.exec() == QMessageBox::Ok;
}

std::optional<QString> askText(QWidget* parent, const QString& title, const QString& prompt, const QString& preset,
                               bool cancelByDefault) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(preset);
    // A long prompt wraps instead of stretching the dialog across the screen.
    if (auto* label = dialog.findChild<QLabel*>()) label->setWordWrap(true);
    dialog.setMinimumWidth(360);
    chineseButtons(dialog);
    if (cancelByDefault) {
        // Enter in the box presses the default button: here 取消.
        if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
            for (QAbstractButton* b : buttons->buttons())
                if (auto* push = qobject_cast<QPushButton*>(b)) push->setAutoDefault(false);
            if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel)) cancel->setDefault(true);
        }
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

void showInformation(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    chineseButtons(box);
    box.exec();
}

}  // namespace k3
