// What an import shows before it stores: the shape the file was read in, what it yields and what it would
// replace, the first lines of the file beside the draws read from them, and a draw that cannot be the
// province's. Asked in a dialog of its own, with 取消 as the default answer.
#pragma once
#include <QDialog>
#include <QList>
#include <QString>

namespace k3 {

struct ImportComparison;
struct PlayerFile;

struct ImportPreview {
    QString shape;  // "格式：期号 11 位，号码以逗号分隔，第 2、3 列（逗号分列，UTF-8 文本）"
    QString counts;  // "可读入 3 期（191027001—191027003），跳过 1 行"
    QString misfit;  // a draw that cannot be the province's, or empty
    QString question;  // "已存 N 期（…），文件中 M 期（…）：将以文件替换全部历史号码，确定吗？"
    bool replacesMore = false;  // the file would shrink the history or has nothing in common with it
    struct Line {
        QString number, text, reading;
    };
    QList<Line> lines;
};

ImportPreview makeImportPreview(const PlayerFile& file, const ImportComparison& comparison, bool runningNumbers);

class ImportPreviewDialog : public QDialog {
    Q_OBJECT

public:
    ImportPreviewDialog(QWidget* parent, const ImportPreview& preview);
};

}  // namespace k3
