#include "Duvidu/DuviduNSProcessInfoWrapper.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace duvidu {

std::shared_ptr<DuviduNSProcessInfoWrapper> DuviduNSProcessInfoWrapper::shared()
{
    static auto instance = std::make_shared<DuviduNSProcessInfoWrapper>();
    return instance;
}

std::string DuviduNSProcessInfoWrapper::processDirectoryPath() const
{
    return std::filesystem::path(processPath()).parent_path().string();
}

std::string DuviduNSProcessInfoWrapper::processPath() const
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

unsigned DuviduNSProcessInfoWrapper::processorCount() const
{
    long count = sysconf(_SC_NPROCESSORS_CONF);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

}  // namespace duvidu
