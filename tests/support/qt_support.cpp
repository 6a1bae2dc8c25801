#include "qt_support.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace k3test {

namespace {

// The offscreen platform. K3GAP_TEST_SCREEN=WIDTHxHEIGHT[@SCALE] gives it one screen of that many pixels
// at that scale (a desktop set to 200 % is @2), through a configuration file of the platform's own.
QByteArray offscreenPlatform() {
    const QString screen = QString::fromLocal8Bit(qgetenv("K3GAP_TEST_SCREEN"));
    const QRegularExpressionMatch m = QRegularExpression("^(\\d+)x(\\d+)(?:@(\\d+))?$").match(screen);
    if (screen.isEmpty() || !m.hasMatch()) return "offscreen";
    const int scale = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
    const QJsonObject config{{"screens", QJsonArray{QJsonObject{{"name", "test"},
                                                                {"x", 0},
                                                                {"y", 0},
                                                                {"width", m.captured(1).toInt()},
                                                                {"height", m.captured(2).toInt()},
                                                                {"logicalDpi", 96 * scale},
                                                                {"logicalBaseDpi", 96},
                                                                {"dpr", 1}}}}};
    static QTemporaryFile file(QDir::tempPath() + "/k3gap-screen-XXXXXX.json");
    if (!file.open()) return "offscreen";
    file.write(QJsonDocument(config).toJson());
    file.flush();
    return "offscreen:configfile=" + QFile::encodeName(file.fileName());
}

}  // namespace

QApplication& testApp() {
    static int argc = 1;
    static char name[] = "k3gap-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", offscreenPlatform());
        return new QApplication(argc, argv);
    }();
    return *app;
}

bool eventually(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(2);
    }
    return true;
}

bool holdsFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (!condition()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(2);
    }
    return condition();
}

void onNextDialog(std::function<void(QWidget*)> act, const char* kind) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, kind] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || (kind && !dialog->inherits(kind))) return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

QAbstractButton* buttonReading(QWidget* dialog, const QString& text) {
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        if (b->text() == text && b->isVisible()) return b;
    return nullptr;
}

QStringList buttonTexts(QWidget* dialog) {
    QStringList texts;
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        if (b->isVisible()) texts << b->text();
    return texts;
}

}  // namespace k3test
