#include "background_task.h"

#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

namespace k3 {

namespace {

std::atomic<int> progressDelayMs{500};
// How often a shown box reads the task's progress.
constexpr int kPollMs = 50;

}  // namespace

void TaskControl::cancel() {
    m_cancelled.store(true, std::memory_order_relaxed);
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_cancelHook;
    }
    if (hook) hook();
}

void TaskControl::setCancelHook(std::function<void()> hook) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelHook = hook;
    }
    if (hook && cancelled()) hook();
}

bool TaskControl::finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

void TaskControl::wait() const {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_finished; });
}

void TaskControl::markFinished() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
        m_cancelHook = nullptr;
    }
    m_done.notify_all();
}

QString exceptionText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return "未知错误";
}

QThreadPool& backgroundPool() {
    // Eight threads: long commands (an import, an update waiting for the network, a window closed while
    // its command still ends) and the check for damage leave room for the quick reads of the history
    // that the analyses and the commands wait for, so that no task waits behind the one it waits for.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(8);
        return p;
    }();
    return *pool;
}

void waitForBackgroundTasks() { backgroundPool().waitForDone(); }

std::chrono::milliseconds progressDelay() { return std::chrono::milliseconds(progressDelayMs.load()); }
void setProgressDelay(std::chrono::milliseconds delay) { progressDelayMs.store(static_cast<int>(delay.count())); }

TaskProgress::TaskProgress(QWidget* parent, ProgressText text, std::shared_ptr<TaskControl> control)
    : QObject(parent), m_parent(parent), m_text(std::move(text)), m_control(std::move(control)) {
    m_pollTimer = new QTimer(this);
    m_pollTimer->setInterval(kPollMs);
    connect(m_pollTimer, &QTimer::timeout, this, &TaskProgress::poll);
    m_pollTimer->start();
    QTimer::singleShot(progressDelay(), this, &TaskProgress::show);
}

TaskProgress::~TaskProgress() {
    // Where the box took the keyboard after all, the window gets it back.
    if (m_dialog && m_dialog->isActiveWindow() && m_parent) m_parent->activateWindow();
    delete m_dialog.data();
}

void TaskProgress::show() {
    if (m_dialog || m_control->finished()) return;
    m_dialog = new QProgressDialog(m_text.label, m_text.cancellable ? "取消" : QString(), 0, 1000, m_parent);
    m_dialog->setObjectName("TaskProgress");
    m_dialog->setWindowTitle(m_text.title);
    // Not modal: the window goes on answering (the commands that change the history are off meanwhile).
    m_dialog->setWindowModality(Qt::NonModal);
    // Nor does it take the keyboard from what the player is typing.
    m_dialog->setAttribute(Qt::WA_ShowWithoutActivating);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    if (m_text.cancellable)
        connect(m_dialog, &QProgressDialog::canceled, this, [this] {
            m_control->cancel();
            // The box stays, saying so, until the task has stopped.
            QTimer::singleShot(0, this, [this] {
                if (!m_dialog) return;
                m_dialog->setCancelButton(nullptr);
                m_dialog->setLabelText("正在取消…");
                m_dialog->show();
            });
        });
    poll();
    m_dialog->show();
}

void TaskProgress::poll() {
    // A task whose context went away has no callback to close its box.
    if (m_control->finished()) {
        m_pollTimer->stop();
        deleteLater();
        return;
    }
    if (!m_dialog) return;
    const int p = m_control->progress();
    if (p < 0) {
        m_dialog->setMaximum(0);  // a busy bar
    } else {
        m_dialog->setMaximum(1000);
        m_dialog->setValue(p);
    }
}

}  // namespace k3
