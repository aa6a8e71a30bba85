#include "platform/InstanceChannel.h"

#include "platform/AppLog.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <system_error>

namespace {

QString socketName(const std::filesystem::path& socket) { return QString::fromStdString(socket.string()); }

// What is left of the deadline, for Qt's waits (which take -1 as "forever").
int remaining(const QDeadlineTimer& deadline) { return int(std::max<qint64>(0, deadline.remainingTime())); }

}  // namespace

InstanceChannel::InstanceChannel(std::filesystem::path socket, Handler handler, QObject* parent)
    : QObject(parent), socket_(std::move(socket)), handler_(std::move(handler)) {
    watch_.setInterval(watchIntervalMs);
    connect(&watch_, &QTimer::timeout, this, &InstanceChannel::listenAgainIfClosed);
}

InstanceChannel::~InstanceChannel() {
    // The held connections, children of the server, go while the members that count them are still there.
    server_.reset();
}

std::filesystem::path InstanceChannel::defaultSocket() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) return {};
    return std::filesystem::path(folder.toStdString()) / "vellumcaster.socket";
}

bool InstanceChannel::listen() {
    if (socket_.empty()) return false;
    std::string failure;
    if (!open(failure)) {
        AppLog::error("Cannot listen on " + socket_.string() + " for a second start: " + failure);
        return false;
    }
    watch_.start();
    return true;
}

bool InstanceChannel::open(std::string& failure) {
    const QString name = socketName(socket_);
    QLocalServer::removeServer(name);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // Qt names some of these causes only by their number.
        std::error_code ec;
        const auto type = std::filesystem::symlink_status(socket_, ec).type();
        if (type == std::filesystem::file_type::directory) {
            failure = "a folder is in the socket's place; remove it, then start Vellumcaster again";
        } else if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::socket &&
                   !ec) {
            failure = "a file that is not a socket is in its place and cannot be removed; remove it, then start "
                      "Vellumcaster again";
        } else {
            failure = server->errorString().toStdString();
        }
        return false;
    }
    server_ = std::move(server);
    connect(server_.get(), &QLocalServer::newConnection, this, &InstanceChannel::accept);
    return true;
}

void InstanceChannel::listenAgainIfClosed() {
    if (server_ && server_->isListening()) return;
    std::string failure;
    const QString closed = server_ ? server_->errorString() : QString();
    // The held connections go with the closed server.
    server_.reset();
    if (open(failure)) {
        AppLog::info("Listening again on " + socket_.string() + " for a second start");
        reopening_ = false;
        return;
    }
    if (!reopening_) {
        AppLog::error("Stopped listening on " + socket_.string() + " for a second start (" + closed.toStdString() +
                      ") and cannot listen again yet: " + failure);
    }
    reopening_ = true;
}

void InstanceChannel::accept() {
    while (QLocalSocket* connection = server_->nextPendingConnection()) {
        if (held_ >= maxHeldConnections) {
            if (!dropping_) {
                AppLog::error("More than " + std::to_string(maxHeldConnections) + " connections at once on " +
                              socket_.string() + "; the ones that waited longest for their request are closed "
                              "unanswered");
            }
            dropping_ = true;
            if (waiting_.isEmpty()) {
                // Every held connection is being answered: the new one is closed at once, so that it holds no
                // descriptor.
                connection->abort();
                delete connection;
                continue;
            }
            // An idle connection gives way, so that a peer holding idle connections keeps no second start out.
            QLocalSocket* oldest = waiting_.takeFirst();
            oldest->abort();
            delete oldest;
        }
        ++held_;
        waiting_.append(connection);
        connect(connection, &QObject::destroyed, this, [this, connection] {
            waiting_.removeOne(connection);
            if (--held_ == 0) dropping_ = false;
        });
        connect(connection, &QLocalSocket::readyRead, this, [this, connection] { readRequest(connection); });
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        // A peer that never completes its request does not keep its connection.
        QTimer::singleShot(requestTimeoutMs, connection, [connection] {
            connection->abort();
            connection->deleteLater();
        });
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
    waiting_.removeOne(connection);
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
