#include "background_task.h"

namespace k3 {

QThreadPool& backgroundPool() {
    // Two threads: a long task (an import, a trim) leaves one for a quick read of the history.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(2);
        return p;
    }();
    return *pool;
}

void waitForBackgroundTasks() { backgroundPool().waitForDone(); }

}  // namespace k3
