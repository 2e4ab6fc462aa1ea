#include "ui/QtHidDispatcher.h"

#include <QMetaObject>

QtHidDispatcher::QtHidDispatcher(QObject* parent) : QObject(parent) {}

void QtHidDispatcher::wake() {
    // A posted, non-blocking call: the reading thread itself waits in synchronize(), never in
    // Qt (a blocking queued call is not something to rely on here).
    QMetaObject::invokeMethod(
        this, [this] { delivered_ += run_pending(); }, Qt::QueuedConnection);
}

bool QtHidDispatcher::wait_for_work(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex());
    return cond().wait_for(lock, timeout, [&] { return has_pending_locked(); });
}
