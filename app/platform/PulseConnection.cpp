#include "platform/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

// Runs an introspection request, started by `start` with the callback's data, and waits for its end; a request the
// server does not answer in time is cancelled, so that its callback never runs.
template <typename Start>
void await(PulseConnection& connection, Start start) {
    pa_operation* operation = start();
    if (!operation) return;
    if (!connection.waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }))
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
}

}  // namespace

PulseConnection::Lock::Lock(const PulseConnection& connection) : mutex_(connection.mutex_) { mutex_.lock(); }

PulseConnection::Lock::~Lock() { mutex_.unlock(); }

PulseConnection::PulseConnection() = default;

std::unique_ptr<PulseConnection> PulseConnection::open(const std::string& threadName, Failure& failure,
                                                       Clock::time_point waitsEnd) {
    std::string& error = failure.reason;
    std::unique_ptr<PulseConnection> connection(new PulseConnection);
    connection->loop_ = pa_mainloop_new();
    if (!connection->loop_) {
        error = "no main loop for the sound server";
        return nullptr;
    }
    pa_mainloop_set_poll_func(connection->loop_, &PulseConnection::pollUnlocked, connection.get());
    connection->context_ = pa_context_new(pa_mainloop_get_api(connection->loop_), "Vellumcaster");
    if (!connection->context_) {
        error = "no connection to the sound server";
        return nullptr;
    }
    pa_context_set_state_callback(connection->context_, &PulseConnection::contextStateChanged, connection.get());
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = "the sound server cannot be reached: " + connection->lastError();
        return nullptr;
    }
    try {
        connection->thread_ = std::thread(&PulseConnection::runLoop, connection.get(), threadName);
    } catch (const std::system_error& refused) {
        // The server was not even asked: whether it runs is not known.
        failure.threadRefused = true;
        error = std::string("the system refused a thread for the connection to the sound server (") + refused.what() +
                ")";
        return nullptr;
    }
    const Lock lock(*connection);
    connection->endWaitsBy(waitsEnd);
    pa_context* context = connection->context_;
    const bool settled = connection->waitUntil([context] {
        const pa_context_state_t state = pa_context_get_state(context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled || pa_context_get_state(context) != PA_CONTEXT_READY) {
        error = settled ? "the sound server cannot be reached: " + connection->lastError() : connection->lastError();
        return nullptr;
    }
    connection->ready_ = true;
    return connection;
}

void PulseConnection::runLoop(const std::string& threadName) {
    // Signals are for the application's own threads to take.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), threadName.substr(0, 15).c_str());
    const Lock lock(*this);
    pa_mainloop_run(loop_, nullptr);
}

int PulseConnection::pollUnlocked(struct pollfd* descriptors, unsigned long count, int timeoutMs, void* self) {
    auto& mutex = static_cast<PulseConnection*>(self)->mutex_;
    mutex.unlock();
    const int result = ::poll(descriptors, count, timeoutMs);
    mutex.lock();
    return result;
}

bool PulseConnection::waitUntil(const std::function<bool()>& done) {
    stalled_ = false;
    const auto deadline = std::min(Clock::now() + std::chrono::milliseconds(answerTimeoutMs), waitsEnd_);
    while (!done()) {
        if (answered_.wait_until(mutex_, deadline) == std::cv_status::timeout && !done()) {
            stalled_ = true;
            return false;
        }
    }
    return true;
}

PulseConnection::~PulseConnection() {
    if (context_) {
        const Lock lock(*this);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (thread_.joinable()) {
        {
            const Lock lock(*this);
            pa_mainloop_quit(loop_, 0);
        }
        thread_.join();
    }
    if (loop_) pa_mainloop_free(loop_);
}

void PulseConnection::contextStateChanged(pa_context* context, void* data) {
    auto* self = static_cast<PulseConnection*>(data);
    if (self->ready_ && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        self->ready_ = false;
        if (self->onLost_) self->onLost_("the connection to the sound server broke: " + self->lastError());
    }
    self->signal();
}

void PulseConnection::setLostHandler(std::function<void(const std::string& reason)> handler) {
    const Lock lock(*this);
    onLost_ = std::move(handler);
}

bool PulseConnection::unreachable() const { return stalled_ || broken(); }

bool PulseConnection::broken() const { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)); }

std::string PulseConnection::lastError() const {
    if (stalled_) {
        const char* server = pa_context_get_server(context_);
        return std::string("the sound server") + (server ? std::string(" at ") + server : std::string()) +
               " did not answer within " + std::to_string(answerTimeoutMs) + " ms";
    }
    return pa_strerror(pa_context_errno(context_));
}

std::optional<std::string> PulseConnection::defaultSourceName() {
    struct Answer {
        PulseConnection* connection;
        std::optional<std::string> name;
    } answer{this, std::nullopt};
    const Lock lock(*this);
    await(*this, [&] {
        return pa_context_get_server_info(
            context_,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* answer = static_cast<Answer*>(data);
                if (info && info->default_source_name) answer->name = info->default_source_name;
                answer->connection->signal();
            },
            &answer);
    });
    return answer.name;
}

std::optional<PulseConnection::Source> PulseConnection::source(const std::string& name) {
    struct Answer {
        PulseConnection* connection;
        std::optional<Source> source;
    } answer{this, std::nullopt};
    const Lock lock(*this);
    await(*this, [&] {
        return pa_context_get_source_info_by_name(
            context_, name.c_str(),
            [](pa_context*, const pa_source_info* info, int, void* data) {
                auto* answer = static_cast<Answer*>(data);
                if (info) answer->source = Source{info->name, info->description ? info->description : info->name,
                                                  info->sample_spec};
                answer->connection->signal();
            },
            &answer);
    });
    return answer.source;
}

std::vector<PulseConnection::Source> PulseConnection::inputSources() {
    struct Answer {
        PulseConnection* connection;
        std::vector<Source> sources;
        bool done = false;
    } answer{this, {}};
    const Lock lock(*this);
    await(*this, [&] {
        return pa_context_get_source_info_list(
            context_,
            [](pa_context*, const pa_source_info* info, int last, void* data) {
                auto* answer = static_cast<Answer*>(data);
                // The server also lists a monitor of every output as a source; only inputs are microphones.
                if (!last && info && info->monitor_of_sink == PA_INVALID_INDEX) {
                    answer->sources.push_back(
                        Source{info->name, info->description ? info->description : info->name, info->sample_spec});
                }
                if (last) answer->done = true;
                answer->connection->signal();
            },
            &answer);
    });
    if (!answer.done) return {};
    return answer.sources;
}

void PulseConnection::endStream(pa_stream*& stream) {
    if (!stream) return;
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_CREATING) {
        // The server has not confirmed the stream yet and refuses to end it now: it would make it once it answers, and
        // the stream would stay there. The stream keeps its reference until the server has answered.
        pa_stream_set_state_callback(stream, &PulseConnection::endOnceAnswered, nullptr);
    } else {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    stream = nullptr;
}

void PulseConnection::endOnceAnswered(pa_stream* stream, void*) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) {
        pa_stream_disconnect(stream);  // its end calls back here
    } else if (!PA_STREAM_IS_GOOD(state)) {
        // Failed, or ended: also when the connection breaks or goes, or the server never answers.
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_unref(stream);
    }
}

void PulseConnection::cancel(pa_operation*& operation) {
    if (!operation) return;
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    operation = nullptr;
}

void PulseConnection::freeTimer(pa_time_event*& timer) const {
    if (!timer) return;
    pa_mainloop_get_api(loop_)->time_free(timer);
    timer = nullptr;
}
