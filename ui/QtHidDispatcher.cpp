#include "ui/QtHidDispatcher.h"

#include <QMetaObject>

QtHidDispatcher::QtHidDispatcher(QObject* parent) : QObject(parent) {}

void QtHidDispatcher::wake() {
    // A posted, non-blocking call: the reading thread itself waits in synchronize(), never in
    // Qt (a blocking queued call is not something to rely on here).
    QMetaObject::invokeMethod(
        this, [this] { run_pending(); }, Qt::QueuedConnection);
}
