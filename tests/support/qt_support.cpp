#include "qt_support.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace k3test {

QApplication& testApp() {
    static int argc = 1;
    static char name[] = "k3gap-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
