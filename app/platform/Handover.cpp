#include "platform/Handover.h"

#include <QMetaObject>
#include <QObject>

std::shared_ptr<Handover> Handover::to(QObject* receiver) { return std::shared_ptr<Handover>(new Handover(receiver)); }

void Handover::post(std::function<void()> call) {
    // Under the lock the receiver cannot finish closing, so it is there while the call is queued to it; a call still
    // queued when it goes is dropped with it.
    std::lock_guard lock(mutex_);
    if (receiver_) QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

void Handover::close() {
    std::lock_guard lock(mutex_);
    receiver_ = nullptr;
}
