#include "ui/qt/QtHidDispatcher.h"

#include <QMetaObject>

QtHidDispatcher::QtHidDispatcher(QObject* parent) : QObject(parent) {}

void QtHidDispatcher::wake() {
    // A posted, non-blocking call: the reading thread waits for its handoff in the dispatcher,
    // never in Qt (a blocking queued call is not something to rely on here).
    QMetaObject::invokeMethod(
        this, [this] { delivered_ += run_pending(); }, Qt::QueuedConnection);
}
