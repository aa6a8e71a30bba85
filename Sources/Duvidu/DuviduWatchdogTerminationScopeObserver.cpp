#include "Duvidu/DuviduWatchdogTerminationScopeObserver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"

namespace duvidu {

DuviduWatchdogTerminationScopeObserver::DuviduWatchdogTerminationScopeObserver(int64_t maxBreadcrumbs,
                                                                               std::string breadcrumbFilePathOne,
                                                                               std::string breadcrumbFilePathTwo)
    : maxBreadcrumbs_(maxBreadcrumbs), pathOne_(std::move(breadcrumbFilePathOne)),
      pathTwo_(std::move(breadcrumbFilePathTwo))
{
    std::lock_guard lock(mutex_);
    switchFile();
}

DuviduWatchdogTerminationScopeObserver::~DuviduWatchdogTerminationScopeObserver()
{
    closeFile();
}

void DuviduWatchdogTerminationScopeObserver::addSerializedBreadcrumb(const Value::Object& serializedBreadcrumb)
{
    auto json = DuviduSerialization::dataWithJSONObject(Value(serializedBreadcrumb));
    if (!json) {
        DUVIDU_LOG_ERROR("Error serializing breadcrumb: " + Value(serializedBreadcrumb).description());
        return;
    }
    json->push_back('\n');

    std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    // One write per line, so that a process killed in between leaves whole lines behind.
    if (!duvidu_writeAll(fd_, json->data(), json->size())) {
        DUVIDU_LOG_ERROR("Error writing breadcrumb to " + *activePath_ + ": " + std::strerror(errno));
        return;
    }
    if (++linesInFile_ >= maxBreadcrumbs_) switchFile();
}

void DuviduWatchdogTerminationScopeObserver::clearBreadcrumbs()
{
    std::lock_guard lock(mutex_);
    closeFile();
    std::remove(pathOne_.c_str());
    std::remove(pathTwo_.c_str());
    activePath_ = nullptr;
    switchFile();
}

void DuviduWatchdogTerminationScopeObserver::switchFile()
{
    closeFile();
    activePath_ = activePath_ == &pathOne_ ? &pathTwo_ : &pathOne_;
    linesInFile_ = 0;
    // Without blocking: a named pipe in place of the file cannot hold the open up.
    fd_ = ::open(activePath_->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd_ < 0) DUVIDU_LOG_ERROR("Error opening breadcrumb file " + *activePath_ + ": " + std::strerror(errno));
}

void DuviduWatchdogTerminationScopeObserver::closeFile()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace duvidu
