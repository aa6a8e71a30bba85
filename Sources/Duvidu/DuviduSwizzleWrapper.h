#pragma once

#include <memory>

namespace duvidu {

// The process's one swizzling service, kept by the dependency container. Nothing on this platform replaces methods
// at run time, so it carries no operations.
class DuviduSwizzleWrapper {
public:
    // ObjC: +[DuviduSwizzleWrapper sharedInstance] — made once, on first use.
    static std::shared_ptr<DuviduSwizzleWrapper> sharedInstance();
};

}  // namespace duvidu
