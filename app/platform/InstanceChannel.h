#pragma once

#include <QList>
#include <QObject>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLocalServer;
class QLocalSocket;

// The line by which a second start of the application reaches the instance that runs: the running instance listens on
// a local socket in the user's runtime folder, only the user can connect, and each connection carries one request line
// and gets one answer line back. A request longer than `maxLineBytes`, or one that does not arrive within
// `requestTimeoutMs`, is dropped without an answer. At most `maxHeldConnections` connections are held at once, so that
// the descriptors a dictation needs stay free: a connection beyond them takes the place of the one that has waited
// longest for its request, and is closed as it arrives only while every held one is being answered. A peer that
// holds idle connections thus keeps no second start out. A server that stops listening (Qt closes it when an accept
// fails) listens again within `watchIntervalMs`. GUI thread only.
class InstanceChannel : public QObject {
    Q_OBJECT

public:
    static constexpr int maxLineBytes = 256;
    static constexpr int requestTimeoutMs = 5000;
    static constexpr int maxHeldConnections = 16;
    static constexpr int watchIntervalMs = 1000;

    // The answer to a request (without its line end).
    using Handler = std::function<std::string(const std::string& request)>;

    InstanceChannel(std::filesystem::path socket, Handler handler, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Starts listening; only for the process that holds the instance lock, since a socket file left behind by an
    // instance that crashed is replaced. False (with a log line that says why) when the socket cannot be made.
    bool listen();

    // Sends one request to the instance listening on `socket` and waits for its answer, all within `timeoutMs`;
    // nothing when no instance listens or none answered in time. Blocks the calling thread.
    static std::optional<std::string> ask(const std::filesystem::path& socket, const std::string& request,
                                          int timeoutMs);

    // vellumcaster.socket in $XDG_RUNTIME_DIR (or the runtime folder Qt falls back to without it), beside the lock.
    static std::filesystem::path defaultSocket();

private:
    void accept();
    void readRequest(QLocalSocket* connection);
    // Listens with a fresh server; false, with `failure` saying why in words a person can act on, when it cannot.
    bool open(std::string& failure);
    void listenAgainIfClosed();

    std::filesystem::path socket_;
    Handler handler_;
    std::unique_ptr<QLocalServer> server_;
    QTimer watch_;
    int held_ = 0;            // connections waiting for their request or for their answer's delivery
    // The held connections whose request has not come yet, oldest first.
    QList<QLocalSocket*> waiting_;
    bool dropping_ = false;   // connections beyond maxHeldConnections are being closed (logged once per burst)
    bool reopening_ = false;  // the server closed and could not listen again yet (logged once)
};
