#pragma once

#include <QObject>
#include <QString>

// The process's notification center: named notifications without object or payload ("recordingComplete").
// `post` may be called from any thread; `posted` is emitted on the posting thread, so an observer that touches widgets
// connects with Qt::QueuedConnection (or lives on the GUI thread and relies on the automatic connection) to receive it
// on its own thread.
class NotificationCenter : public QObject {
    Q_OBJECT

public:
    static NotificationCenter& defaultCenter();

    void post(const QString& name);

signals:
    void posted(const QString& name);

private:
    NotificationCenter() = default;
};
