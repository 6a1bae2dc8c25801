#include "import_preview.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include "history/import_check.h"
#include "history/player_file.h"
#include "object_names.h"
#include "store/issue.h"
#include "translation.h"

namespace k3 {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QString reading(const PreviewLine& line, bool runningNumbers) {
    const QString draw = q(issueText(line.draw.issue, runningNumbers)) +
                         QString(" %1%2%3").arg(line.draw.d1).arg(line.draw.d2).arg(line.draw.d3);
    switch (line.kind) {
        case PreviewLine::Kind::kDraw: return draw;
        case PreviewLine::Kind::kRepeat: return draw + "（重复，跳过）";
        case PreviewLine::Kind::kHeader: return "（标题）";
        case PreviewLine::Kind::kSkipped: break;
    }
    return "（跳过）";
}

QLabel* wrapped(QWidget* parent, const QString& text, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

ImportPreview makeImportPreview(const PlayerFile& file, const ImportComparison& c, bool runningNumbers) {
    ImportPreview p;
    p.shape = "格式：" + q(file.shapeText());
    p.counts = QString("可读入 %1 期").arg(file.parsed.draws.size());
    if (!file.parsed.draws.empty())
        p.counts += QString("（%1—%2）")
                        .arg(q(issueText(file.parsed.draws.front().issue, runningNumbers)),
                             q(issueText(file.parsed.draws.back().issue, runningNumbers)));
    p.counts += QString("，跳过 %1 行").arg(file.parsed.skippedCount);
    if (file.misfit) p.misfit = q(file.misfit->message()) + "。";
    p.question = q(c.question());
    p.replacesMore = c.askFirst();
    for (const PreviewLine& line : file.preview)
        p.lines.push_back({QString::number(line.number), q(line.text), reading(line, runningNumbers)});
    return p;
}

ImportPreviewDialog::ImportPreviewDialog(QWidget* parent, const ImportPreview& p) : QDialog(parent) {
    setObjectName(names::kImportPreview);
    setWindowTitle("读入历史");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrapped(this, p.shape, names::kImportPreviewShape));
    layout->addWidget(wrapped(this, p.counts, names::kImportPreviewCounts));
    if (!p.misfit.isEmpty()) {
        QLabel* misfit = wrapped(this, p.misfit, names::kImportPreviewMisfit);
        misfit->setStyleSheet("color: #b00000; font-weight: bold;");
        layout->addWidget(misfit);
    }
    auto* lines = new QTableWidget(static_cast<int>(p.lines.size()), 3, this);
    lines->setObjectName(names::kImportPreviewLines);
    lines->setHorizontalHeaderLabels({"行", "文件中的内容", "读出"});
    lines->verticalHeader()->hide();
    lines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lines->setSelectionMode(QAbstractItemView::NoSelection);
    lines->setFocusPolicy(Qt::NoFocus);
    for (int r = 0; r < lines->rowCount(); ++r) {
        const ImportPreview::Line& line = p.lines[r];
        int c = 0;
        for (const QString& text : {line.number, line.text, line.reading}) {
            auto* item = new QTableWidgetItem(text);
            item->setToolTip(text);
            lines->setItem(r, c++, item);
        }
    }
    lines->resizeColumnsToContents();
    lines->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(lines, 1);
    QLabel* question = wrapped(this, p.question, names::kImportPreviewQuestion);
    if (p.replacesMore) question->setStyleSheet("font-weight: bold;");
    layout->addWidget(question);

    // The file replaces the whole history: 取消 is the default, so that Enter leaves it as it was.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    chineseButtons(*buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    ok->setAutoDefault(false);
    cancel->setDefault(true);
    cancel->setFocus();
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // Inside the screen's free area, whatever the screen.
    QSize size(680, 460);
    if (QScreen* s = parent ? parent->screen() : screen()) size = size.boundedTo(s->availableGeometry().size() * 0.9);
    resize(size);
}

}  // namespace k3
