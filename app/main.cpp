// k3gap: omission analysis of one province's K3 draw history.
#include <QApplication>

#include "app_identity.h"
#include "data_folder.h"
#include "main_window.h"
#include "translation.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("k3gap");
    QApplication::setOrganizationName("K3MIVLOR");
    QApplication::setStyle("Fusion");  // the same look on every desktop
    k3::installChineseTranslation(app);
    k3::applyAppIdentity(app);

    const k3::DataFolder data = k3::defaultDataFolder();
    k3::MainWindow w(k3::AppContext{data.dir, QString(), data.note});
    w.show();
    return app.exec();
}
