#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduScopeObserver.h"

namespace duvidu {

// Keeps the scope's breadcrumbs on disk while the application runs, so that the next launch can tell what happened
// before a termination that left no crash report. Breadcrumbs are written as JSON lines into one of two files; when
// one holds maxBreadcrumbs lines the other is emptied and written next, so the two together always hold at least the
// last maxBreadcrumbs breadcrumbs. Every other scope change is of no interest here.
class DuviduWatchdogTerminationScopeObserver : public DuviduScopeObserver {
public:
    // Starts a fresh first file.
    DuviduWatchdogTerminationScopeObserver(int64_t maxBreadcrumbs, std::string breadcrumbFilePathOne,
                                           std::string breadcrumbFilePathTwo);
    ~DuviduWatchdogTerminationScopeObserver() override;
    DuviduWatchdogTerminationScopeObserver(const DuviduWatchdogTerminationScopeObserver&) = delete;
    DuviduWatchdogTerminationScopeObserver& operator=(const DuviduWatchdogTerminationScopeObserver&) = delete;

    // One line of JSON; a breadcrumb that cannot be written as JSON is logged and left out.
    void addSerializedBreadcrumb(const Value::Object& serializedBreadcrumb) override;
    // Deletes both files and starts a fresh first one.
    void clearBreadcrumbs() override;
    void clear() override { clearBreadcrumbs(); }

    void setUser(const std::optional<DuviduUser>&) override {}
    void setTags(const std::map<std::string, std::string>&) override {}
    void setExtras(const Value::Object&) override {}
    void setContext(const Value::Object&) override {}
    void setDist(const std::optional<std::string>&) override {}
    void setEnvironment(const std::optional<std::string>&) override {}
    void setFingerprint(const std::vector<std::string>&) override {}
    void setLevel(DuviduLevel) override {}

private:
    // Empties the file that is not being written and writes into it from now on.
    void switchFile();
    void closeFile();

    const int64_t maxBreadcrumbs_;
    const std::string pathOne_;
    const std::string pathTwo_;
    // The scope calls breadcrumb and clear changes under different locks, so they may arrive at once.
    std::mutex mutex_;
    const std::string* activePath_ = nullptr;
    int fd_ = -1;
    int64_t linesInFile_ = 0;
};

}  // namespace duvidu
