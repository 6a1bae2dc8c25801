// The window's one way to run work off the GUI thread: a task runs on a worker thread with a
// TaskControl (cancel flag, progress), and its outcome is handed to a callback on the GUI thread,
// but only while the context object the callback belongs to still exists. Closing a window whose
// task is still running therefore drops the result instead of calling into a deleted object.
// runWithProgress adds a progress box that appears only when the task takes longer than a moment.
#pragma once
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

class QProgressDialog;
class QTimer;
class QWidget;

namespace k3 {

// Shared by a task and the GUI: the GUI asks it to stop, the task reports how far it is.
class TaskControl {
public:
    // Sets the flag and runs the cancel hook (on the calling thread).
    void cancel();
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    // For code that polls a plain flag (the update's fetch, the store's long statements).
    const std::atomic<bool>* cancelFlag() const { return &m_cancelled; }
    // Run by cancel(), for work that does not poll the flag (a long SQLite statement is interrupted);
    // run at once when the task was already cancelled. Cleared by passing nothing.
    void setCancelHook(std::function<void()> hook);
    // Progress in per mille (0–1000); -1 while the task cannot tell.
    void setProgress(int perMille) { m_progress.store(perMille, std::memory_order_relaxed); }
    int progress() const { return m_progress.load(std::memory_order_relaxed); }
    // The task's function has returned (its callback may still be on its way).
    bool finished() const;
    // Blocks until the task's function has returned.
    void wait() const;
    void markFinished();

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<int> m_progress{-1};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_done;
    bool m_finished = false;
    std::function<void()> m_cancelHook;
};

// The words of an exception as a message shows them ("未知错误" for one that is no std::exception).
QString exceptionText(const std::exception_ptr& error);

// What a task handed back: its value, or the exception it ended with, and whether it was cancelled.
template <class T>
class TaskOutcome {
public:
    bool failed() const { return static_cast<bool>(m_error); }
    // The value; rethrows the task's exception.
    T& value() {
        if (m_error) std::rethrow_exception(m_error);
        return *m_value;
    }
    std::exception_ptr error() const { return m_error; }
    // The text of the exception the task ended with; empty when it did not fail.
    QString errorText() const { return m_error ? exceptionText(m_error) : QString(); }
    // The task ended with an exception of type E (a task stopped by 取消 often says so by its own type).
    template <class E>
    bool failedWith() const {
        if (!m_error) return false;
        try {
            std::rethrow_exception(m_error);
        } catch (const E&) {
            return true;
        } catch (...) {
        }
        return false;
    }
    // The task was asked to stop before it ended: what it left is the work of a stopped task.
    bool cancelled() const { return m_cancelled; }

    std::optional<T> m_value;
    std::exception_ptr m_error;
    bool m_cancelled = false;
};

struct NoValue {};

// The pool that runs the window's background tasks. Its threads never run Qt's own shared pool's
// work, so a long task does not hold up anything Qt itself queues there.
QThreadPool& backgroundPool();

// Runs `task(TaskControl&)` on the background pool and calls `callback(TaskOutcome<R>&)` on the GUI
// thread when it ends, if `context` still exists then. A task returning void yields TaskOutcome<NoValue>.
// Returns the control, with which the caller cancels the task or reads its progress.
template <class Task, class Callback>
std::shared_ptr<TaskControl> runThenCallback(QObject* context, Task task, Callback callback) {
    using Raw = std::invoke_result_t<Task&, TaskControl&>;
    using R = std::conditional_t<std::is_void_v<Raw>, NoValue, Raw>;
    auto control = std::make_shared<TaskControl>();
    // The watcher is the context's child: deleting the context deletes the watcher and with it the
    // pending callback; the worker only ever touches the future.
    auto* watcher = new QFutureWatcher<TaskOutcome<R>>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, callback = std::move(callback)]() mutable {
                         // Taken, not copied: a large value (a search's grids) is not copied on this thread.
                         TaskOutcome<R> outcome = watcher->future().takeResult();
                         watcher->deleteLater();
                         callback(outcome);
                     });
    watcher->setFuture(QtConcurrent::run(&backgroundPool(), [control, task = std::move(task)]() mutable {
        TaskOutcome<R> outcome;
        try {
            if constexpr (std::is_void_v<Raw>) {
                task(*control);
                outcome.m_value.emplace();
            } else {
                outcome.m_value.emplace(task(*control));
            }
        } catch (...) {
            outcome.m_error = std::current_exception();
        }
        outcome.m_cancelled = control->cancelled();
        control->markFinished();
        return outcome;
    }));
    return control;
}

// How long a task runs before its progress box appears (0.5 s; tests and benchmarks may change it).
std::chrono::milliseconds progressDelay();
void setProgressDelay(std::chrono::milliseconds delay);

// What the progress box of a task says.
struct ProgressText {
    QString title;
    QString label;
    bool cancellable = true;  // a 取消 button, which cancels the task
};

// The progress box of one task (objectName "TaskProgress"): shown when the task still runs after
// progressDelay(), not modal, following the task's progress; it closes when the task ends.
class TaskProgress : public QObject {
    Q_OBJECT

public:
    TaskProgress(QWidget* parent, ProgressText text, std::shared_ptr<TaskControl> control);
    ~TaskProgress() override;

private:
    void show();
    void poll();

    QPointer<QWidget> m_parent;
    ProgressText m_text;
    std::shared_ptr<TaskControl> m_control;
    QTimer* m_pollTimer = nullptr;
    QPointer<QProgressDialog> m_dialog;
};

// runThenCallback with a progress box over `parent`. The box is gone before the callback runs, so
// that a question the callback asks is never covered by it.
template <class Task, class Callback>
std::shared_ptr<TaskControl> runWithProgress(QObject* context, QWidget* parent, ProgressText text, Task task,
                                             Callback callback) {
    auto progress = std::make_shared<QPointer<TaskProgress>>();
    auto control =
        runThenCallback(context, std::move(task), [progress, callback = std::move(callback)](auto& outcome) mutable {
            delete progress->data();
            callback(outcome);
        });
    *progress = new TaskProgress(parent, std::move(text), control);
    return control;
}

// Background work of which only the newest request's outcome is wanted (a search started again, a
// table made again after a change): each run() supersedes the tasks before it, which are asked to stop
// and whose callbacks are never called. Callbacks belong to `context`, as with runThenCallback.
class NewestRequest {
public:
    explicit NewestRequest(QObject* context) : m_context(context), m_state(std::make_shared<State>()) {}

    template <class Task, class Callback>
    void run(Task task, Callback callback) {
        supersede();
        const uint64_t request = m_state->request;
        ++m_state->running;
        // Counted until the callback has run, or until it is dropped with its context.
        std::shared_ptr<void> ticket(nullptr, [state = m_state](void*) { --state->running; });
        m_control =
            runThenCallback(m_context, std::move(task),
                            [state = m_state, request, ticket, callback = std::move(callback)](auto& outcome) mutable {
                                ticket.reset();
                                if (request != state->request) return;  // a newer request's outcome follows
                                callback(outcome);
                            });
    }
    // The outcome of what runs now is no longer wanted (the history it was made from was left).
    void supersede() {
        ++m_state->request;
        if (m_control) m_control->cancel();
        m_control.reset();
    }
    // A task of this kind, superseded or not, has not yet handed back its outcome.
    bool running() const { return m_state->running > 0; }

private:
    struct State {
        uint64_t request = 0;
        int running = 0;
    };
    QObject* m_context;
    std::shared_ptr<State> m_state;
    std::shared_ptr<TaskControl> m_control;
};

// Blocks until every background task has ended (for the end of the program and for tests).
void waitForBackgroundTasks();

}  // namespace k3
