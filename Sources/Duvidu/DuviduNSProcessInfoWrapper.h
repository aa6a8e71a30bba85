#pragma once

#include <memory>
#include <string>

namespace duvidu {

// Facts about the running process: its executable, the executable's folder, the number of processors.
class DuviduNSProcessInfoWrapper {
public:
    virtual ~DuviduNSProcessInfoWrapper() = default;
    static std::shared_ptr<DuviduNSProcessInfoWrapper> shared();

    virtual std::string processDirectoryPath() const;
    virtual std::string processPath() const;
    virtual unsigned processorCount() const;
};

}  // namespace duvidu
