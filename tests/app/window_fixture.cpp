#include "window_fixture.h"

#include <QTest>

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

void WindowTest::open() {
    testApp();
    w.reset();
    k3::AppContext ctx{QString::fromStdString(dir.path().string()), settingsFile()};
    w = std::make_unique<k3::frmMain>(ctx);
    w->askOkCancel = [this](const QString& title, const QString& text) {
        questions << title + "|" + text;
        if (okAnswers.empty()) return true;
        bool a = okAnswers.front();
        okAnswers.pop_front();
        return a;
    };
    w->askText = [this](const QString& title, const QString& prompt, const QString& preset) -> std::optional<QString> {
        questions << title + "|" + prompt + "|" + preset;
        if (textAnswers.empty()) return std::nullopt;
        auto a = textAnswers.front();
        textAnswers.pop_front();
        return a;
    };
    w->askOpenFile = [this](const QString&, const QString&) {
        if (fileAnswers.empty()) return QString();
        QString f = fileAnswers.front();
        fileAnswers.pop_front();
        return f;
    };
    w->tell = [this](const QString& title, const QString& text) { told << title + "|" + text; };
    w->openUrl = [this](const QUrl& url) {
        opened << url.toString();
        return true;
    };
    w->show();
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    [[maybe_unused]] bool active = QTest::qWaitForWindowActive(w.get(), 1000);
}

}  // namespace k3test
