#pragma once

#include <optional>
#include <string>
#include <vector>

namespace duvidu {

// The folder of stored crash reports, one JSON file per report named "<application>-report-<id>.json". The crash
// handler writes a report under a temporary name beside its final one and renames it when it is whole; the store
// lists only whole reports. Not for signal handlers.
class DuviduCrashReportStore {
public:
    DuviduCrashReportStore(std::string folder, std::string appName);

    const std::string& folder() const { return folder_; }

    // Makes the folder when missing and deletes the temporary files of reports that were never finished (untouched for
    // a minute: a process crashing at this moment may still be writing its own); false when the folder cannot be
    // made.
    bool prepare() const;
    std::string pathForReportId(const std::string& reportId) const;
    // The ids of the stored reports, oldest first.
    std::vector<std::string> reportIds() const;
    // The report's text; nullopt when it is gone, or when it is not a regular file of at most kDuviduEnvelopeFileLimit
    // bytes, which is then deleted.
    std::optional<std::string> readReport(const std::string& reportId) const;
    void deleteReport(const std::string& reportId) const;
    void deleteAllReports() const;

private:
    std::string prefix() const;

    std::string folder_;
    std::string appName_;
};

}  // namespace duvidu
