// k3gap: omission analysis of one province's K3 draw history.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app_identity.h"
#include "main_window.h"
#include "translation.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("k3gap");
    QApplication::setOrganizationName("K3MIVLOR");
    QApplication::setStyle("Fusion");  // the same look on every desktop
    k3::installChineseTranslation(app);
    k3::applyAppIdentity(app);

    // The data folder is the program's own folder when it may write there, else the user's data folder.
    QString dir = QCoreApplication::applicationDirPath();
    if (!QFileInfo(dir).isWritable()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(dir);
    }
    k3::MainWindow w(k3::AppContext{dir, QString()});
    w.show();
    return app.exec();
}
