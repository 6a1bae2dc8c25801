#include "app_identity.h"

#include <QGuiApplication>
#include <QIcon>

// The icon's resource lives in a static library: it is registered by hand before first use.
static void registerIconResource() { Q_INIT_RESOURCE(app_icon); }

namespace k3 {

void applyAppIdentity(QGuiApplication& app) {
    registerIconResource();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/k3gap/icons/k3gap-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
    QGuiApplication::setDesktopFileName("k3gap");
}

}  // namespace k3
