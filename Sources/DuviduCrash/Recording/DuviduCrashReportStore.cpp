#include "DuviduCrash/Recording/DuviduCrashReportStore.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"

namespace fs = std::filesystem;

namespace duvidu {

namespace {

constexpr const char* kSuffix = ".json";
constexpr const char* kTemporarySuffix = ".json.tmp";
// A crash handler writes its report within moments; a temporary file untouched for longer was left by a process that
// died while writing. A younger one may belong to a process of the same application that is crashing right now.
constexpr auto kUnfinishedReportAge = std::chrono::minutes(1);

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

DuviduCrashReportStore::DuviduCrashReportStore(std::string folder, std::string appName)
    : folder_(std::move(folder)), appName_(std::move(appName))
{
}

std::string DuviduCrashReportStore::prefix() const
{
    return appName_ + "-report-";
}

bool DuviduCrashReportStore::prepare() const
{
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) {
        DUVIDU_LOG_ERROR("Could not create the crash report folder " + folder_ + ": " + error.message());
        return false;
    }
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix(), 0) != 0 || !endsWith(name, kTemporarySuffix)) continue;
        std::error_code timeError;
        const auto written = fs::last_write_time(entry.path(), timeError);
        if (!timeError && now - written > kUnfinishedReportAge) fs::remove(entry.path(), timeError);
    }
    return true;
}

std::string DuviduCrashReportStore::pathForReportId(const std::string& reportId) const
{
    return (fs::path(folder_) / (prefix() + reportId + kSuffix)).string();
}

std::vector<std::string> DuviduCrashReportStore::reportIds() const
{
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix(), 0) != 0 || !endsWith(name, kSuffix)) continue;
        std::error_code timeError;
        auto time = fs::last_write_time(entry.path(), timeError);
        if (timeError) continue;  // gone meanwhile
        found.emplace_back(time, name.substr(prefix().size(), name.size() - prefix().size() - std::strlen(kSuffix)));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> ids;
    for (auto& [time, id] : found) ids.push_back(std::move(id));
    return ids;
}

std::optional<std::string> DuviduCrashReportStore::readReport(const std::string& reportId) const
{
    auto bytes = duvidu_readOwnFile(pathForReportId(reportId), kDuviduEnvelopeFileLimit);
    return bytes ? std::optional<std::string>(std::string(bytes->begin(), bytes->end())) : std::nullopt;
}

void DuviduCrashReportStore::deleteReport(const std::string& reportId) const
{
    std::error_code error;
    fs::remove(pathForReportId(reportId), error);
}

void DuviduCrashReportStore::deleteAllReports() const
{
    for (const auto& reportId : reportIds()) deleteReport(reportId);
}

}  // namespace duvidu
