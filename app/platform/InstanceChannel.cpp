#include "platform/InstanceChannel.h"

#include "platform/AppLog.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace {

QString socketName(const std::filesystem::path& socket) { return QString::fromStdString(socket.string()); }

// What is left of the deadline, for Qt's waits (which take -1 as "forever").
int remaining(const QDeadlineTimer& deadline) { return int(std::max<qint64>(0, deadline.remainingTime())); }

}  // namespace

InstanceChannel::InstanceChannel(std::filesystem::path socket, Handler handler, QObject* parent)
    : QObject(parent), socket_(std::move(socket)), handler_(std::move(handler)) {}

InstanceChannel::~InstanceChannel() = default;

std::filesystem::path InstanceChannel::defaultSocket() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) return {};
    return std::filesystem::path(folder.toStdString()) / "vellumcaster.socket";
}

bool InstanceChannel::listen() {
    if (socket_.empty()) return false;
    const QString name = socketName(socket_);
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        AppLog::error("Cannot listen on " + socket_.string() + " for a second start: " +
                      server_->errorString().toStdString());
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &InstanceChannel::accept);
    return true;
}

void InstanceChannel::accept() {
    while (QLocalSocket* connection = server_->nextPendingConnection()) {
        connect(connection, &QLocalSocket::readyRead, this, [this, connection] { readRequest(connection); });
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        // A peer that never completes its request does not keep its connection.
        QTimer::singleShot(requestTimeoutMs, connection, [connection] { connection->abort(); });
        readRequest(connection);
    }
}

void InstanceChannel::readRequest(QLocalSocket* connection) {
    const QByteArray pending = connection->peek(maxLineBytes + 1);
    const qsizetype end = pending.indexOf('\n');
    if (end < 0) {
        if (pending.size() > maxLineBytes) connection->abort();
        return;
    }
    connection->read(end + 1);
    // One request per connection.
    disconnect(connection, &QLocalSocket::readyRead, this, nullptr);
    const std::string answer = handler_ ? handler_(pending.left(end).toStdString()) : std::string();
    connection->write(QByteArray::fromStdString(answer) + '\n');
    connection->disconnectFromServer();
}

std::optional<std::string> InstanceChannel::ask(const std::filesystem::path& socket, const std::string& request,
                                                int timeoutMs) {
    if (socket.empty()) return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket connection;
    connection.connectToServer(socketName(socket));
    if (!connection.waitForConnected(remaining(deadline))) return std::nullopt;
    connection.write(QByteArray::fromStdString(request) + '\n');
    if (!connection.waitForBytesWritten(remaining(deadline))) return std::nullopt;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (answer.size() > maxLineBytes) return std::nullopt;
        if (!connection.bytesAvailable() && !connection.waitForReadyRead(remaining(deadline))) return std::nullopt;
        answer += connection.read(maxLineBytes + 1 - answer.size());
    }
    return answer.left(answer.indexOf('\n')).toStdString();
}
