#include "platform/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/rtclock.h>
#include <pulse/timeval.h>

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

PulseConnection::Lock::Lock(const PulseConnection& connection) : loop_(connection.loop_) {
    pa_threaded_mainloop_lock(loop_);
}

PulseConnection::Lock::~Lock() { pa_threaded_mainloop_unlock(loop_); }

PulseConnection::PulseConnection() = default;

std::unique_ptr<PulseConnection> PulseConnection::open(const std::string& threadName, std::string& error) {
    std::unique_ptr<PulseConnection> connection(new PulseConnection);
    connection->loop_ = pa_threaded_mainloop_new();
    if (!connection->loop_) {
        error = "no main loop for the sound server";
        return nullptr;
    }
    pa_threaded_mainloop_set_name(connection->loop_, threadName.c_str());
    connection->context_ = pa_context_new(pa_threaded_mainloop_get_api(connection->loop_), "Vellumcaster");
    if (!connection->context_) {
        error = "no connection to the sound server";
        return nullptr;
    }
    pa_context_set_state_callback(connection->context_, &PulseConnection::contextStateChanged, connection.get());
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(connection->loop_) < 0) {
        error = "the sound server cannot be reached: " + connection->lastError();
        return nullptr;
    }
    const Lock lock(*connection);
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

bool PulseConnection::waitUntil(const std::function<bool()>& done) {
    stalled_ = false;
    if (done()) return true;
    struct Alarm {
        const PulseConnection* connection;
        bool rang = false;
    } alarm{this};
    pa_time_event* event = pa_context_rttime_new(
        context_, pa_rtclock_now() + pa_usec_t(answerTimeoutMs) * PA_USEC_PER_MSEC,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
            auto* alarm = static_cast<Alarm*>(data);
            alarm->rang = true;
            alarm->connection->signal();
        },
        &alarm);
    if (!event) {
        stalled_ = true;
        return false;
    }
    while (!done() && !alarm.rang) pa_threaded_mainloop_wait(loop_);
    pa_threaded_mainloop_get_api(loop_)->time_free(event);
    if (done()) return true;
    stalled_ = true;
    return false;
}

PulseConnection::~PulseConnection() {
    if (context_) {
        {
            const Lock lock(*this);
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
    }
    if (loop_) {
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
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

bool PulseConnection::unreachable() const {
    return stalled_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

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
