#include "platform/NotificationCenter.h"

#include <QCoreApplication>

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: observers may still post while static destructors run.
    static NotificationCenter* center = [] {
        auto* made = new NotificationCenter;
        // Whichever thread asks first, the center belongs to the GUI thread, which outlives every task.
        if (QCoreApplication::instance()) made->moveToThread(QCoreApplication::instance()->thread());
        return made;
    }();
    return *center;
}

void NotificationCenter::post(const QString& name) { emit posted(name); }
