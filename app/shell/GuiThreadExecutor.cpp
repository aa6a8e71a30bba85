#include "shell/GuiThreadExecutor.h"

#include <QCoreApplication>
#include <QThread>

void GuiThreadExecutor::post(std::function<void()> block) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block), Qt::QueuedConnection);
}

bool GuiThreadExecutor::isMainThread() const {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}
