#pragma once

#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Duvidu/DuviduData.h"
#include "support/LoopbackHttpServer.h"

namespace duvidutest {

// A loopback stand-in for the reporting service: keeps every request it reads and answers as the test tells it.
class IngestServer {
public:
    enum class Answer {
        Status,      // the status and header lines set by answerWith
        HangUp,      // closes the connection without a word
        NeverAnswer  // keeps the connection open and silent until the server goes away
    };

    explicit IngestServer(vctest::LoopbackHttpServer::Start start = vctest::LoopbackHttpServer::Start::Listening)
        : server_([this](int socket, const vctest::HttpRequest& request) { handle(socket, request); }, start)
    {
    }

    // "http://<key>@127.0.0.1:<port>/42"
    std::string dsn(const std::string& key = "testkey") const
    {
        return "http://" + key + "@127.0.0.1:" + std::to_string(server_.port()) + "/42";
    }
    void listen() { server_.listen(); }

    void answerWith(int status, std::string headerLines = "")
    {
        std::lock_guard lock(mutex_);
        answer_ = Answer::Status;
        status_ = status;
        headerLines_ = std::move(headerLines);
    }
    void answer(Answer answer)
    {
        std::lock_guard lock(mutex_);
        answer_ = answer;
    }

    std::vector<vctest::HttpRequest> requests()
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    size_t requestCount()
    {
        std::lock_guard lock(mutex_);
        return requests_.size();
    }
    bool waitForRequests(size_t count, std::chrono::seconds limit = std::chrono::seconds(20))
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
    }

    // The body of a gzip request, inflated.
    static duvidu::DuviduData inflate(const std::string& gzip)
    {
        z_stream stream{};
        if (inflateInit2(&stream, 31) != Z_OK) return {};
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
        stream.avail_in = static_cast<uInt>(gzip.size());
        duvidu::DuviduData out;
        int status = Z_OK;
        while (status == Z_OK) {
            unsigned char chunk[16384];
            stream.next_out = chunk;
            stream.avail_out = sizeof chunk;
            status = ::inflate(&stream, Z_NO_FLUSH);
            out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
        }
        inflateEnd(&stream);
        return status == Z_STREAM_END ? out : duvidu::DuviduData{};
    }

private:
    void handle(int socket, const vctest::HttpRequest& request)
    {
        Answer answer;
        int status;
        std::string headerLines;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            answer = answer_;
            status = status_;
            headerLines = headerLines_;
        }
        arrived_.notify_all();
        if (answer == Answer::Status) vctest::LoopbackHttpServer::reply(socket, status, headerLines);
        if (answer == Answer::NeverAnswer) server_.waitUntilStopping();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<vctest::HttpRequest> requests_;
    Answer answer_ = Answer::Status;
    int status_ = 200;
    std::string headerLines_;
    vctest::LoopbackHttpServer server_;  // last: its thread stops before the fields it uses go
};

}  // namespace duvidutest
